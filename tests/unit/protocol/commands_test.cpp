#include "protocol/commands.h"

#include <gtest/gtest.h>

using tarn::protocol::CommandFrames;

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}
} // namespace

TEST(CommandFrames, AllTwelveAreTheAmplifiersFrames) {
    const auto f = CommandFrames::build();
    EXPECT_EQ(f.Cmd_Toggle_OPER_STBY, bytes({0xFB, 0x01, 0x01, 0xFE}));
    EXPECT_EQ(f.Cmd_PA_Voltage_High, bytes({0xFB, 0x02, 0x02, 0x04, 0xFE}));
    EXPECT_EQ(f.Cmd_PA_Voltage_Low, bytes({0xFB, 0x02, 0x01, 0x03, 0xFE}));
    EXPECT_EQ(f.Cmd_Force_STBY, bytes({0xFB, 0x03, 0x02, 0x05, 0xFE}));
    EXPECT_EQ(f.Cmd_Start_Bootloader, bytes({0xFB, 0x03, 0x09, 0x0C, 0xFE}));
    EXPECT_EQ(f.Cmd_Gain_Up, bytes({0xFB, 0x04, 0x04, 0xFE}));
    EXPECT_EQ(f.Cmd_Gain_Down, bytes({0xFB, 0x05, 0x05, 0xFE}));
    EXPECT_EQ(f.Cmd_Auto_Band, bytes({0xFB, 0x06, 0x06, 0xFE}));
    EXPECT_EQ(f.Cmd_Band_Up, bytes({0xFB, 0x07, 0x07, 0xFE}));
    EXPECT_EQ(f.Cmd_Band_Down, bytes({0xFB, 0x08, 0x08, 0xFE}));
    EXPECT_EQ(f.Cmd_Poll, bytes({0xFB, 0x0C, 0x0C, 0xFE}));
    EXPECT_EQ(f.Cmd_Test_Space, bytes({0xFB, 0x0D, 0x0D, 0xFE}));
}

TEST(CommandFrames, ChecksumWrapsAtEightBits) {
    EXPECT_EQ(tarn::protocol::makeFrame(0xF0, 0x20), bytes({0xFB, 0xF0, 0x20, 0x10, 0xFE}));
}
