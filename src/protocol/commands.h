#pragma once

#include <QByteArray>
#include <cstdint>

namespace tarn::protocol {

inline constexpr std::uint8_t StartByte = 0xFB;
inline constexpr std::uint8_t EndByte = 0xFE;

// Start byte, command, optional data byte, checksum (command + data, mod 256), end byte.
QByteArray makeFrame(std::uint8_t command);
QByteArray makeFrame(std::uint8_t command, std::uint8_t data);

// What the panel can ask of the amplifier. Everything above the protocol speaks in these; only
// CommandFrames knows the bytes.
enum class Command {
    Poll,
    Toggle_OPER_STBY,
    Gain_Up,
    Gain_Down,
    Auto_Band,
    Band_Up,
    Band_Down,
    Test_Space,
    PA_Voltage_High,
    PA_Voltage_Low,
    Force_STBY,
    Start_Bootloader,
};

// The twelve frames the panel ever sends. They are built once at start-up and only read
// afterwards, so nothing on the line is ever assembled from run-time data.
struct CommandFrames {
    QByteArray Cmd_Poll;
    QByteArray Cmd_Toggle_OPER_STBY;
    QByteArray Cmd_Gain_Up;
    QByteArray Cmd_Gain_Down;
    QByteArray Cmd_Auto_Band;
    QByteArray Cmd_Band_Up;
    QByteArray Cmd_Band_Down;
    QByteArray Cmd_Test_Space;
    QByteArray Cmd_PA_Voltage_High;
    QByteArray Cmd_PA_Voltage_Low;
    QByteArray Cmd_Force_STBY;
    QByteArray Cmd_Start_Bootloader;

    static CommandFrames build();
    const QByteArray& frame(Command command) const;
};

} // namespace tarn::protocol
