// Prints the time from launching the panel to the first status frame drawn on its main
// window, with the 16-port scan, against the simulated amplifier on a pseudo-terminal.
//
// The benchmark runs itself as the panel: the child builds exactly what the executable
// builds, with a settings file beside it that maps COM1 to the simulator.
#include "panelapp.h"
#include "support/pty.h"
#include "support/simprocess.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int child(int argc, char* argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    tarn::ui::installFontSubstitutions();
    tarn::app::PanelApplication panel;
    panel.start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        const auto* swr = panel.mainWindow().findChild<QLabel*>(QStringLiteral("Label_SWR_txt"));
        if (swr && swr->text() == QLatin1String("SWR")) {
            std::printf("drawn %lld\n", static_cast<long long>(sinceMain.elapsed()));
            std::fflush(stdout);
            panel.endAtOnce();
        }
    });
    watch.start(1);
    return app.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    tarn::testing::SimProcess sim({});
    const QString ini = QCoreApplication::applicationDirPath() + "/bench_startup.ini";
    {
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() + "\n");
    }
    std::vector<qint64> launch, inside;
    for (int run = 0; run < 7; ++run) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        p.start(QCoreApplication::applicationFilePath(), {"--child"});
        if (!p.waitForReadyRead(10000))
            break;
        const qint64 total = t.elapsed();
        const QByteArray line = p.readAllStandardOutput().trimmed();
        p.waitForFinished(5000);
        if (!line.startsWith("drawn "))
            break;
        launch.push_back(total);
        inside.push_back(line.mid(6).toLongLong());
    }
    QFile::remove(ini);
    if (launch.empty()) {
        std::printf("start-up: the panel never drew a frame\n");
        return 1;
    }
    std::sort(launch.begin(), launch.end());
    std::sort(inside.begin(), inside.end());
    std::printf("start-up, launch to first status frame drawn (median of %zu): %lld ms "
                "(%lld ms of it after main() began)\n",
                launch.size(), static_cast<long long>(launch[launch.size() / 2]),
                static_cast<long long>(inside[inside.size() / 2]));
    return 0;
}
