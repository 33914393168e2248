#pragma once

#include "faults.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace tarn::sim {

struct SimOptions {
    bool help = false;
    bool tcp = false;
    quint16 tcpPort = 0;
    QString bindAddress = QStringLiteral("127.0.0.1");
    QString linkPath;
    QByteArray firmware = "1.27 ";
    qint64 bootloaderMs = 40'000;
    qint64 splitMs = 60;
    int baudRate = 0; // 0: the line takes answers as fast as they come
    bool tx = false;
    qint64 txCycleMs = 0; // 0: no cycle
    qint64 driftMs = 0;   // 0: no drift
    bool sweepMeters = false;
    std::vector<FaultMode> faults;
    bool randomFaults = false;
    std::uint32_t seed = 1;
    bool log = false;
};

struct OptionsParse {
    std::optional<SimOptions> options;
    QString error;
};

// `args` without the program name.
OptionsParse parseOptions(const QStringList& args);

QString optionsHelpText(const QString& program);

} // namespace tarn::sim
