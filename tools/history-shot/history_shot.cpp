// Takes the README's pictures: the panel against the simulator's drift mode until an alarm
// shows and the protection has tripped once, then the main window and the history window
// grabbed to PNG files. Usage: tarn-history-shot OUTPUT_DIR [SECONDS]
#include "panelapp.h"
#include "support/pty.h"
#include "support/simprocess.h"
#include "ui/fonts.h"
#include "ui/history/historyplot.h"
#include "ui/history/historywindow.h"

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [SECONDS]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    tarn::ui::installFontSubstitutions();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const int seconds = argc > 2 ? std::max(10, atoi(argv[2])) : 50;

    tarn::testing::SimProcess sim({QStringLiteral("--drift"), QStringLiteral("20000")});
    const QString ini = QCoreApplication::applicationDirPath() + "/tarn-history-shot.ini";
    {
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("[COM]\nPortNumber= 1\n[Ports]\nCOM1=" + sim.endpoint().toUtf8() +
                "\n[Alarms]\nSound=No\n");
    }
    int status = 0;
    {
        tarn::app::PanelApplication panel;
        panel.start();
        const int menuHeight = panel.mainWindow().menuBar()->height();
        const QSize mainSize = panel.mainWindow().frameGeometry().size();

        // A band change while the amplifier recovers from its trip, for the marker.
        bool bandChanged = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &app, [&] {
            const auto& st =
                panel.recorder().alarms().status(tarn::telemetry::AlarmKind::Protection);
            if (st.active && !bandChanged) {
                bandChanged = true;
                QTimer::singleShot(1500, &app, [&] {
                    panel.panel().sendCommand(tarn::protocol::Command::Band_Up, false);
                });
            }
        });
        watch.start(100);

        auto& controls = panel.telemetryControls();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();

        // Both limits crossed, so the picture shows the alarm line and colours.
        const auto alarmed = [&] {
            using tarn::telemetry::AlarmKind;
            const auto& alarms = panel.recorder().alarms();
            return alarms.status(AlarmKind::Swr).active &&
                   alarms.status(AlarmKind::Temperature).active;
        };
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (alarmed())
                loop.quit();
        });
        poll.start(50);
        QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
        loop.exec();
        poll.stop();

        controls.openHistory();
        controls.historyWindow()->setSpan(60'000);
        controls.historyWindow()->resize(900, 600);
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
        // The readout of a moment just before the first trip.
        auto& plot = controls.historyWindow()->plot();
        const QPointF at(plot.width() * 0.62, plot.height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, plot.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&plot, &move);
        if (!controls.historyWindow()->grab().save(out.filePath("history.png")) ||
            !panel.mainWindow().grab().save(out.filePath("main-alarm.png")))
            status = 1;
        std::printf("menu bar %d px high before, %d px after; main window %dx%d before, %dx%d "
                    "after; alarm line: %s\n",
                    menuHeight, panel.mainWindow().menuBar()->height(), mainSize.width(),
                    mainSize.height(), panel.mainWindow().frameGeometry().width(),
                    panel.mainWindow().frameGeometry().height(),
                    qPrintable(controls.alarmLine()->property("fullText").toString()));
        panel.shutdown(tarn::core::Way::Window);
    }
    QFile::remove(ini);
    return status;
}
