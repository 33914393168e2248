#pragma once

#include "serial/linesettings.h"
#include "serial/telnet.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

namespace tarn::serial {

// The client's half of a telnet session with a port server that speaks RFC 2217: agrees on
// binary transmission, refuses echo and everything else it does not need, and sets the far
// line through the COM-PORT-OPTION. Pure byte logic: the caller sends what it returns.
class ComPortControl {
public:
    enum class State { Negotiating, Ready, Refused };

    // What a client says first.
    QByteArray start();
    // The far line's settings. Sent at once when the server already agreed to the option,
    // otherwise as soon as it does; the state is Negotiating until every answer is in.
    QByteArray request(const LineSettings& settings);
    // One command from the server; returns the reply, if any.
    QByteArray handle(const TelnetCodec::Command& command);

    State state() const { return state_; }
    // Why the server's answers count as a refusal, for the operator.
    QString refusal() const { return refusal_; }

private:
    QByteArray pendingRequests() const;
    void refuse(const QString& why);

    State state_ = State::Negotiating;
    QString refusal_;
    bool optionAgreed_ = false;
    QSet<quint8> local_;  // options this side does (WILL sent or agreed)
    QSet<quint8> remote_; // options the server was asked or allowed to do (DO sent)
    // SET command → the value asked for, until the server answers it.
    QMap<quint8, QByteArray> pending_;
};

} // namespace tarn::serial
