#include "serial/rfc2217.h"

#include <QtEndian>

namespace tarn::serial {

namespace {
using T = TelnetCodec;

// COM-PORT-OPTION commands (client to server; the server answers with the code + 100).
enum : quint8 { SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4 };
constexpr quint8 ServerOffset = 100;

quint8 parityCode(char letter) {
    switch (letter) {
    case 'o':
        return 2;
    case 'e':
        return 3;
    case 'm':
        return 4;
    case 's':
        return 5;
    default:
        return 1;
    }
}

bool wanted(quint8 option) {
    return option == T::Binary || option == T::SuppressGoAhead || option == T::ComPort;
}

QString describe(quint8 code, const QByteArray& value) {
    switch (code) {
    case SetBaudRate:
        return value.size() == 4 ? QStringLiteral("%1 baud").arg(qFromBigEndian<quint32>(
                                       reinterpret_cast<const uchar*>(value.constData())))
                                 : QStringLiteral("the baud rate");
    case SetDataSize:
        return QStringLiteral("%1 data bits").arg(value.isEmpty() ? 0 : quint8(value[0]));
    case SetParity:
        return QStringLiteral("parity code %1").arg(value.isEmpty() ? 0 : quint8(value[0]));
    default:
        return QStringLiteral("stop size code %1").arg(value.isEmpty() ? 0 : quint8(value[0]));
    }
}
} // namespace

QByteArray ComPortControl::start() {
    local_ = {T::ComPort, T::Binary, T::SuppressGoAhead};
    remote_ = {T::Binary, T::SuppressGoAhead};
    return T::negotiation(T::WILL, T::ComPort) + T::negotiation(T::WILL, T::Binary) +
           T::negotiation(T::DO, T::Binary) + T::negotiation(T::WILL, T::SuppressGoAhead) +
           T::negotiation(T::DO, T::SuppressGoAhead);
}

QByteArray ComPortControl::request(const LineSettings& s) {
    QByteArray baud(4, '\0');
    qToBigEndian<quint32>(quint32(s.baudRate), reinterpret_cast<uchar*>(baud.data()));
    pending_[SetBaudRate] = baud;
    pending_[SetDataSize] = QByteArray(1, char(s.dataBits));
    pending_[SetParity] = QByteArray(1, char(parityCode(s.parity)));
    pending_[SetStopSize] = QByteArray(1, char(s.stopBits));
    if (state_ == State::Ready)
        state_ = State::Negotiating;
    return optionAgreed_ ? pendingRequests() : QByteArray();
}

QByteArray ComPortControl::pendingRequests() const {
    QByteArray out;
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        out += T::subnegotiation(T::ComPort, QByteArray(1, char(it.key())) + it.value());
    return out;
}

void ComPortControl::refuse(const QString& why) {
    if (state_ == State::Refused)
        return;
    state_ = State::Refused;
    refusal_ = why;
}

QByteArray ComPortControl::handle(const TelnetCodec::Command& c) {
    switch (c.verb) {
    case T::DO:
        if (!wanted(c.option))
            return T::negotiation(T::WONT, c.option);
        if (c.option == T::ComPort && !optionAgreed_) {
            optionAgreed_ = true;
            return pendingRequests();
        }
        if (!local_.contains(c.option)) {
            local_.insert(c.option);
            return T::negotiation(T::WILL, c.option);
        }
        return {};
    case T::DONT:
        if (c.option == T::ComPort)
            refuse(QStringLiteral("the port server does not offer RFC 2217 line control"));
        if (local_.remove(c.option)) {
            return T::negotiation(T::WONT, c.option);
        }
        return {};
    case T::WILL:
        // Above all no echo: the amplifier's answers would arrive mixed with our own polls.
        if (c.option != T::Binary && c.option != T::SuppressGoAhead)
            return T::negotiation(T::DONT, c.option);
        if (!remote_.contains(c.option)) {
            remote_.insert(c.option);
            return T::negotiation(T::DO, c.option);
        }
        return {};
    case T::WONT:
        if (remote_.remove(c.option)) {
            return T::negotiation(T::DONT, c.option);
        }
        return {};
    case T::SB:
        break;
    default:
        return {};
    }
    if (c.option != T::ComPort || c.parameters.isEmpty())
        return {};
    const quint8 code = quint8(c.parameters[0]);
    if (code <= ServerOffset || !pending_.contains(quint8(code - ServerOffset)))
        return {}; // line and modem state notices, answers nobody waits for
    const quint8 asked = quint8(code - ServerOffset);
    const QByteArray value = c.parameters.mid(1);
    if (value != pending_.value(asked)) {
        refuse(QStringLiteral("the port server refused %1 (it answered %2)")
                   .arg(describe(asked, pending_.value(asked)), describe(asked, value)));
    }
    pending_.remove(asked);
    if (pending_.isEmpty() && state_ == State::Negotiating && optionAgreed_)
        state_ = State::Ready;
    return {};
}

} // namespace tarn::serial
