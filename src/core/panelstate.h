#pragma once

#include "protocol/commands.h"
#include "protocol/decoder.h"
#include "serial/portmap.h"
#include "settings/settings.h"

#include <QByteArray>
#include <QString>

namespace tarn::core {

// Everything the panel's windows and procedures share, owned by the application and passed by
// reference.
struct PanelState {
    static constexpr int Form_Width = 8400;
    static constexpr int Height_Normal = 4600;
    static constexpr int Height_Small = 3300;
    static constexpr int Height_Test_Space = 7000;
    static constexpr int Max_Com_Port = 16;

    protocol::CommandFrames frames = protocol::CommandFrames::build();
    settings::Settings settings;
    serial::PortMap ports;

    protocol::RxBytes Rx_Byte;
    QByteArray Received_Chunk;
    bool Test_Space_Shown = false;
    bool Test_Space_Cmd_Pending = false;
    // The two test-space boxes' texts, kept here so the echo rules stay testable without them.
    QString hdlcEcho;
    QString decodedEcho;
};

} // namespace tarn::core
