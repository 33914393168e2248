// What any Qt program pays on this machine and display for waking at the panel's polling rate:
// with nothing else to do, and with one label changed at every wake (a repaint and a flush to
// the X server each time). The panel's own figures from display-load.sh read against these.
// Usage: bench_display_floor POLLING-MS SECONDS
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int ms = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    QLabel label(QStringLiteral("0000"));
    label.resize(200, 40);
    label.show();
    const int warmTicks = 2000 / ms;
    const int ticks = seconds * 1000 / ms;
    for (const bool changing : {false, true}) {
        int n = 0;
        double start = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++n;
            if (n == warmTicks)
                start = cpuSeconds();
            if (changing)
                label.setText(QString::number(n));
            if (n == warmTicks + ticks) {
                std::printf("a Qt program waking every %d ms%s: %.2f %% of a core\n", ms,
                            changing ? " to change one label" : " with nothing to do",
                            100.0 * (cpuSeconds() - start) / seconds);
                app.quit();
            }
        });
        timer.start(ms);
        app.exec();
    }
    return 0;
}
