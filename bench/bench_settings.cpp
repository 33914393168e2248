// Cost of one full save and one full load of the settings file, as the panel does them.
#include "settings/settingsstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

using namespace tarn::settings;

namespace {

struct StillWindow : WindowPlacement {
    bool isNormalState() const override { return true; }
    int top() const override { return top_; }
    int left() const override { return left_; }
    void setTop(int twips) override { top_ = twips; }
    void setLeft(int twips) override { left_ = twips; }
    int top_ = 1200;
    int left_ = 2400;
};

} // namespace

int main() {
    constexpr int Rounds = 2000;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    SettingsStore store(dir.filePath("exe"), "tarn-vq4400", dir.filePath("user"));
    if (!QDir().mkpath(dir.filePath("exe")))
        return 1;

    Settings settings;
    settings.Top_Location = "300";
    settings.Left_Location = "450";
    for (int port = 1; port <= 8; ++port)
        settings.Ports.insert(port, QStringLiteral("/dev/ttyUSB%1").arg(port - 1));
    StillWindow window;

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Rounds; ++i) {
        settings.Polling = 50 + i % 100; // a real change every time
        if (!store.Save_All_to_ini_file(settings, window)) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
    }
    const double saveUs = double(timer.nsecsElapsed()) / 1000.0 / Rounds;

    int checksum = 0;
    timer.restart();
    for (int i = 0; i < Rounds; ++i) {
        Settings loaded;
        const QStringList rejected = store.Load_All_from_ini_file(loaded, window);
        store.loadPortMap(loaded);
        checksum += loaded.Polling + int(loaded.Ports.size()) + int(rejected.size());
    }
    const double loadUs = double(timer.nsecsElapsed()) / 1000.0 / Rounds;

    std::printf("full save: %.1f us per save (%d saves, %s)\n", saveUs, Rounds,
                qPrintable(store.writePath()));
    std::printf("full load: %.1f us per load incl. port map (%d loads, checksum %d)\n", loadUs,
                Rounds, checksum);
    return 0;
}
