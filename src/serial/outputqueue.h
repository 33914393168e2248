#pragma once

#include <QtGlobal>

namespace tarn::serial {

// Bytes the operating system still holds for sending: on a serial device its driver's output
// queue, on a connected socket the bytes not yet sent to the peer. A peer that stops taking
// bytes shows here long before a write fails. 0 when the system cannot tell.
qint64 serialOutputQueue(qintptr handle);
// `unacknowledged` also counts bytes sent but not yet acknowledged by the peer: what a close
// must wait for, since closing a socket can reset the connection and lose them.
qint64 socketOutputQueue(qintptr descriptor, bool unacknowledged = false);

} // namespace tarn::serial
