#include "ui/mainwindow.h"

#include "core/panel.h"
#include "ui/accessibility.h"
#include "ui/colours.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/keypreview.h"
#include "ui/lamp.h"
#include "ui/panellabel.h"
#include "ui/screens.h"
#include "ui/shapes.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace tarn::ui {

namespace {

constexpr int LampSize = 195;
constexpr int LampTop = 360;
constexpr int KeySize = 435;
constexpr int KeyTop = 1785;

QString indexed(const QString& name, int index) {
    return name + QLatin1Char('_') + QString::number(index);
}

// The brackets beside the bar legends and the marks under the key pairs were drawn to end
// just short of their legend's text; a wider face's text would run over them. A line that
// meets a legend's text now ends a small gap before it.
void keepLinesOffLegends(QWidget* client) {
    constexpr int GapPx = 3;
    const auto labels = client->findChildren<PanelLabel*>(Qt::FindDirectChildrenOnly);
    for (PanelLine* line : client->findChildren<PanelLine*>(Qt::FindDirectChildrenOnly)) {
        if (line->height() != 1)
            continue;
        for (const PanelLabel* l : labels) {
            const QRect ink = l->inkAt(l->geometry());
            QRect r = line->geometry();
            if (ink.isEmpty() || !ink.intersects(r))
                continue;
            if (r.center().x() < ink.center().x())
                r.setRight(std::max(r.left(), ink.left() - GapPx - 1));
            else
                r.setLeft(std::min(r.right(), ink.right() + GapPx + 1));
            line->setGeometry(r);
        }
    }
}

struct LabelDesign {
    const char* name;
    const char* text;
    int left, top, width, height;
    Qt::Alignment align;
};

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), outerWidthTwips_(core::PanelState::Form_Width),
      outerHeightTwips_(core::PanelState::Height_Normal) {
    setObjectName(QStringLiteral("main_Form"));
    setWindowTitle(QStringLiteral("  TARN VQ4400 Remote"));
    setWindowIcon(applicationIcon());
    // Single fixed border with a minimise box and no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(defaultPanelFont());

    auto* client = new PanelClient(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    buildDisplay(client);
    buildKeys(client);
    buildTestSpace(client);
    buildMenus();

    escape_ = new EscapePreview(*this, [this] {
        if (panel_)
            panel_->mainEscape();
    });
    // Desktops that open the menu bar with F10 teach their keyboard users to; Qt itself only
    // knows Alt. The first menu opens, and the arrows go on from there.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(menuBar()->actions().value(0)); });
    applyOuterSize();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildDisplay(QWidget* client) {
    display_.lcd = new Box(colours::DisplayBlue, Qt::black, client);
    display_.lcd->setObjectName(QStringLiteral("Shape_LCD"));
    display_.lcd->setGeometry(pxRect(120, 120, 3195, 915));

    const QFont displayFont = panelFont(fontname::MsSansSerif, 13.5);
    const auto displayLabel = [&](const LabelDesign& d) {
        auto* l = new PanelLabel(QString::fromUtf8(d.text), {d.left, d.top, d.width, d.height},
                                 d.align, true, client);
        l->setObjectName(QString::fromLatin1(d.name));
        l->setPalette(withText(l->palette(), colours::DisplayText));
        l->setFont(displayFont);
        return l;
    };
    display_.band = displayLabel({"Label_Band", "3.5MHz", 280, 210, 960, 360, Qt::AlignLeft});
    display_.gain = displayLabel({"Label_Gain", "G2", 1500, 210, 360, 360, Qt::AlignLeft});
    display_.swrText = displayLabel({"Label_SWR_txt", "SWR", 2040, 210, 645, 360, Qt::AlignRight});
    display_.swr = displayLabel({"Label_SWR", "1.0", 2740, 210, 375, 360, Qt::AlignRight});
    display_.voltage = displayLabel({"Label_Voltage", "56.0V", 280, 570, 720, 360, Qt::AlignLeft});
    display_.current =
        displayLabel({"Label_Current", "24.0A", 1350, 570, 720, 360, Qt::AlignRight});
    display_.temperature =
        displayLabel({"Label_Temperature", "24 °C", 2455, 570, 660, 360, Qt::AlignRight});
    display_.noCommunication = displayLabel(
        {"Label_No_Communication", "No Communication", 690, 420, 2010, 300, Qt::AlignHCenter});
    display_.noCommunication->setFont(panelFont(fontname::MsSansSerif, 12));

    // The reflected bar grows leftwards from the transmit lamp, the forward bar rightwards.
    const auto lamp = [&](const QString& name, int left, int top, const QColor& colour) {
        auto* l = new Lamp(Lamp::Style::Round, colour, client);
        l->setObjectName(name);
        l->setGeometry(pxRect(left, top, LampSize, LampSize));
        return l;
    };
    const auto segment = [&](Bar* bar, const char* name, int i, int left, const QColor& colour) {
        Lamp* l =
            bar->addSegment(Lamp::Style::Round, colour, pxRect(left, LampTop, LampSize, LampSize));
        l->setObjectName(indexed(QString::fromLatin1(name), i));
        l->setProperty("index", i);
        return l;
    };
    reflectedBar_ = new Bar(QStringLiteral("Reflected power"), client);
    reflectedBar_->setObjectName(QStringLiteral("Rev_Bar"));
    for (int i = 1; i <= 5; ++i)
        reflected_[std::size_t(i - 1)] = segment(reflectedBar_, "Rev_LED", i, 4350 - 240 * (i - 1),
                                                 i == 1 ? colours::Yellow : colours::LightYellow);
    reflectedBar_->fit();
    display_.tx = lamp(QStringLiteral("TX_LED"), 4590, LampTop, colours::Green);
    display_.forwardBar = new Bar(QStringLiteral("Forward power"), client);
    display_.forwardBar->setObjectName(QStringLiteral("FWD_Bar"));
    for (int i = 1; i <= 14; ++i)
        display_.forward[std::size_t(i - 1)] =
            segment(display_.forwardBar, "FWD_LED", i, 4830 + 240 * (i - 1),
                    i <= 11 ? colours::Green : colours::Red);
    display_.forwardBar->fit();
    display_.protection = lamp(QStringLiteral("Protection_LED"), 3390, 870, colours::Red);
    display_.oper = lamp(QStringLiteral("OPER_LED"), 3390, 1365, colours::Green);
    auto_ = lamp(QStringLiteral("AUTO_LED"), 6990, 1365, colours::Green);
    auto_->setTitle(QStringLiteral("Automatic band"));
    display_.nameLamps();
    display_.otherLamps = {auto_};
    display_.otherLamps.insert(display_.otherLamps.end(), reflected_.begin(), reflected_.end());
    display_.otherBars = {reflectedBar_};

    struct Figure {
        const char* text;
        int left, width;
    };
    static constexpr Figure figures[] = {
        {"1000", 7410, 270}, {"1200", 7890, 270}, {"800", 6945, 240}, {"600", 6465, 240},
        {"400", 6000, 240},  {"200", 5520, 240},  {"100", 5055, 210}, {"TX", 4590, 195},
        {"100", 4110, 210},  {"200", 3600, 240}};
    const QFont figureFont = panelFont(fontname::SmallFonts, 6.75);
    for (int i = 0; i < 10; ++i) {
        const Figure& f = figures[i];
        auto* l = new PanelLabel(QString::fromLatin1(f.text), {f.left, 180, f.width, 165},
                                 Qt::AlignHCenter, true, client);
        l->setObjectName(indexed(QStringLiteral("Label7"), i));
        l->setProperty("index", i);
        l->setFont(figureFont);
    }

    const QFont legendFont = panelFont(fontname::Arial, 8.25, true);
    static constexpr LabelDesign legends[] = {
        {"Label9", "REV PWR", 3720, 600, 720, 210, Qt::AlignHCenter},
        {"Label8", "FORWARD POWER", 5610, 600, 1410, 210, Qt::AlignHCenter},
        {"Label_Protection", "PROTECTION", 3630, 870, 1020, 210, Qt::AlignLeft},
        {"Label3", "OPER", 3270, 1560, 435, 225, Qt::AlignHCenter},
        {"Label2", "STBY", 3270, 2235, 435, 225, Qt::AlignHCenter},
        {"Label6", "AUTO", 6870, 1560, 450, 210, Qt::AlignHCenter},
        {"Label4", "BAND", 6870, 2235, 450, 210, Qt::AlignHCenter},
        {"Label1", "GAIN", 690, 2235, 390, 210, Qt::AlignHCenter},
    };
    for (const LabelDesign& d : legends) {
        auto* l = new PanelLabel(QString::fromLatin1(d.text), {d.left, d.top, d.width, d.height},
                                 d.align, true, client);
        l->setObjectName(QString::fromLatin1(d.name));
        l->setFont(legendFont);
        if (l->objectName() == QLatin1String("Label_Protection"))
            display_.protectionLegend = l;
    }

    struct LineDesign {
        const char* name;
        int x1, y1, x2, y2;
    };
    static constexpr LineDesign lines[] = {
        {"Line2", 7110, 690, 8040, 690},    {"Line3", 4470, 690, 5490, 690},
        {"Line4", 3480, 690, 3690, 690},    {"Line5", 4680, 690, 4680, 540},
        {"Line6", 3480, 690, 3480, 540},    {"Line7", 8040, 690, 8040, 540},
        {"Line8", 6330, 2325, 6810, 2325},  {"Line9", 7350, 2325, 7830, 2325},
        {"Line10", 1110, 2325, 1350, 2325}, {"Line11", 390, 2325, 630, 2325},
    };
    for (const LineDesign& d : lines) {
        auto* l = new PanelLine(d.x1, d.y1, d.x2, d.y2, client);
        l->setObjectName(QString::fromLatin1(d.name));
    }

    keepLinesOffLegends(client);

    auto* grille = new Grille(client);
    grille->setObjectName(QStringLiteral("Shape1"));
    const QRect g = Grille::boundsTwips();
    grille->setGeometry(pxRect(g.x(), g.y(), g.width(), g.height()));

    auto* plate = new PanelLabel(QStringLiteral("TARN VQ4400"), {150, 5640, 1050, 195},
                                 Qt::AlignLeft, true, client);
    plate->setObjectName(QStringLiteral("Label11"));
    // The name plate is opaque; everything else on the panel lets the window show through.
    plate->setAutoFillBackground(true);
    firmware_ = new PanelLabel(QStringLiteral("Firmware V?.??"), {150, 5850, 1095, 225},
                               Qt::AlignLeft, true, client);
    firmware_->setObjectName(QStringLiteral("Label1_Firmware_Version"));
}

void MainWindow::buildKeys(QWidget* client) {
    const auto key = [&](const char* name, int left, const QPixmap& face) {
        auto* b = new PanelKey(client);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(keyName(b->objectName()));
        b->setGeometry(pxRect(left, KeyTop, KeySize, KeySize));
        b->setAutoDefault(false);
        if (!face.isNull()) {
            b->setIcon(QIcon(face));
            b->setIconSize(face.size());
        }
        return b;
    };
    const QPixmap up = arrowPixmap(Arrow::Up);
    const QPixmap down = arrowPixmap(Arrow::Down);
    gainDown_ = key("Command_Gain_Down", 390, down);
    gainUp_ = key("Command_Gain_Up", 930, up);
    toggle_ = key("Command_Toggle_OPER_STBY", 3270, {});
    bandDown_ = key("Command_Band_Down", 6330, down);
    autoBand_ = key("Command_Auto_Band", 6870, {});
    bandUp_ = key("Command_Band_Up", 7410, up);
    display_.keys = {gainDown_, gainUp_, toggle_, bandDown_, autoBand_, bandUp_};
}

void MainWindow::setAnnouncer(Announcer& announcer) {
    display_.announcer = &announcer;
    announcer.addWindow(*centralWidget());
}

void MainWindow::buildTestSpace(QWidget* client) {
    const auto label = [&](const char* name, const char* text, const QRect& design) {
        auto* l = new PanelLabel(QString::fromLatin1(text), design, Qt::AlignLeft, false, client);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    PanelLabel* title = label("Label5", "Test space", {120, 4200, 960, 195});
    testSpace_.push_back(title);
    title->setFont(panelFont(fontname::MsSansSerif, 8.25, true));
    title->setAutoSize(true);
    // Wider faces than the design's need more room; there is plenty to the right.
    for (auto [name, text, design] :
         {std::tuple("Label10", "Raw HDLC packets", QRect(1500, 4200, 1425, 195)),
          std::tuple("Label12", "Decoded packets", QRect(6180, 4200, 1275, 195))}) {
        PanelLabel* l = label(name, text, design);
        l->setAutoSize(true);
        testSpace_.push_back(l);
    }

    hideTest_ = new QPushButton(QStringLiteral("Hide test"), client);
    hideTest_->setObjectName(QStringLiteral("Command_Hide_test_space"));
    hideTest_->setGeometry(pxRect(120, 4500, 915, 315));
    hideTest_->setAutoDefault(false);

    const auto box = [&](const char* name, const QRect& r) {
        auto* t = new QPlainTextEdit(client);
        t->setObjectName(QString::fromLatin1(name));
        t->setReadOnly(true);
        t->setGeometry(r);
        // Read-only boxes still take the focus, so the operator can select and copy traffic.
        t->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        return t;
    };
    raw_ = box("Text_HDLC_Packet", pxRect(1500, 4440, 4455, 1755));
    decoded_ = box("Text_Decoded_Packet", pxRect(6180, 4440, 1995, 1755));
    testSpace_.insert(testSpace_.end(), {hideTest_, raw_, decoded_});

    // The design's tab order: raw box, "Hide test", decoded box, then the six keys.
    QWidget* const chain[] = {raw_,    hideTest_, decoded_,  gainDown_, gainUp_,
                              toggle_, bandDown_, autoBand_, bandUp_};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

QMenu* MainWindow::addMenu(const QString& name, const QString& caption) {
    QMenu* m = menuBar()->addMenu(caption);
    m->setObjectName(name);
    actions_.insert(name, m->menuAction());
    return m;
}

QAction* MainWindow::addItem(QMenu* menu, const QString& name, const QString& caption,
                             bool checkable) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(checkable);
    actions_.insert(name, a);
    return a;
}

QAction* MainWindow::addSeparator(QMenu* menu, const QString& name) {
    QAction* a = menu->addSeparator();
    a->setObjectName(name);
    actions_.insert(name, a);
    return a;
}

void MainWindow::buildMenus() {
    QMenu* file = addMenu(QStringLiteral("menu_File"), QStringLiteral("File"));
    addItem(file, QStringLiteral("menu_Exit"), QStringLiteral("Exit"));

    QMenu* com = addMenu(QStringLiteral("menuCom_setting"), QStringLiteral("Com"));
    for (int i = 0; i < ComItems; ++i) {
        const QString caption = i == 0 ? QStringLiteral("No Free Com Ports Found")
                                       : QStringLiteral("Com") + QString::number(i);
        QAction* a = addItem(com, indexed(QStringLiteral("menuCom"), i), caption, i > 0);
        a->setProperty("index", i);
        // The scan decides which ports are offered.
        if (i > 0) {
            a->setVisible(false);
            a->setEnabled(false);
        }
        com_[std::size_t(i)] = a;
    }
    addSeparator(com, QStringLiteral("menu_space1"));
    addItem(com, QStringLiteral("menu_Baud_Rate"), QStringLiteral("Baud Rate"));
    addSeparator(com, QStringLiteral("menu_space2"));
    addItem(com, QStringLiteral("menuCloseComPort"), QStringLiteral("Close Com Port"));

    QMenu* settings = addMenu(QStringLiteral("menuSettings"), QStringLiteral("Settings"));
    addItem(settings, QStringLiteral("MenuForceSTBYonExit"), QStringLiteral("Force STBY on Exit"),
            true)
        ->setChecked(true);
    addSeparator(settings, QStringLiteral("menu_space3"));
    addItem(settings, QStringLiteral("menu_Polling_Rate"), QStringLiteral("Polling Rate"));
    addSeparator(settings, QStringLiteral("menu_space4"));
    addItem(settings, QStringLiteral("menu_Time_Out"), QStringLiteral("Time Out"));

    QMenu* voltage = addMenu(QStringLiteral("menu_Voltage"), QStringLiteral("Voltage"));
    addItem(voltage, QStringLiteral("menu_PA_Voltage_High"), QStringLiteral("PA Voltage High"));
    addItem(voltage, QStringLiteral("menu_PA_Voltage_Low"), QStringLiteral("PA Voltage Low"));

    QMenu* view = addMenu(QStringLiteral("menuView"), QStringLiteral("View"));
    addItem(view, QStringLiteral("menu_Size_Normal"), QStringLiteral("Normal Size"), true)
        ->setChecked(true);
    addItem(view, QStringLiteral("menu_Size_Small"), QStringLiteral("Small Size"), true);
    addItem(view, QStringLiteral("menuTinyWidget"), QStringLiteral("Tiny Widget"));
    addSeparator(view, QStringLiteral("menu_space6"));
    addItem(view, QStringLiteral("menuAlwaysOnTop"), QStringLiteral("Always On Top"), true);
    addSeparator(view, QStringLiteral("menu_space7"));
    addItem(view, QStringLiteral("menuShow_test_space"), QStringLiteral("Show test space"), true);

    QMenu* special = addMenu(QStringLiteral("menu_Special"), QStringLiteral("Special"));
    addItem(special, QStringLiteral("menu_Remote_Firmware_Update"),
            QStringLiteral("Remote Firmware Update"));

    QMenu* help = addMenu(QStringLiteral("menu_Help"), QStringLiteral("Help"));
    addItem(help, QStringLiteral("menu_Guide"), QStringLiteral("Guide"));
    addSeparator(help, QStringLiteral("menu_space8"));
    addItem(help, QStringLiteral("menu_About"), QStringLiteral("About"));
}

QAction* MainWindow::action(const QString& name) const {
    return actions_.value(name);
}

void MainWindow::attach(core::Panel& panel) {
    panel_ = &panel;
    using protocol::Command;
    const auto key = [&](QPushButton* button, Command command) {
        connect(button, &QPushButton::clicked, this,
                [&panel, command] { panel.sendCommand(command, true); });
    };
    key(gainDown_, Command::Gain_Down);
    key(gainUp_, Command::Gain_Up);
    key(toggle_, Command::Toggle_OPER_STBY);
    key(bandDown_, Command::Band_Down);
    key(autoBand_, Command::Auto_Band);
    key(bandUp_, Command::Band_Up);
    connect(action(QStringLiteral("menu_PA_Voltage_High")), &QAction::triggered, this,
            [&panel] { panel.sendCommand(Command::PA_Voltage_High, false); });
    connect(action(QStringLiteral("menu_PA_Voltage_Low")), &QAction::triggered, this,
            [&panel] { panel.sendCommand(Command::PA_Voltage_Low, false); });

    // Check marks belong to the panel: a click must not flip one by itself, so the automatic
    // toggle is undone before the handler decides.
    const auto item = [this](QAction* a, std::function<void()> handler) {
        connect(a, &QAction::triggered, this, [a, handler = std::move(handler)] {
            if (a->isCheckable())
                a->setChecked(!a->isChecked());
            handler();
        });
    };
    for (int i = 0; i < ComItems; ++i)
        item(com_[std::size_t(i)], [&panel, i] { panel.menuCom_Click(i); });
    item(action(QStringLiteral("menuCloseComPort")), [&panel] { panel.menuCloseComPort_Click(); });
    item(action(QStringLiteral("menu_Size_Normal")), [&panel] { panel.menu_Size_Normal_Click(); });
    item(action(QStringLiteral("menu_Size_Small")), [&panel] { panel.menu_Size_Small_Click(); });
    item(action(QStringLiteral("menuShow_test_space")),
         [&panel] { panel.menuShow_test_space_Click(); });
    item(action(QStringLiteral("menuAlwaysOnTop")), [&panel] { panel.menuAlwaysOnTop_Click(); });
    item(action(QStringLiteral("MenuForceSTBYonExit")),
         [&panel] { panel.MenuForceSTBYonExit_Click(); });
    item(action(QStringLiteral("menuTinyWidget")), [&panel] { panel.menuTinyWidget_Click(); });
    connect(hideTest_, &QPushButton::clicked, this,
            [&panel] { panel.Command_Hide_test_space_Click(); });
    connect(action(QStringLiteral("menu_Exit")), &QAction::triggered, this, &QWidget::close);
}

// ---- geometry ------------------------------------------------------------------------------

QMargins MainWindow::frameMargins() const {
    return frame_.margins(*this);
}

void MainWindow::applyOuterSize() {
    // The panel speaks of the outer size; Qt sizes the client area, frame excluded.
    const QMargins m = frameMargins();
    appliedMargins_ = m;
    setFixedSize(px(outerWidthTwips_) - m.left() - m.right(),
                 px(outerHeightTwips_) - m.top() - m.bottom());
    // What the window's edge cuts off wholly can be neither reached with Tab nor found by a
    // screen reader; what shows even in part stays.
    const int clientHeight = height() - menuBar()->heightForWidth(width());
    for (QWidget* w : testSpace_)
        w->setHidden(w->y() >= clientHeight);
}

void MainWindow::frameReported() {
    // Window managers report the frame only after they have decorated the window.
    if (frame_.update(*this) || frameMargins() != appliedMargins_)
        applyOuterSize();
}

void MainWindow::setWidthTwips(int width) {
    outerWidthTwips_ = width;
    applyOuterSize();
}

void MainWindow::setHeightTwips(int height) {
    outerHeightTwips_ = height;
    applyOuterSize();
}

int MainWindow::widthTwips() const {
    const int actual = frameGeometry().width();
    return actual == px(outerWidthTwips_) ? outerWidthTwips_ : twips(actual);
}

int MainWindow::heightTwips() const {
    const int actual = frameGeometry().height();
    return actual == px(outerHeightTwips_) ? outerHeightTwips_ : twips(actual);
}

int MainWindow::screenWidthTwips() const {
    const QScreen* s = screen();
    return s ? twips(s->availableGeometry().width()) : 0;
}

int MainWindow::screenHeightTwips() const {
    const QScreen* s = screen();
    return s ? twips(s->availableGeometry().height()) : 0;
}

int MainWindow::screenLeftTwips() const {
    const QScreen* s = screen();
    return s ? twips(s->availableGeometry().left()) : 0;
}

int MainWindow::screenTopTwips() const {
    const QScreen* s = screen();
    return s ? twips(s->availableGeometry().top()) : 0;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    frameReported();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    frameReported();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    frameReported();
}

void MainWindow::setOnTop(bool onTop) {
    Qt::WindowFlags flags = windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    // QWidget::setWindowFlags would hide the window and show it again: it would lose the
    // keyboard focus and its place. The native window takes the new stacking as it is.
    if (QWindow* w = windowHandle()) {
        overrideWindowFlags(flags);
        w->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void MainWindow::setWindowShown(bool shown) {
    // The tiny widget hands back while the shutdown closes it; the window stays closed then.
    if (shown && closing_)
        return;
    if (shown == isVisible())
        return;
    if (shown)
        frame_.aboutToShow(*this);
    else
        frame_.aboutToHide(*this);
    setVisible(shown);
}

void MainWindow::keepOnScreen() {
    const QRect frame(frame_.place(*this), QSize(px(outerWidthTwips_), px(outerHeightTwips_)));
    frame_.moveTo(*this, reachablePosition(frame, frameMargins().top()));
}

bool MainWindow::isNormalState() const {
    return FramePlace::placesReported() &&
           !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

int MainWindow::top() const {
    return twips(frame_.place(*this).y());
}
int MainWindow::left() const {
    return twips(frame_.place(*this).x());
}
void MainWindow::setTop(int t) {
    frame_.moveTo(*this, QPoint(frame_.place(*this).x(), px(t)));
}
void MainWindow::setLeft(int l) {
    frame_.moveTo(*this, QPoint(px(l), frame_.place(*this).y()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        if (onUnload)
            onUnload();
    }
    event->accept();
}

// ---- menus ---------------------------------------------------------------------------------

QAction* MainWindow::checkAction(core::MenuItem item) const {
    switch (item) {
    case core::MenuItem::SizeNormal:
        return action(QStringLiteral("menu_Size_Normal"));
    case core::MenuItem::SizeSmall:
        return action(QStringLiteral("menu_Size_Small"));
    case core::MenuItem::AlwaysOnTop:
        return action(QStringLiteral("menuAlwaysOnTop"));
    case core::MenuItem::ShowTestSpace:
        return action(QStringLiteral("menuShow_test_space"));
    case core::MenuItem::ForceStbyOnExit:
        return action(QStringLiteral("MenuForceSTBYonExit"));
    }
    return nullptr;
}

void MainWindow::setMenuChecked(core::MenuItem item, bool checked) {
    if (QAction* a = checkAction(item))
        a->setChecked(checked);
}

bool MainWindow::isMenuChecked(core::MenuItem item) const {
    const QAction* a = checkAction(item);
    return a && a->isChecked();
}

void MainWindow::setComItemAvailable(int index, bool available) {
    if (index < 1 || index >= ComItems)
        return;
    com_[std::size_t(index)]->setVisible(available);
    com_[std::size_t(index)]->setEnabled(available);
}

void MainWindow::setComItemDevice(int index, const QString& device) {
    if (index < 1 || index >= ComItems)
        return;
    // The device stands in the shortcut column; the caption itself stays "Com<n>".
    QString text = QStringLiteral("Com") + QString::number(index);
    if (!device.isEmpty())
        text += QLatin1Char('\t') + QString(device).replace(QLatin1Char('&'), QStringLiteral("&&"));
    com_[std::size_t(index)]->setText(text);
}

void MainWindow::setComItemChecked(int index, bool checked) {
    if (index < 1 || index >= ComItems)
        return;
    com_[std::size_t(index)]->setChecked(checked);
}

void MainWindow::setPlaceholderVisible(bool visible) {
    com_[0]->setVisible(visible);
}

void MainWindow::setCloseComPortEnabled(bool enabled) {
    action(QStringLiteral("menuCloseComPort"))->setEnabled(enabled);
}

// ---- display -------------------------------------------------------------------------------

void MainWindow::blankDisplay() {
    pacer_.discard();
    display_.blankValues();
    display_.lcd->setColor(colours::Blank);
    display_.setKeysEnabled(false);
    display_.greyLamps();
}

void MainWindow::showNoCommunication() {
    pacer_.discard();
    display_.showNoCommunication(QStringLiteral("No Communication"));
}

void MainWindow::drawStatus(const protocol::StatusFields& f) {
    pacer_.submit(f);
}

void MainWindow::drawNow(const protocol::StatusFields& f) {
    display_.draw(f);
    auto_->setColor(toColor(f.autoLamp()));
    for (std::size_t i = 0; i < reflected_.size(); ++i)
        reflected_[i]->setColor(toColor(f.reflected[i]));
    reflectedBar_->refresh();
}

void MainWindow::setFirmwareCaption(const QString& caption) {
    firmware_->setCaption(caption);
}

namespace {
void showTail(QPlainTextEdit* box, const QString& text) {
    box->setPlainText(text);
    box->moveCursor(QTextCursor::End);
    box->ensureCursorVisible();
}
} // namespace

void MainWindow::setRawEcho(const QString& text) {
    rawEcho_ = text;
    pacer_.submitRest();
}
void MainWindow::setDecodedEcho(const QString& text) {
    decodedEcho_ = text;
    pacer_.submitRest();
}

void MainWindow::showEchoes() {
    if (rawEcho_)
        showTail(raw_, *std::exchange(rawEcho_, std::nullopt));
    if (decodedEcho_)
        showTail(decoded_, *std::exchange(decodedEcho_, std::nullopt));
}

} // namespace tarn::ui
