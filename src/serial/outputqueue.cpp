#include "serial/outputqueue.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/ioctl.h>
#include <termios.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#endif
#ifdef Q_OS_MACOS
#include <sys/socket.h>
#endif

namespace tarn::serial {

qint64 serialOutputQueue(qintptr handle) {
#ifdef Q_OS_WIN
    if (handle == 0 || HANDLE(handle) == INVALID_HANDLE_VALUE)
        return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(HANDLE(handle), &errors, &status))
        return 0;
    return qint64(status.cbOutQue);
#else
    int queued = 0;
    if (handle < 0 || ::ioctl(int(handle), TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
#endif
}

qint64 socketOutputQueue(qintptr descriptor, bool unacknowledged) {
    if (descriptor < 0)
        return 0;
#if defined(Q_OS_LINUX)
    int queued = 0;
    // SIOCOUTQNSD counts only what was not sent yet; bytes in flight to a reading peer are
    // not a stall. Older kernels lack it, and the whole queue is the next best figure.
#ifdef SIOCOUTQNSD
    if (!unacknowledged && ::ioctl(int(descriptor), SIOCOUTQNSD, &queued) == 0)
        return queued;
#endif
    if (::ioctl(int(descriptor), SIOCOUTQ, &queued) == 0)
        return queued;
    return 0;
#elif defined(Q_OS_MACOS)
    Q_UNUSED(unacknowledged)
    int queued = 0;
    socklen_t size = sizeof queued;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_NWRITE, &queued, &size) == 0)
        return queued;
    return 0;
#else
    Q_UNUSED(unacknowledged)
    return 0;
#endif
}

} // namespace tarn::serial
