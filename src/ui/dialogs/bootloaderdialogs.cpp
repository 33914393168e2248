#include "ui/dialogs/bootloaderdialogs.h"

#include "core/panel.h"
#include "serial/serialport.h"
#include "settings/settings.h"
#include "ui/dialogs/dialogwindow.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/keypreview.h"
#include "ui/panellabel.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QPushButton>

namespace tarn::ui {

namespace {

struct TextDesign {
    const char* name;
    const char* text;
    QRect twips;
};

QString portCaption(core::Panel& panel) {
    return QStringLiteral("COM") + QString::number(panel.port().portNumber());
}

// What the COM number stands for on this system: the bootloader client on Linux or macOS
// needs the device (or the port server's address), not a COM number.
QString portDevice(core::Panel& panel) {
    const QString device = panel.port().deviceName(panel.port().portNumber());
    return device.isEmpty() ? QString() : QStringLiteral("(") + device + QLatin1Char(')');
}

// The device stands right of the COM label, after the gap the design leaves between labels.
PanelLabel* deviceLabel(QWidget* parent, const PanelLabel* comLabel) {
    const QRect com = comLabel->designTwips();
    auto* l = new PanelLabel(QString(), {com.right() + 1 + 90, com.y(), 15, com.height()},
                             Qt::AlignLeft, true, parent);
    l->setObjectName(QStringLiteral("COM_device_Label"));
    return l;
}

PanelLabel* label(QWidget* parent, const TextDesign& d, bool autoSize,
                  Qt::Alignment align = Qt::AlignLeft) {
    auto* l = new PanelLabel(QString::fromUtf8(d.text), d.twips, align, autoSize, parent);
    l->setObjectName(QString::fromLatin1(d.name));
    return l;
}

PanelLabel* wrapped(QWidget* parent, const TextDesign& d) {
    PanelLabel* l = label(parent, d, false);
    l->setWordWrap(true);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const QRect& twips) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(pxRect(twips.x(), twips.y(), twips.width(), twips.height()));
    b->setAutoDefault(false);
    return b;
}

QFont boldFont() {
    return panelFont(fontname::MsSansSerif, 8.25, true);
}

} // namespace

// ---- wait dialog ---------------------------------------------------------------------------

BootloaderWaitDialog::BootloaderWaitDialog(core::Panel& panel,
                                           const settings::WindowPlacement& anchor,
                                           std::function<void()> endApplication)
    : QWidget(nullptr, dialogWindowFlags()), panel_(panel), anchor_(anchor),
      endApplication_(std::move(endApplication)),
      timer_(TickMs, false, [this] { Timer1_Timer(); }) {
    setObjectName(QStringLiteral("Bootlouder_Timeout_form"));
    setWindowTitle(QStringLiteral(" Start Ingenia PC application"));
    setWindowIcon(applicationIcon());
    setFont(defaultPanelFont());

    label(this, {"Label1", "Now start Ingenia PC application and wait", {150, 150, 2955, 195}},
          true);
    timeoutLabel_ =
        label(this, {"Timeout_Label", "30 seconds", {3150, 150, 990, 195}}, true, Qt::AlignRight);
    timeoutLabel_->setFont(boldFont());
    label(this, {"Label2", "In the PC Ingenia bootlouder use", {150, 600, 2325, 195}}, true);
    portLabel_ = label(this, {"COM_port_Label", "COM ?", {2550, 600, 585, 195}}, true);
    portLabel_->setFont(boldFont());
    deviceLabel_ = deviceLabel(this, portLabel_);

    // Wrapped and auto-sized: it keeps its width and grows downwards.
    wrapped(this, {"Label3",
                   "To cancel the programming just wait the timeout + 10 seconds which after "
                   "TARN VQ4400 will reboot to normal state.",
                   {150, 1050, 4425, 390}});

    QPushButton* ok = button(this, "Ok_Command", "Close", {3675, 1575, 840, 465});
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    new EscapePreview(*this, [this] { close(); });
    // A sizable border: the design size is where it starts.
    resize(makeRoom(*this, pxSize(4650, 2145)));
}

BootloaderWaitDialog::~BootloaderWaitDialog() = default;

void BootloaderWaitDialog::open() {
    countdown_ = CountdownSeconds;
    setCaptionInPlace(*timeoutLabel_, QString::number(countdown_) + QStringLiteral(" seconds"));
    // The main window is hidden by now but keeps its place.
    move(pxPoint(anchor_.left() + 2000, anchor_.top() + 2000));
    setCaptionInPlace(*portLabel_, portCaption(panel_));
    placeBeside(*deviceLabel_, *portLabel_, portDevice(panel_));
    timer_.setEnabled(true);
    bringUp(*this);
}

void BootloaderWaitDialog::Timer1_Timer() {
    // Reaching 0 closes nothing: the operator still has to close the window.
    if (countdown_ > 0)
        --countdown_;
    setCaptionInPlace(*timeoutLabel_, QString::number(countdown_) + QStringLiteral(" seconds"));
}

void BootloaderWaitDialog::closeEvent(QCloseEvent* event) {
    event->accept();
    timer_.setEnabled(false);
    // The main window is hidden and the port handed over: nothing may be left running, and
    // the shutdown (force standby, save) must not touch the line the client now owns.
    if (endApplication_)
        endApplication_();
}

// ---- start dialog --------------------------------------------------------------------------

RemoteFirmwareUpdateDialog::RemoteFirmwareUpdateDialog(core::Panel& panel,
                                                       core::MainWindowView& main,
                                                       const settings::WindowPlacement& anchor,
                                                       BootloaderWaitDialog& wait)
    : QWidget(nullptr, dialogWindowFlags()), panel_(panel), main_(main), anchor_(anchor),
      wait_(wait) {
    setObjectName(QStringLiteral("Remote_Firmware_Update_Form"));
    setWindowTitle(QStringLiteral("TARN VQ4400 bootloader start"));
    setWindowIcon(applicationIcon());
    setFont(defaultPanelFont());

    wrapped(this, {"Label1",
                   "This will start TARN VQ4400 embedded bootloader for remote firmware update "
                   "procedure. Before starting you need to have the Ingenia PC bootloader client "
                   "installed and a new firmware (x.xx.hex) downloaded into your PC. After "
                   "clicking the \"Start VQ4400 Bootloader\" button you have 30 seconds time to "
                   "start the PC Ingenia bootloader client. Prepare for that. After firmware "
                   "programming VQ4400 must be restarted.",
                   {150, 150, 6465, 1020}});
    // Labels of a fixed size wrap their text when it does not fit on one line.
    wrapped(this,
            {"Label3", "TARN VQ4400 firmware must be v1.27 or newer.", {150, 1275, 4155, 270}});
    wrapped(this,
            {"Label5",
             "We have tested two port servers. Digi Port Server is compatible but not USR-TCP232 .",
             {150, 1575, 6405, 270}});
    label(this, {"Label2", "In the Ingenia PC bootloader use", {150, 1875, 2325, 195}}, true);
    portLabel_ = label(this, {"COM_port_Label", "COM x", {2550, 1875, 570, 195}}, true);
    portLabel_->setFont(boldFont());
    deviceLabel_ = deviceLabel(this, portLabel_);

    PanelLabel* warning =
        wrapped(this, {"Label4",
                       "Warning: If you are remotely connected to your VQ4400 do NOT start TARN "
                       "VQ4400 Bootloader if you do not have eg a GSM relay or a Web switch to "
                       "restart TARN VQ4400 after programming.",
                       {150, 2250, 6495, 660}});
    warning->setFont(boldFont());
    QPalette red = warning->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    warning->setPalette(red);

    start_ = button(this, "Command1", "Start TARN VQ4400 Bootloader", {2775, 3000, 2640, 465});
    // A wider face needs a wider key; it grows to the left, where the window has room.
    if (const int need = start_->fontMetrics().horizontalAdvance(start_->text()) + px(240);
        need > start_->width())
        start_->setGeometry(start_->geometry().adjusted(start_->width() - need, 0, 0, 0));
    QPushButton* cancel = button(this, "Cancel_Command", "Cancel", {5625, 3000, 840, 465});
    QWidget::setTabOrder(start_, cancel);
    connect(start_, &QPushButton::clicked, this, &RemoteFirmwareUpdateDialog::start);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    new EscapePreview(*this, [this] { close(); });
    setFixedSize(makeRoom(*this, pxSize(6720, 3690)));
}

RemoteFirmwareUpdateDialog::~RemoteFirmwareUpdateDialog() = default;

void RemoteFirmwareUpdateDialog::open() {
    if (!isVisible()) {
        // It opens over the main window; when that one stays on top, this one must too, or
        // it would open underneath it.
        setWindowFlag(Qt::WindowStaysOnTopHint,
                      panel_.state().settings.AlwaysOnTop == QLatin1String("Yes"));
        move(pxPoint(anchor_.left() + 500, anchor_.top() + 1500));
        setCaptionInPlace(*portLabel_, portCaption(panel_));
        placeBeside(*deviceLabel_, *portLabel_, portDevice(panel_));
        start_->setFocus();
    }
    bringUp(*this);
}

void RemoteFirmwareUpdateDialog::start() {
    // Without an open port the panel has told the operator; everything stays as it was.
    if (!panel_.startBootloader())
        return;
    close();
    main_.setWindowShown(false);
    wait_.open();
}

} // namespace tarn::ui
