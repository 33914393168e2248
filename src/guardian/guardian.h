#pragma once

#include <cstddef>
#include <memory>
#include <string>

#if defined(_MSC_VER)
namespace tarn::guardian {
using pid_t = int;
} // namespace tarn::guardian
#else
#include <sys/types.h>
#endif

namespace tarn::guardian {

// A second process that leaves the amplifier in standby when the panel ends without its
// shutdown: SIGKILL, a crash, a library calling _exit. It keeps a copy of the line and, once the
// panel's end of their socket closes without a goodbye, writes the force-standby frame on it,
// waits a bounded time for the frame to leave the machine and ends. While the panel lives it
// never writes. On systems without fork it does not exist: start() returns nullptr.
class Guardian {
public:
    // Forks the guardian. Call before any thread exists (before the application object): the
    // child is single-threaded and never returns from here. nullptr when it could not start, with
    // one line on stderr saying so.
    static std::unique_ptr<Guardian> start();
    ~Guardian(); // goodbye()
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    // Hands the guardian a copy of `fd` and the exact bytes to write on it if the panel dies.
    // `serialLine` says whether the line is a tty (wait for its driver's output queue) or a
    // socket (wait for the peer to acknowledge). Replaces any line held before. False when the
    // message could not be sent, after goodbye(), for an invalid fd or an empty or oversized frame.
    bool hold(int fd, const std::string& frame, bool serialLine);
    // The guardian closes its copy of the line: nothing is written if the panel dies now. Call it
    // before closing the port, before a firmware hand-over and when force standby is switched off.
    bool release();
    // A clean exit: the guardian lets go of the line and ends without writing. Idempotent.
    void goodbye();
    pid_t pid() const { return pid_; }

    // Longer frames are refused; the force-standby frame is a handful of bytes, even escaped.
    static constexpr std::size_t maxFrame = 4096;

private:
    Guardian(int socket, pid_t pid) : socket_(socket), pid_(pid) {}
    bool send(unsigned char kind, int fd, const std::string& frame, bool serialLine);

    int socket_ = -1;
    pid_t pid_ = -1;
};

} // namespace tarn::guardian
