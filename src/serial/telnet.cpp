#include "serial/telnet.h"

namespace tarn::serial {

QByteArray TelnetCodec::decode(const QByteArray& bytes, QList<Command>* commands) {
    QByteArray data;
    data.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = quint8(c);
        switch (state_) {
        case State::Data:
            if (b == IAC)
                state_ = State::Command;
            else
                data.append(c);
            break;
        case State::Command:
            if (b == IAC) {
                data.append(c);
                state_ = State::Data;
            } else if (b == WILL || b == WONT || b == DO || b == DONT) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == SB) {
                sub_.clear();
                subOverflow_ = false;
                state_ = State::Subnegotiation;
            } else {
                commands->append({b, 0, {}}); // NOP, GA, BRK and the like
                state_ = State::Data;
            }
            break;
        case State::Option:
            commands->append({verb_, b, {}});
            state_ = State::Data;
            break;
        case State::Subnegotiation:
            if (b == IAC) {
                state_ = State::SubnegotiationCommand;
            } else if (sub_.size() < MaxSubnegotiation) {
                sub_.append(c);
            } else {
                subOverflow_ = true;
            }
            break;
        case State::SubnegotiationCommand:
            if (b == IAC) {
                if (sub_.size() < MaxSubnegotiation)
                    sub_.append(c);
                else
                    subOverflow_ = true;
                state_ = State::Subnegotiation;
                break;
            }
            // IAC SE ends it; any other command ends it as well, and is then taken as such.
            if (!sub_.isEmpty() && !subOverflow_)
                commands->append({SB, quint8(sub_[0]), sub_.mid(1)});
            sub_.clear();
            if (b == SE) {
                state_ = State::Data;
            } else {
                state_ = State::Command;
                const QByteArray rest(1, char(b));
                data += decode(rest, commands);
            }
            break;
        }
    }
    return data;
}

QByteArray TelnetCodec::escape(const QByteArray& data) {
    if (!data.contains(char(IAC)))
        return data;
    QByteArray out;
    out.reserve(data.size() * 2);
    for (const char c : data) {
        out.append(c);
        if (quint8(c) == IAC)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::negotiation(quint8 verb, quint8 option) {
    const char bytes[] = {char(IAC), char(verb), char(option)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray TelnetCodec::subnegotiation(quint8 option, const QByteArray& parameters) {
    const char start[] = {char(IAC), char(SB), char(option)};
    const char end[] = {char(IAC), char(SE)};
    return QByteArray(start, sizeof start) + escape(parameters) + QByteArray(end, sizeof end);
}

} // namespace tarn::serial
