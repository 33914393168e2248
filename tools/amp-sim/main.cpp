#include "console.h"
#include "options.h"
#include "pty_transport.h"
#include "simulator.h"
#include "tcp_transport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>

using namespace tarn::sim;

int main(int argc, char* argv[]) {
    prepareProcess();
    QCoreApplication app(argc, argv);
    const QString program = QFileInfo(app.arguments().value(0)).fileName();

    const OptionsParse parsed = parseOptions(app.arguments().mid(1));
    if (!parsed.options) {
        printError(QStringLiteral("%1: %2").arg(program, parsed.error));
        return 2;
    }
    const SimOptions& options = *parsed.options;
    if (options.help) {
        printLine(optionsHelpText(program).trimmed());
        return 0;
    }

    std::unique_ptr<Transport> transport;
    if (options.tcp) {
        QHostAddress address;
        if (!address.setAddress(options.bindAddress)) {
            printError(QStringLiteral("%1: --bind: '%2' is not an IP address")
                           .arg(program, options.bindAddress));
            return 2;
        }
        transport = std::make_unique<TcpTransport>(address, options.tcpPort);
    } else {
#ifdef Q_OS_UNIX
        transport = std::make_unique<PtyTransport>(options.linkPath);
#else
        printError(
            QStringLiteral("%1: no pseudo-terminals on this system; use --tcp PORT").arg(program));
        return 2;
#endif
    }

    SignalWatcher terminationSignals;
    QObject::connect(&terminationSignals, &SignalWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);

    Simulator simulator(options, std::move(transport));
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    StdinReader input;
    QObject::connect(&input, &StdinReader::lineReceived, &simulator, &Simulator::handleControlLine);

    QString error;
    if (!simulator.start(error)) {
        printError(QStringLiteral("%1: %2").arg(program, error));
        return 1;
    }
    return app.exec();
}
