#include "uifixture.h"

#include "ui/dialogs/dialogs.h"
#include "ui/shapes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QStringList OldFaces = {ui::fontname::MsSansSerif, ui::fontname::Arial,
                              ui::fontname::SmallFonts};

// Every old face name set to one installed face (the tiny scale figures to its narrow cut, as
// the panel maps them), with the font caches emptied so windows built afterwards use it.
void useOnly(const QString& face) {
    for (const QString& old : OldFaces)
        QFont::removeSubstitutions(old);
    QFont::insertSubstitution(ui::fontname::MsSansSerif, face);
    QFont::insertSubstitution(ui::fontname::Arial, face);
    QFont::insertSubstitutions(ui::fontname::SmallFonts,
                               {face + " Narrow", face + " Condensed", face});
    QFontDatabase::removeAllApplicationFonts();
}

// Where a control's text is drawn, in its window's client coordinates; empty without text.
QRect inkRect(const QWidget* w) {
    const QFontMetrics fm(w->font());
    QString text;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    QRect box = w->contentsRect();
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        text = l->text();
        align = l->alignment();
        if (l->wordWrap() && !text.isEmpty()) {
            const QRect need = fm.boundingRect(box, int(align) | Qt::TextWordWrap, text);
            return need.translated(w->mapTo(w->window(), QPoint(0, 0)));
        }
    } else if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text().isEmpty() ? QRect()
                                   : QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
    }
    if (text.isEmpty())
        return {};
    const QSize size(fm.horizontalAdvance(text), fm.height());
    return QStyle::alignedRect(Qt::LeftToRight, align, size, box)
        .translated(w->mapTo(w->window(), QPoint(0, 0)));
}

// What a text may not run into: other texts, keys, lamps, lines and option circles. Filled
// shapes are grounds that texts stand on.
bool isObstacle(const QWidget* w) {
    return w->isVisible() && !qobject_cast<const ui::Box*>(w) &&
           !qobject_cast<const QGroupBox*>(w) && w->objectName() != QLatin1String("Shape1") &&
           w->objectName() != QLatin1String("client");
}

// Texts that are cut (wider or taller than their control, or outside their window) or that run
// into another control, as "name: reason" lines.
QStringList textFaults(QWidget& window) {
    QStringList faults;
    const QRect client = window.rect();
    QList<QWidget*> all = window.findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isVisible() || w->window() != &window)
            continue;
        const QRect ink = inkRect(w);
        if (ink.isEmpty())
            continue;
        const QRect own = QRect(w->mapTo(&window, QPoint(0, 0)), w->size());
        const QString name = window.objectName() + "/" + w->objectName();
        if (const auto* l = qobject_cast<const QLabel*>(w)) {
            const QFontMetrics fm(l->font());
            const bool wraps = l->wordWrap();
            if (!wraps && fm.horizontalAdvance(l->text()) > l->contentsRect().width())
                faults << name + ": cut at the side";
            if (wraps ? ink.height() > own.height() : fm.height() > l->contentsRect().height() + 1)
                faults << name + ": cut at the bottom";
        } else if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
            // The frame takes two pixels a side.
            if (QFontMetrics(b->font()).horizontalAdvance(b->text()) + 4 > b->width())
                faults << name + ": cut";
        }
        // Test-space texts lie below the window's normal height by design.
        if (!client.contains(own) && own.top() < client.bottom())
            faults << name + ": outside the window";
        for (QWidget* other : all) {
            if (other == w || !isObstacle(other) || other->window() != &window ||
                other->isAncestorOf(w) || w->isAncestorOf(other))
                continue;
            QRect theirs = QRect(other->mapTo(&window, QPoint(0, 0)), other->size());
            if (qobject_cast<const QLabel*>(other))
                theirs = inkRect(other);
            if (!theirs.isEmpty() && ink.intersects(theirs))
                faults << name + ": runs into " + other->objectName();
        }
    }
    faults.removeDuplicates();
    return faults;
}

// Status frames with the widest texts each field can show: every band text's width class,
// gain G8 and G?, SWR 25.5, 102.0V, 51.0A, 255 °C, the protection legend on.
QList<QByteArray> widestFrames() {
    QList<QByteArray> frames;
    for (const int bandGain : {0x81, 0x82, 0x8B, 0xF0, 0x84}) {
        QByteArray body;
        body.append(char(0xF0)); // protection, operate, automatic band, transmit
        body.append(char(bandGain));
        body.append(char(0x5F));    // both bars past full scale
        body.append(4, char(0xEE)); // 23.8, 95.2V, 47.6A, 238 °C: below the escape bytes
        body.append(char(0));
        frames << body;
    }
    return frames;
}

} // namespace

class TextFit : public UiTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        if (!QFontDatabase::families().contains(GetParam()))
            GTEST_SKIP() << GetParam() << " is not installed";
    }
};

// Every window and dialog, built with the face, showing the widest values: no text may be cut
// or run into another control.
TEST_P(TextFit, EveryWindowAndDialogFitsItsTexts) {
    useOnly(GetParam());
    ui::MainWindow main;
    ui::TinyWidget tiny;
    ui::Dialogs dialogs(main, panel, op);
    main.pacer().setIntervalMs(0);
    tiny.pacer().setIntervalMs(0);
    ASSERT_EQ(QFontInfo(main.findChild<QLabel*>("Label8")->font()).family(), GetParam());

    main.show();
    tiny.show();
    main.setHeightTwips(core::PanelState::Height_Test_Space);
    state.settings.PortNumber = 3;
    port.devices[3] = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    port.setPortNumber(3);
    dialogs.baudRate().open();
    dialogs.pollingRate().open();
    dialogs.timeOut().open();
    dialogs.firmwareUpdate().open();
    dialogs.bootloaderWait().open();

    QList<QWidget*> windows = {&main,
                               &tiny,
                               &dialogs.baudRate(),
                               &dialogs.pollingRate(),
                               &dialogs.timeOut(),
                               &dialogs.firmwareUpdate(),
                               &dialogs.bootloaderWait()};
    QStringList faults;
    for (const QByteArray& body : widestFrames()) {
        protocol::RxBytes rx;
        for (int i = 0; i < body.size(); ++i)
            rx.set(i, quint8(body[i]));
        const auto fields = protocol::statusFields(rx);
        main.drawStatus(fields);
        tiny.drawStatus(fields);
        for (QWidget* w : windows)
            faults << textFaults(*w);
    }
    main.showNoCommunication();
    tiny.showNoCommunication();
    for (QWidget* w : {static_cast<QWidget*>(&main), static_cast<QWidget*>(&tiny)})
        faults << textFaults(*w);
    faults.removeDuplicates();
    EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faces, TextFit, ::testing::Values("Liberation Sans", "DejaVu Sans"),
                         [](const auto& info) {
                             return QString::fromLatin1(info.param).remove(' ').toStdString();
                         });
