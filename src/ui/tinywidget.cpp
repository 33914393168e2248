#include "ui/tinywidget.h"

#include "core/panel.h"
#include "ui/accessibility.h"
#include "ui/colours.h"
#include "ui/fonts.h"
#include "ui/keypreview.h"
#include "ui/lamp.h"
#include "ui/panellabel.h"
#include "ui/screens.h"
#include "ui/shapes.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <optional>

#ifdef TARN_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace tarn::ui {

namespace {

constexpr int LampSize = 165;

const QString Prot = QStringLiteral("PROT");
const QString NoCommunication = QStringLiteral("No Communication");

} // namespace

TinyWidget::TinyWidget(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("tiny_Form"));
    setWindowTitle(QStringLiteral(" TARN VQ4400"));
    setFont(defaultPanelFont());
    setFixedSize(pxSize(5070, 645));
    // A tool window shows no icon: an empty picture keeps the application's icon off it.
    QPixmap none(16, 16);
    none.fill(Qt::transparent);
    setWindowIcon(QIcon(none));
    build();
    escape_ = new EscapePreview(*this, [this] { close(); });
    load();
}

TinyWidget::~TinyWidget() = default;

void TinyWidget::build() {
    display_.lcd = new Box(colours::DisplayBlue, Qt::black, this);
    display_.lcd->setObjectName(QStringLiteral("Shape_LCD"));
    display_.lcd->setGeometry(pxRect(20, 30, 2265, 585));

    const QFont displayFont = panelFont(fontname::MsSansSerif, 8.25, true);
    const auto displayLabel = [&](const char* name, const QString& text, const QRect& design,
                                  Qt::Alignment align) {
        auto* l = new PanelLabel(text, design, align, true, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setPalette(withText(l->palette(), colours::DisplayText));
        l->setFont(displayFont);
        return l;
    };
    display_.band =
        displayLabel("Label_Band", QStringLiteral("3.5 MHz"), {150, 90, 720, 195}, Qt::AlignLeft);
    display_.gain =
        displayLabel("Label_Gain", QStringLiteral("G2"), {1000, 90, 255, 195}, Qt::AlignRight);
    display_.swrText = displayLabel("Label_SWR_txt", QStringLiteral("SWR"), {1440, 90, 450, 195},
                                    Qt::AlignHCenter);
    display_.swr =
        displayLabel("Label_SWR", QStringLiteral("2.0"), {1920, 90, 285, 195}, Qt::AlignRight);
    display_.voltage =
        displayLabel("Label_Voltage", QStringLiteral("56.0V"), {150, 330, 510, 195}, Qt::AlignLeft);
    display_.current = displayLabel("Label_Current", QStringLiteral("24.0A"), {900, 330, 510, 195},
                                    Qt::AlignRight);
    display_.temperature = displayLabel("Label_Temperature", QStringLiteral("25 °C"),
                                        {1710, 330, 480, 195}, Qt::AlignRight);
    display_.noCommunication = displayLabel("Label_No_Communication", NoCommunication,
                                            {435, 210, 1335, 195}, Qt::AlignRight);
    display_.noCommunication->setFont(defaultPanelFont());

    const auto lamp = [&](const QString& name, int left, int top, const QColor& colour) {
        auto* l = new Lamp(Lamp::Style::Square, colour, this);
        l->setObjectName(name);
        l->setGeometry(pxRect(left, top, LampSize, LampSize));
        return l;
    };
    display_.tx = lamp(QStringLiteral("TX_LED"), 2340, 60, colours::Green);
    display_.forwardBar = new Bar(QStringLiteral("Forward power"), this);
    display_.forwardBar->setObjectName(QStringLiteral("FWD_Bar"));
    for (int i = 1; i <= 14; ++i) {
        Lamp* l = display_.forwardBar->addSegment(
            Lamp::Style::Square, i <= 11 ? colours::Green : colours::Red,
            pxRect(2520 + 180 * (i - 1), 60, LampSize, LampSize));
        l->setObjectName(QStringLiteral("FWD_LED_") + QString::number(i));
        l->setProperty("index", i);
        display_.forward[std::size_t(i - 1)] = l;
    }
    display_.forwardBar->fit();
    display_.protection = lamp(QStringLiteral("Protection_LED"), 2340, 390, colours::Red);
    display_.oper = lamp(QStringLiteral("OPER_LED"), 4860, 390, colours::Green);
    display_.nameLamps();

    // The gain keys sit on a light plate with the "G" between them.
    auto* plate = new Box(colours::KeyPlate, colours::Rim, this);
    plate->setObjectName(QStringLiteral("Shape1"));
    plate->setGeometry(pxRect(3390, 352, 585, 225));

    const QFont legendFont = panelFont(fontname::Arial, 8.25, true);
    const auto legend = [&](const char* name, const QString& text, const QRect& design,
                            Qt::Alignment align) {
        auto* l = new PanelLabel(text, design, align, true, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(legendFont);
        return l;
    };
    display_.protectionLegend =
        legend("Label_Protection", Prot, {2520, 360, 435, 210}, Qt::AlignLeft);
    legend("Label_OPER", QStringLiteral("OPER"), {4170, 360, 420, 210}, Qt::AlignRight);
    legend("Label_G", QStringLiteral("G"), {3600, 360, 120, 210}, Qt::AlignHCenter);

    const auto key = [&](const char* name, const QString& caption, int left, qreal points) {
        auto* b = new PanelKey(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(keyName(b->objectName()));
        b->setGeometry(pxRect(left, 352, 195, 225));
        b->setAutoDefault(false);
        if (points > 0)
            b->setFont(panelFont(fontname::MsSansSerif, points, true));
        return b;
    };
    gainDown_ = key("Command_Gain_Down", QStringLiteral("-"), 3360, 9.75);
    gainUp_ = key("Command_Gain_Up", QStringLiteral("+"), 3780, 8.25);
    toggle_ = key("Command_Toggle_OPER_STBY", QString(), 4620, 0);
    display_.keys = {toggle_, gainDown_, gainUp_};
    // The design's tab order: operate key, gain up, gain down.
    QWidget::setTabOrder(toggle_, gainUp_);
    QWidget::setTabOrder(gainUp_, gainDown_);
}

void TinyWidget::attach(core::Panel& panel) {
    panel_ = &panel;
    using protocol::Command;
    for (auto [key, command] :
         {std::pair(gainDown_, Command::Gain_Down), std::pair(gainUp_, Command::Gain_Up),
          std::pair(toggle_, Command::Toggle_OPER_STBY)})
        connect(key, &QPushButton::clicked, this, [this, key, command] { pressed(key, command); });
}

void TinyWidget::setAnnouncer(Announcer& announcer) {
    display_.announcer = &announcer;
    announcer.addWindow(*this);
}

void TinyWidget::pressed(QPushButton* key, protocol::Command command) {
    if (panel_)
        panel_->sendCommand(command, true);
    // The widget takes the keyboard back after a message box, and the focus stays on the key,
    // so Space presses it again and Escape still closes the widget.
    activateWindow();
    key->setFocus();
}

void TinyWidget::load() {
    pacer_.discard();
    display_.noCommunication->setCaption(NoCommunication);
    display_.protectionLegend->setCaption(Prot);
    display_.protectionLegend->setTextColor(Qt::black);
    gainDown_->setEnabled(true);
    gainUp_->setEnabled(true);

    display_.lcd->setColor(colours::Blank);
    display_.blankValues();
    toggle_->setEnabled(false);
    display_.greyLamps();
}

void TinyWidget::openAt(int leftTwips, int topTwips) {
    if (!isVisible())
        load();
    // Before the first show the frame is not known yet; the window's own size and an assumed
    // title bar are close enough to decide whether the title bar is off every screen.
    const QMargins m = frame_.margins(*this);
    const QRect frame(pxPoint(leftTwips, topTwips), size().grownBy(m));
    frame_.moveTo(*this, reachablePosition(frame, m.top()));
    if (!isVisible()) {
        frame_.aboutToShow(*this);
        keepOutOfTaskBar();
    }
    show();
    raise();
    activateWindow();
}

void TinyWidget::keepOutOfTaskBar() {
#ifdef TARN_HAVE_XCB
    // Qt marks a tool window as a utility window only; task bars still list it unless it
    // asks to be skipped. The state is read by the window manager when the window is mapped,
    // and Qt adds its own states to what it finds.
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* c = x11->connection();
    const auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(qstrlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return a;
    };
    const xcb_atom_t states[] = {atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                 atom("_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(winId()), atom("_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, 2, states);
    xcb_flush(c);
#endif
}

void TinyWidget::closeWindow() {
    if (isVisible())
        close();
}

bool TinyWidget::isShown() const {
    return isVisible();
}

bool TinyWidget::currentPlace(int& leftTwips, int& topTwips) const {
    if (!isVisible() || !FramePlace::placesReported())
        return false;
    const QPoint p = frame_.place(*this);
    leftTwips = twips(p.x());
    topTwips = twips(p.y());
    return true;
}

void TinyWidget::closeEvent(QCloseEvent* event) {
    event->accept();
    std::optional<QPoint> place;
    if (FramePlace::placesReported()) {
        const QPoint p = frame_.place(*this);
        place = QPoint(twips(p.x()), twips(p.y()));
    }
    frame_.aboutToHide(*this);
    if (panel_)
        panel_->tinyClosed(place);
}

void TinyWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    frame_.update(*this);
}

void TinyWidget::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    frame_.update(*this);
}

void TinyWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Some window managers offer to minimise any window. A minimised widget would leave the
    // operator with no window at all (the main window is hidden): it comes straight back.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && isMinimized())
                showNormal();
        });
}

void TinyWidget::showNoCommunication() {
    pacer_.discard();
    display_.showNoCommunication(NoCommunication);
}

void TinyWidget::drawStatus(const protocol::StatusFields& f) {
    pacer_.submit(f);
}

void TinyWidget::drawNow(const protocol::StatusFields& f) {
    display_.draw(f);
    display_.protectionLegend->setCaption(f.Protection_Active ? QStringLiteral("PROTECT") : Prot);
}

} // namespace tarn::ui
