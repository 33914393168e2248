// Saves the settings file over and over, alternating between two complete versions, until it
// is killed. Usage: tarn-save-loop FOLDER. Prints the count of saves done after every save.

#include "savepair.h"
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    tarn::settings::SettingsStore store(folder, QStringLiteral("tarn-vq4400"),
                                        QDir(folder).filePath(QStringLiteral("user")));
    for (long n = 0;; ++n) {
        const int which = int(n % 2);
        const tarn::testing::FixedPlacement window(which);
        if (!store.Save_All_to_ini_file(tarn::testing::savePair(which), window))
            return 1;
        std::printf("%ld\n", n + 1);
        std::fflush(stdout);
    }
}
