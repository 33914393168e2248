#include "ui/dialogs/dialogs.h"

#include "ui/mainwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tarn::ui {

namespace {

// The message boxes' own line break: a carriage return, twice for an empty line.
const QString EmptyLine = QStringLiteral("\r\r");

bool openWithSystem(const QString& path) {
    // The desktop may report success for a file that is not there; the operator must hear
    // about the missing file all the same.
    return QFileInfo::exists(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace

Dialogs::Dialogs(MainWindow& main, core::Panel& panel, core::OperatorView& operatorView)
    : endApplication([] { QCoreApplication::quit(); }), openDocument(&openWithSystem),
      applicationDir(QCoreApplication::applicationDirPath()), operator_(operatorView),
      baudRate_(panel, main), pollingRate_(panel, main), timeOut_(panel, main),
      bootloaderWait_(panel, main,
                      [this] {
                          if (endApplication)
                              endApplication();
                      }),
      firmwareUpdate_(panel, main, main, bootloaderWait_) {
    const auto onMenu = [&](const char* name, std::function<void()> handler) {
        QAction* a = main.action(QString::fromLatin1(name));
        Q_ASSERT(a);
        QObject::connect(a, &QAction::triggered, &connections_, std::move(handler));
    };
    onMenu("menu_Baud_Rate", [this] { baudRate_.open(); });
    onMenu("menu_Polling_Rate", [this] { pollingRate_.open(); });
    onMenu("menu_Time_Out", [this] { timeOut_.open(); });
    onMenu("menu_Remote_Firmware_Update", [this] { firmwareUpdate_.open(); });
    onMenu("menu_Guide", [this] { menu_Guide_Click(); });
    onMenu("menu_About", [this] { menu_About_Click(); });
}

Dialogs::~Dialogs() = default;

void Dialogs::closeAll() {
    for (QWidget* w : {static_cast<QWidget*>(&baudRate_), static_cast<QWidget*>(&pollingRate_),
                       static_cast<QWidget*>(&timeOut_)}) {
        if (w->isVisible())
            w->close();
    }
}

QString Dialogs::guidePath(const QString& directory) {
    QString path = directory;
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('/');
    return path + QStringLiteral("guide.html");
}

void Dialogs::menu_Guide_Click() {
    const QString path = guidePath(applicationDir);
    if (openDocument && openDocument(path))
        return;
    operator_.showMessage(QStringLiteral("File not found!") + EmptyLine + path,
                          core::style::Exclamation, QStringLiteral("Guide"));
}

void Dialogs::menu_About_Click() {
    operator_.showMessage(QStringLiteral("TARN VQ4400 Remote") + EmptyLine +
                              QStringLiteral("Version V1.08") + EmptyLine +
                              QStringLiteral("Written by the tarn-vq4400 developers, 2026"),
                          core::style::Ok, QStringLiteral("About TARN VQ4400 Remote"));
}

} // namespace tarn::ui
