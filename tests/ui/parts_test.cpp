#include "uifixture.h"

#include "ui/icons.h"
#include "ui/messages.h"
#include "ui/screens.h"

#include <QApplication>
#include <QImage>

using namespace tarn;
using namespace tarn::testing;

class Parts : public ::testing::Test {
protected:
    UiEnvironment environment;
};

TEST_F(Parts, TwipsRoundToTheNearestPixel) {
    EXPECT_EQ(ui::px(4600), 307);
    EXPECT_EQ(ui::px(3300), 220);
    EXPECT_EQ(ui::px(352), 23);
    EXPECT_EQ(ui::px(-15), -1);
    EXPECT_EQ(ui::px(-22), -1);
    EXPECT_EQ(ui::px(-23), -2);
    EXPECT_EQ(ui::twips(ui::px(8400)), 8400);
}

TEST_F(Parts, MessageBoxesCarryTheStyleIconAndTheApplicationTitle) {
    const auto plain = ui::MessageBoxOperator::build("Select a COM Port", 0, {}, nullptr);
    EXPECT_EQ(plain->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(plain->windowTitle(), "tarn-vq4400");
    EXPECT_EQ(plain->text(), "Select a COM Port");
    EXPECT_EQ(plain->standardButtons(), QMessageBox::Ok);

    const auto warning = ui::MessageBoxOperator::build("x", 48, "Baud Rate", nullptr);
    EXPECT_EQ(warning->icon(), QMessageBox::Warning);
    EXPECT_EQ(warning->windowTitle(), "Baud Rate");
    EXPECT_EQ(ui::MessageBoxOperator::build("x", 64, {}, nullptr)->icon(),
              QMessageBox::Information);
    EXPECT_EQ(ui::MessageBoxOperator::iconFor(16), QMessageBox::NoIcon);
}

TEST_F(Parts, ArrowPicturesAreSolidTrianglesOnATransparentGround) {
    const QImage up = ui::arrowPixmap(ui::Arrow::Up).toImage();
    const QImage down = ui::arrowPixmap(ui::Arrow::Down).toImage();
    ASSERT_EQ(up.size(), QSize(16, 11));
    ASSERT_EQ(down.size(), QSize(16, 11));
    const auto opaque = [](const QImage& img, int x, int y) {
        return qAlpha(img.pixel(x, y)) > 200;
    };
    const auto clear = [](const QImage& img, int x, int y) { return qAlpha(img.pixel(x, y)) == 0; };
    EXPECT_TRUE(clear(up, 0, 0) && clear(up, 15, 10) && clear(down, 0, 10));
    // Broad at the bottom when pointing up, broad at the top when pointing down.
    EXPECT_TRUE(opaque(up, 3, 8) && clear(up, 3, 3));
    EXPECT_TRUE(opaque(down, 3, 3) && clear(down, 3, 8));
    EXPECT_TRUE(opaque(up, 8, 6) && opaque(down, 8, 5));
    EXPECT_LT(qGray(up.pixel(8, 6)), 64);
}

TEST_F(Parts, ApplicationIconComesInBothSizes) {
    const QIcon icon = ui::applicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    const QImage big = ui::applicationPixmap(32).toImage();
    EXPECT_EQ(big.pixelColor(4, 8), QColor(0, 0, 192));  // the display
    EXPECT_EQ(big.pixelColor(5, 18), QColor(0, 255, 0)); // the bar
}

TEST_F(Parts, MessageBoxesBelongToTheWindowThatAskedAndFitTheirTitle) {
    QWidget owner;
    QWidget dialog;
    EXPECT_EQ(ui::MessageBoxOperator::parentFor(&owner), nullptr);
    owner.show();
    owner.activateWindow();
    QApplication::setActiveWindow(&owner);
    EXPECT_EQ(ui::MessageBoxOperator::parentFor(&owner), &owner);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(ui::MessageBoxOperator::parentFor(&owner), &dialog);

    const QString title = "No Free Com Ports Found";
    const auto box = ui::MessageBoxOperator::build("Short.", 64, title, nullptr);
    box->adjustSize();
    EXPECT_GT(box->width(), box->fontMetrics().horizontalAdvance(title));
}

TEST_F(Parts, OffScreenPlacesMoveToTheNearestScreen) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const QList<QRect> work = {QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
    // Partly visible: the operator's choice stands.
    EXPECT_EQ(ui::reachablePosition(QRect(-300, -10, 560, 307), screens, work), QPoint(-300, -10));
    EXPECT_EQ(ui::reachablePosition(QRect(3100, 900, 560, 307), screens, work), QPoint(3100, 900));
    // Right of the second screen: into its right edge.
    EXPECT_EQ(ui::reachablePosition(QRect(5000, 100, 560, 307), screens, work),
              QPoint(3200 - 560, 100));
    // Below the first screen: into its work area, above the panel.
    EXPECT_EQ(ui::reachablePosition(QRect(100, 3000, 560, 307), screens, work),
              QPoint(100, 1040 - 307));
    // Far up and left: the first screen's corner.
    EXPECT_EQ(ui::reachablePosition(QRect(-9000, -9000, 338, 43), screens, work), QPoint(0, 0));
    // Larger than the screen: its top-left corner.
    EXPECT_EQ(ui::reachablePosition(QRect(4000, 2000, 2000, 2000), screens, work), QPoint(1920, 0));
    EXPECT_EQ(ui::reachablePosition(QRect(5, 5, 10, 10), {}, {}), QPoint(5, 5));
    // On a screen, but with the title bar above its top edge or only a sliver of it showing.
    EXPECT_EQ(ui::reachablePosition(QRect(-1, -20, 560, 307), screens, work, 20), QPoint(0, 0));
    EXPECT_EQ(ui::reachablePosition(QRect(3190, 50, 338, 43), screens, work, 20),
              QPoint(3200 - 338, 50));
}

TEST_F(Parts, OldFaceNamesMapToInstalledFamilies) {
    for (const QString& face :
         {ui::fontname::MsSansSerif, ui::fontname::Arial, ui::fontname::SmallFonts})
        EXPECT_FALSE(QFont::substitutes(face).isEmpty()) << face.toStdString();
    ui::installFontSubstitutions();
    const QStringList once = QFont::substitutes(ui::fontname::Arial);
    ui::installFontSubstitutions();
    EXPECT_EQ(QFont::substitutes(ui::fontname::Arial), once);
    const QFont f = ui::panelFont(ui::fontname::MsSansSerif, 8.25, true);
    EXPECT_DOUBLE_EQ(f.pointSizeF(), 8.25);
    EXPECT_TRUE(f.bold());
    EXPECT_FALSE(QFontInfo(f).family().isEmpty());
}
