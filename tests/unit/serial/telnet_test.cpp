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

QByteArray decodeInPieces(const QByteArray& stream, qsizetype piece, QList<T::Command>* commands) {
    TelnetCodec codec;
    QByteArray data;
    for (qsizetype i = 0; i < stream.size(); i += piece)
        data += codec.decode(stream.mid(i, piece), commands);
    return data;
}
} // namespace

TEST(Telnet, DataAndCommandsComeApartWhereverTheReadsSplit) {
    QByteArray data;
    for (int i = 0; i < 512; ++i)
        data.append(char(i % 256));
    data += bytes({0xFB, 0xFF, 0xFF, 0xFF, 0xEF, 0xFE}); // escaped answers: 0xFF in runs
    const QByteArray stream = T::escape(data) + T::negotiation(T::WILL, T::Echo) +
                              T::subnegotiation(T::ComPort, bytes({101, 0, 0xFF, 0xC2, 0})) +
                              bytes({0xFF, 0xF1 /* NOP */, 0x42});
    const QList<T::Command> expected = {
        {T::WILL, T::Echo, {}}, {T::SB, T::ComPort, bytes({101, 0, 0xFF, 0xC2, 0})}, {0xF1, 0, {}}};
    for (qsizetype piece : {1, 2, 3, 7, 4096}) {
        QList<T::Command> commands;
        EXPECT_EQ(decodeInPieces(stream, piece, &commands), data + bytes({0x42})) << piece;
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
// The server's answer to one SET command.
T::Command answer(int code, const QByteArray& value) {
    return {T::SB, T::ComPort, QByteArray(1, char(code + 100)) + value};
}
const QByteArray setBaud115200 = T::subnegotiation(T::ComPort, bytes({1, 0, 1, 0xC2, 0}));
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
    ComPortControl control;
    LineSettings settings;
    settings.baudRate = 115200;
    EXPECT_FALSE((control.start() + control.request(settings)).contains(setBaud115200))
        << "settings wait for the server to take the option";
    QByteArray replies;
    for (const T::Command& c : GetParam().server)
        replies += control.handle(c);
    EXPECT_EQ(control.state(), GetParam().state);
    EXPECT_TRUE(control.refusal().contains(GetParam().refusalMentions));
    EXPECT_EQ(replies.contains(setBaud115200), GetParam().server.value(0).verb == T::DO);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc2217, ComPortServers,
    ::testing::Values(
        ServerRow{"agrees",
                  {{T::DO, T::ComPort, {}},
                   answer(1, bytes({0, 1, 0xC2, 0})),
                   answer(2, bytes({8})),
                   answer(3, bytes({1})),
                   answer(4, bytes({1}))},
                  ComPortControl::State::Ready,
                  ""},
        ServerRow{"no option", {{T::DONT, T::ComPort, {}}}, ComPortControl::State::Refused, "2217"},
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
}
