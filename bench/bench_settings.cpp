// Cost of one full save and one full load of the settings file, as the panel does them.
#include "settings/settingsstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

// Peak resident memory so far, in MB (Linux; 0 elsewhere).
double peakResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// What the panel's start-up does with a settings file of 100 MB beside it: the port map, the
// check for a port number and the load.
bool hugeFileStartup(const QTemporaryDir& dir) {
    const QString exeDir = dir.filePath("huge");
    QDir().mkpath(exeDir);
    QFile file(exeDir + QStringLiteral("/tarn-vq4400.ini"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("[COM]\nPortNumber= 3\n[Extra]\n");
    QByteArray block;
    for (int i = 0; i < 4096; ++i)
        block += "key" + QByteArray::number(i) + "=some value of a hand-made file\n";
    while (file.size() < 100LL * 1000 * 1000)
        file.write(block);
    const double megabytes = double(file.size()) / 1e6;
    file.close();

    const double before = peakResidentMb();
    QElapsedTimer timer;
    timer.start();
    const SettingsStore store(exeDir, "tarn-vq4400", dir.filePath("huge-user"));
    Settings settings;
    StillWindow window;
    store.loadPortMap(settings);
    if (store.Ini_Has_Port_Number())
        store.Load_All_from_ini_file(settings, window);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("start-up with a %.0f MB settings file: %.2f ms, peak resident %.1f MB (%.1f MB "
                "before); %s\n",
                megabytes, ms, peakResidentMb(), before,
                store.loadProblem().isEmpty() ? "nothing reported" : "reported to the operator");
    return true;
}

} // namespace

int main() {
    constexpr int Rounds = 2000;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    // First, while the peak resident memory still belongs to nothing else.
    if (!hugeFileStartup(dir)) {
        std::fprintf(stderr, "could not write the large settings file\n");
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
