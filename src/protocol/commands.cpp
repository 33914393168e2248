#include "protocol/commands.h"

namespace tarn::protocol {

QByteArray makeFrame(std::uint8_t command) {
    const char bytes[] = {char(StartByte), char(command), char(command), char(EndByte)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray makeFrame(std::uint8_t command, std::uint8_t data) {
    const auto checksum = std::uint8_t(command + data);
    const char bytes[] = {char(StartByte), char(command), char(data), char(checksum),
                          char(EndByte)};
    return QByteArray(bytes, sizeof bytes);
}

CommandFrames CommandFrames::build() {
    CommandFrames f;
    f.Cmd_Toggle_OPER_STBY = makeFrame(0x01);
    f.Cmd_PA_Voltage_High = makeFrame(0x02, 0x02);
    f.Cmd_PA_Voltage_Low = makeFrame(0x02, 0x01);
    f.Cmd_Force_STBY = makeFrame(0x03, 0x02);
    f.Cmd_Start_Bootloader = makeFrame(0x03, 0x09);
    f.Cmd_Gain_Up = makeFrame(0x04);
    f.Cmd_Gain_Down = makeFrame(0x05);
    f.Cmd_Auto_Band = makeFrame(0x06);
    f.Cmd_Band_Up = makeFrame(0x07);
    f.Cmd_Band_Down = makeFrame(0x08);
    f.Cmd_Poll = makeFrame(0x0C);
    f.Cmd_Test_Space = makeFrame(0x0D);
    return f;
}

} // namespace tarn::protocol
