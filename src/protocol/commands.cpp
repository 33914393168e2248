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

const QByteArray& CommandFrames::frame(Command command) const {
    switch (command) {
    case Command::Poll:
        return Cmd_Poll;
    case Command::Toggle_OPER_STBY:
        return Cmd_Toggle_OPER_STBY;
    case Command::Gain_Up:
        return Cmd_Gain_Up;
    case Command::Gain_Down:
        return Cmd_Gain_Down;
    case Command::Auto_Band:
        return Cmd_Auto_Band;
    case Command::Band_Up:
        return Cmd_Band_Up;
    case Command::Band_Down:
        return Cmd_Band_Down;
    case Command::Test_Space:
        return Cmd_Test_Space;
    case Command::PA_Voltage_High:
        return Cmd_PA_Voltage_High;
    case Command::PA_Voltage_Low:
        return Cmd_PA_Voltage_Low;
    case Command::Force_STBY:
        return Cmd_Force_STBY;
    case Command::Start_Bootloader:
        return Cmd_Start_Bootloader;
    }
    return Cmd_Poll;
}

} // namespace tarn::protocol
