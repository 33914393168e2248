// Prints what one full main-window update costs (all lamps, both bars, the labels and the
// keys, drawn and painted) and the same for the tiny widget, with the windows shown offscreen.
// Usage: bench_ui [rounds]. Under valgrind's callgrind the instruction counts of two round
// counts give the cost of one round without the machine's noise.
#include "protocol/status.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/tinywidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

using namespace tarn;

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installFontSubstitutions();
    ui::MainWindow window;
    ui::TinyWidget tiny;
    window.show();
    tiny.show();
    // Every frame is drawn and painted here, so the figures are the cost of one picture.
    window.pacer().setIntervalMs(0);
    tiny.pacer().setIntervalMs(0);

    // Two frames that differ in every field, so each update really changes what is shown.
    protocol::RxBytes a, b;
    const int bytesA[] = {0x40, 0x32, 0x25, 0x0F, 0x8C, 0x78, 0x23, 0x00};
    const int bytesB[] = {0xD0, 0x85, 0x4C, 0x1E, 0x78, 0x20, 0x30, 0x00};
    for (int i = 0; i < 8; ++i) {
        a.set(i, std::uint8_t(bytesA[i]));
        b.set(i, std::uint8_t(bytesB[i]));
    }
    const auto fa = protocol::statusFields(a), fb = protocol::statusFields(b);

    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5'000;
    for (auto* view :
         {static_cast<core::DisplayView*>(&window), static_cast<core::DisplayView*>(&tiny)}) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rounds; ++i) {
            view->drawStatus(i % 2 ? fa : fb);
            QCoreApplication::processEvents(); // paints what changed
        }
        std::printf("%s, a changing frame drawn and painted: %7.2f us\n",
                    view == static_cast<core::DisplayView*>(&window) ? "main window"
                                                                     : "tiny widget",
                    double(t.nsecsElapsed()) / rounds / 1000.0);
    }
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        window.drawStatus(fa);
    std::printf("main window update (same frame):     %7.2f us\n",
                double(t.nsecsElapsed()) / rounds / 1000.0);
    return 0;
}
