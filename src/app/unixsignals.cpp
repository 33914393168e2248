#include "unixsignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarn::app {

#ifdef Q_OS_UNIX
namespace {
// The one descriptor a signal handler may touch; set before the handlers are installed.
int signalWriteFd = -1;
int signalReadFd = -1;
volatile std::sig_atomic_t signalCount = 0;

extern "C" void onTerminationSignal(int signal) {
    signalCount = signalCount + 1;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto ignored = ::write(signalWriteFd, &byte, 1);
}
} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return;
    signalWriteFd = fds[0];
    signalReadFd = fds[1];
    notifier_ = std::make_unique<QSocketNotifier>(signalReadFd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        unsigned char byte = 0;
        if (::read(signalReadFd, &byte, 1) == 1 && onSignal_)
            onSignal_(byte);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

int TerminationSignals::received() {
    return int(signalCount);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_)
        return;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::signal(s, SIG_DFL);
    notifier_.reset();
    ::close(signalWriteFd);
    ::close(signalReadFd);
    signalWriteFd = signalReadFd = -1;
}
#else
TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {}
TerminationSignals::~TerminationSignals() = default;
int TerminationSignals::received() {
    return 0;
}
#endif

} // namespace tarn::app
