#pragma once

#include <QByteArray>
#include <QList>

namespace tarn::serial {

// Telnet framing of a byte stream (RFC 854, 855): separates the line's data from the
// commands and negotiations that share the stream, whatever way the reads split them. The
// data byte 0xFF travels doubled, so the unescaping here is what the amplifier's escape byte
// depends on.
class TelnetCodec {
public:
    enum Byte : quint8 {
        SE = 240,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255,
    };
    enum Option : quint8 {
        Binary = 0,
        Echo = 1,
        SuppressGoAhead = 3,
        ComPort = 44,
    };

    struct Command {
        quint8 verb = 0;       // WILL, WONT, DO, DONT, SB; any other command byte as is
        quint8 option = 0;     // the option a negotiation or subnegotiation is about
        QByteArray parameters; // a subnegotiation's bytes after the option, undoubled
        friend bool operator==(const Command&, const Command&) = default;
    };

    // A subnegotiation longer than this is not one a port server sends: it is dropped, so a
    // peer cannot grow memory by never ending one.
    static constexpr qsizetype MaxSubnegotiation = 1024;

    // The data bytes among `bytes`; the commands completed by them go to `commands`.
    QByteArray decode(const QByteArray& bytes, QList<Command>* commands);

    static QByteArray escape(const QByteArray& data);
    static QByteArray negotiation(quint8 verb, quint8 option);
    static QByteArray subnegotiation(quint8 option, const QByteArray& parameters);

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationCommand };

    State state_ = State::Data;
    quint8 verb_ = 0;
    QByteArray sub_;
    bool subOverflow_ = false;
};

} // namespace tarn::serial
