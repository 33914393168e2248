// Telnet framing and RFC 2217 line control as pure byte logic.

#include "serial/rfc2217.h"
#include "serial/telnet.h"

#include <gtest/gtest.h>

using namespace tarn::serial;
using T = TelnetCodec;

namespace {
QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// Decodes `stream` fed in pieces of `piece` bytes.
QByteArray decodeInPieces(const QByteArray& stream, qsizetype piece, QList<T::Command>* commands) {
    TelnetCodec codec;
    QByteArray data;
    for (qsizetype i = 0; i < stream.size(); i += piece)
        data += codec.decode(stream.mid(i, piece), commands);
    return data;
}
} // namespace

TEST(Telnet, EveryByteValueCrossesUnchangedWhereverTheReadsSplit) {
    QByteArray all;
    for (int i = 0; i < 512; ++i)
        all.append(char(i % 256));
    all += bytes({0xFB, 0xFF, 0xFF, 0xFF, 0xEF, 0xFE}); // escaped answers: 0xFF in runs
    const QByteArray wire = T::escape(all);
    EXPECT_EQ(wire.count(char(0xFF)), 2 * all.count(char(0xFF)));
    for (qsizetype piece : {1, 2, 3, 5, 64, 4096}) {
        QList<T::Command> commands;
        EXPECT_EQ(decodeInPieces(wire, piece, &commands), all) << "pieces of " << piece;
        EXPECT_TRUE(commands.isEmpty());
    }
}

TEST(Telnet, CommandsAndSubnegotiationsNeverReachTheData) {
    const QByteArray stream = bytes({0xFB, 0x01}) + T::negotiation(T::WILL, T::Echo) +
                              bytes({0x02, 0xFF, 0xFF}) +
                              T::subnegotiation(T::ComPort, bytes({101, 0x00, 0xFF, 0xC2, 0x00})) +
                              bytes({0xFF, 0xF1}) /* NOP */ + bytes({0xFE});
    const QList<T::Command> expected = {{T::WILL, T::Echo, {}},
                                        {T::SB, T::ComPort, bytes({101, 0x00, 0xFF, 0xC2, 0})},
                                        {0xF1, 0, {}}};
    for (qsizetype piece : {1, 2, 4, 7, 1000}) {
        QList<T::Command> commands;
        EXPECT_EQ(decodeInPieces(stream, piece, &commands), bytes({0xFB, 0x01, 0x02, 0xFF, 0xFE}))
            << "pieces of " << piece;
        EXPECT_EQ(commands, expected) << "pieces of " << piece;
    }
}

TEST(Telnet, EndlessSubnegotiationIsDroppedNotKept) {
    TelnetCodec codec;
    QList<T::Command> commands;
    codec.decode(bytes({0xFF, 0xFA, 44}) + QByteArray(1 << 20, 'x'), &commands);
    EXPECT_EQ(codec.decode(bytes({0xFF, 0xF0, 0x42}), &commands), bytes({0x42}));
    EXPECT_TRUE(commands.isEmpty());
}

namespace {
LineSettings at(int baud) {
    LineSettings s;
    s.baudRate = baud;
    return s;
}

// The server's answer to one SET command.
T::Command answer(int code, const QByteArray& value) {
    return {T::SB, T::ComPort, QByteArray(1, char(code + 100)) + value};
}

const QList<T::Command> acceptsAt115200 = {
    {T::DO, T::ComPort, {}}, answer(1, bytes({0, 1, 0xC2, 0})),
    answer(2, bytes({8})),   answer(3, bytes({1})),
    answer(4, bytes({1})),
};
} // namespace

struct ServerRow {
    const char* name;
    QList<T::Command> server;
    ComPortControl::State state;
    const char* refusalMentions;
};

void PrintTo(const ServerRow& row, std::ostream* out) {
    *out << row.name;
}

class ComPortServers : public ::testing::TestWithParam<ServerRow> {};

TEST_P(ComPortServers, LineSettingsAreAgreedOrRefused) {
    const ServerRow& row = GetParam();
    ComPortControl control;
    const QByteArray first = control.start() + control.request(at(115200));
    EXPECT_FALSE(first.contains(T::subnegotiation(T::ComPort, bytes({1, 0, 1, 0xC2, 0}))))
        << "settings wait for the server to take the option";
    QByteArray replies;
    for (const T::Command& c : row.server)
        replies += control.handle(c);
    EXPECT_EQ(control.state(), row.state);
    EXPECT_TRUE(control.refusal().contains(row.refusalMentions));
    if (row.server.value(0).verb == T::DO) {
        EXPECT_TRUE(replies.contains(T::subnegotiation(T::ComPort, bytes({1, 0, 1, 0xC2, 0}))));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rfc2217, ComPortServers,
    ::testing::Values(
        ServerRow{"agrees", acceptsAt115200, ComPortControl::State::Ready, ""},
        ServerRow{
            "no option", {{T::DONT, T::ComPort, {}}}, ComPortControl::State::Refused, "RFC 2217"},
        ServerRow{"other baud",
                  {{T::DO, T::ComPort, {}}, answer(1, bytes({0, 0, 0x25, 0x80}))},
                  ComPortControl::State::Refused,
                  "115200"},
        ServerRow{"silent", {{T::DO, T::ComPort, {}}}, ComPortControl::State::Negotiating, ""}));

TEST(Rfc2217, RefusesEchoAndUnknownOptionsAndAnswersOnlyChanges) {
    ComPortControl control;
    control.start();
    EXPECT_EQ(control.handle({T::WILL, T::Echo, {}}), T::negotiation(T::DONT, T::Echo));
    EXPECT_EQ(control.handle({T::DO, 24 /* terminal type */, {}}), T::negotiation(T::WONT, 24));
    EXPECT_EQ(control.handle({T::DO, T::Binary, {}}), QByteArray()) << "already offered";
    EXPECT_EQ(control.handle({T::WILL, T::Binary, {}}), QByteArray()) << "already asked for";
    for (const T::Command& c : acceptsAt115200)
        control.handle(c);
    EXPECT_EQ(control.state(), ComPortControl::State::Negotiating) << "nothing was requested";
    EXPECT_TRUE(control.request(at(9600)).contains(
        T::subnegotiation(T::ComPort, bytes({1, 0, 0, 0x25, 0x80}))));
}
