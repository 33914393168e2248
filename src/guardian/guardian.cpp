#include "guardian/guardian.h"

#if defined(__unix__) || defined(__APPLE__)
#define TARN_GUARDIAN_FORKS 1
#endif

#ifdef TARN_GUARDIAN_FORKS
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <deque>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif
#endif

namespace tarn::guardian {

namespace {
enum Message : unsigned char { Hold = 1, Release = 2, Bye = 3 };
} // namespace

Guardian::~Guardian() {
    goodbye();
}

bool Guardian::hold(int fd, const std::string& frame, bool serialLine) {
    if (fd < 0 || frame.empty() || frame.size() > maxFrame)
        return false;
    return send(Hold, fd, frame, serialLine);
}

bool Guardian::release() {
    return send(Release, -1, {}, false);
}

#ifdef TARN_GUARDIAN_FORKS

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One message from the panel: this header, then `length` bytes of frame. Both ends run the same
// executable, so the header keeps the host's layout.
struct Header {
    std::uint8_t kind;
    std::uint8_t serialLine;
    std::uint16_t reserved;
    std::uint32_t length;
};

#ifdef MSG_NOSIGNAL
constexpr int noSignal = MSG_NOSIGNAL;
#else
constexpr int noSignal = 0; // SO_NOSIGPIPE on the socket does it instead
#endif

// write(2) rather than stdio: the child ends with _exit and flushes no buffer.
void say(const std::string& text) {
    const std::string line = "tarn-vq4400: " + text + "\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
}

struct Line {
    int fd = -1;
    std::string frame;
    bool serial = false;
};

void letGo(Line& line) {
    if (line.fd >= 0)
        ::close(line.fd);
    line = Line{};
}

// Closes the descriptors first..last (inclusive).
void closeRange(int first, int last) {
    if (first > last)
        return;
#if defined(__linux__) && defined(SYS_close_range)
    if (::syscall(SYS_close_range, unsigned(first), unsigned(last), 0u) == 0)
        return;
#endif
    // Kernels without close_range: one by one, up to a limit, as the maximum can be huge.
    const long open = ::sysconf(_SC_OPEN_MAX);
    const int cap = open > 0 && open < 65536 ? int(open) : 65536;
    for (int fd = first; fd <= last && fd < cap; ++fd)
        ::close(fd);
}

// A copy of any of the panel's descriptors would outlive the panel: files, the port itself, and
// above all the panel's end of the guardian's socket, whose close is how its death shows.
void closeAllBut(int keep) {
    const int low = std::min(keep, STDERR_FILENO);
    const int high = std::max(keep, STDERR_FILENO);
    closeRange(0, low - 1);
    closeRange(low + 1, high - 1);
    closeRange(high + 1, INT_MAX);
}

int msLeft(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    return int(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// Bytes written that have not left the machine yet; 0 when the system cannot tell.
int queued(const Line& line) {
    int bytes = 0;
    if (line.serial)
        return ::ioctl(line.fd, TIOCOUTQ, &bytes) == 0 ? bytes : 0;
#if defined(SIOCOUTQ)
    // On TCP this counts sent but unacknowledged bytes as well: at 0 the peer has the frame.
    return ::ioctl(line.fd, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
#elif defined(SO_NWRITE)
    socklen_t size = sizeof bytes;
    return ::getsockopt(line.fd, SOL_SOCKET, SO_NWRITE, &bytes, &size) == 0 ? bytes : 0;
#else
    return 0;
#endif
}

constexpr int stillQueued = -1;

// 0 when the frame left the machine, stillQueued when it was written but had not left in time,
// otherwise the errno that stopped the write.
int writeFrame(const Line& line) {
    // The file status flags are shared with the panel's descriptor, but the panel is gone.
    const int flags = ::fcntl(line.fd, F_GETFL);
    if (flags < 0 || ::fcntl(line.fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return errno;
    const auto writeUntil = Clock::now() + 2s;
    std::size_t done = 0;
    while (done < line.frame.size()) {
        const ssize_t n = ::write(line.fd, line.frame.data() + done, line.frame.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        const int left = msLeft(writeUntil);
        if (left == 0)
            return ETIMEDOUT;
        pollfd ready{line.fd, POLLOUT, 0};
        ::poll(&ready, 1, left);
    }
    // No event says an output queue ran empty, so it is asked again and again.
    const auto drainUntil = Clock::now() + 1s;
    while (queued(line) > 0) {
        if (Clock::now() >= drainUntil)
            return stillQueued;
        std::this_thread::sleep_for(5ms);
    }
    return 0;
}

void closeLine(Line& line, bool delivered) {
    if (line.serial) {
        // Closing a tty waits for its output up to the driver's closing wait, 30 s by default. A
        // frame that has not left in a second waits on flow control that may never open, and the
        // guardian must end in bounded time.
        if (!delivered)
            ::tcflush(line.fd, TCOFLUSH);
    } else {
        // Closing with unread input resets the connection, and a reset can throw away the frame
        // still on its way; a half close and an empty input queue end it in order. The input is
        // bounded in case the peer keeps talking.
        ::shutdown(line.fd, SHUT_WR);
        char sink[512];
        for (int i = 0; i < 256 && ::recv(line.fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
        }
    }
    letGo(line);
}

[[noreturn]] void panelEnded(Line& line) {
    if (line.fd < 0)
        ::_exit(0);
    const int result = writeFrame(line);
    closeLine(line, result == 0);
    const std::string lead = "the panel ended without its shutdown; the guardian ";
    if (result == 0)
        say(lead + "wrote force standby to the amplifier");
    else if (result == stillQueued)
        say(lead + "wrote force standby, but it had not left the machine after 1 s");
    else
        say(lead + "could not write force standby: " + std::strerror(result));
    ::_exit(result == 0 ? 0 : 1);
}

[[noreturn]] void runChild(int socket) {
    // Ctrl-C, Ctrl-\ and a closed terminal reach the whole process group; the guardian has to
    // outlive the panel long enough to act.
    for (const int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(sig, SIG_IGN);
    closeAllBut(socket);
#ifdef __linux__
    ::prctl(PR_SET_NAME, "tarn-guardian");
#endif
    Line line;
    std::string pending;    // a message whose end has not come yet
    std::deque<int> passed; // descriptors received, oldest first; each Hold takes one
    for (;;) {
        char chunk[1024];
        union {
            cmsghdr align;
            char bytes[CMSG_SPACE(sizeof(int) * 4)];
        } control{};
        iovec io{chunk, sizeof chunk};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control.bytes;
        message.msg_controllen = sizeof control.bytes;
        const ssize_t n = ::recvmsg(socket, &message, 0);
        if (n < 0 && errno == EINTR)
            continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            for (std::size_t i = 0; i < (c->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof fd, sizeof fd);
                passed.push_back(fd);
            }
        }
        // However the panel ends, its end of the socket closes; only a goodbye comes before.
        if (n <= 0)
            panelEnded(line);
        pending.append(chunk, std::size_t(n));
        Header header{};
        while (pending.size() >= sizeof header) {
            std::memcpy(&header, pending.data(), sizeof header);
            const std::size_t size = sizeof header + header.length;
            if (pending.size() < size)
                break;
            std::string frame = pending.substr(sizeof header, header.length);
            pending.erase(0, size);
            letGo(line); // every message lets go of the line held so far
            if (header.kind == Bye)
                ::_exit(0);
            if (header.kind == Hold && !passed.empty()) {
                line = Line{passed.front(), std::move(frame), header.serialLine != 0};
                passed.pop_front();
            }
            // The panel waits for this before it closes or reopens the line: a copy still held
            // here would keep a device busy or a connection up that the panel means to end.
            const char done = 'A';
            ::send(socket, &done, 1, noSignal);
        }
    }
}

} // namespace

std::unique_ptr<Guardian> Guardian::start() {
    int ends[2] = {-1, -1};
    // Close-on-exec keeps the panel's end out of any program the panel starts: a copy there would
    // hide the panel's death from the guardian.
#ifdef SOCK_CLOEXEC
    const int made = ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
#else
    const int made = ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends);
    if (made == 0) {
        ::fcntl(ends[0], F_SETFD, FD_CLOEXEC); // no thread exists yet to exec in between
        ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    }
#endif
    const pid_t pid = made == 0 ? ::fork() : -1;
    if (pid == 0)
        runChild(ends[1]);
    const int error = errno;
    if (made == 0)
        ::close(ends[1]);
    if (pid < 0) {
        if (made == 0)
            ::close(ends[0]);
        say(std::string("the guardian could not start (") + std::strerror(error) +
            "); if the panel crashes, the amplifier stays as it is");
        return nullptr;
    }
#if !defined(MSG_NOSIGNAL) && defined(SO_NOSIGPIPE)
    const int on = 1;
    ::setsockopt(ends[0], SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return std::unique_ptr<Guardian>(new Guardian(ends[0], pid));
}

bool Guardian::send(unsigned char kind, int fd, const std::string& frame, bool serialLine) {
    if (socket_ < 0)
        return false;
    const Header header{kind, std::uint8_t(serialLine), 0, std::uint32_t(frame.size())};
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes += frame;
    iovec io{bytes.data(), bytes.size()};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    union {
        cmsghdr align;
        char bytes[CMSG_SPACE(sizeof(int))];
    } control{};
    if (fd >= 0) {
        message.msg_control = control.bytes;
        message.msg_controllen = sizeof control.bytes;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        // A stream socket may take a message in parts; the descriptor rides with the first.
        const ssize_t n = done == 0
                              ? ::sendmsg(socket_, &message, noSignal)
                              : ::send(socket_, bytes.data() + done, bytes.size() - done, noSignal);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    if (kind == Bye)
        return true;
    // Bounded: a guardian that stopped answering must not hold the panel.
    pollfd answer{socket_, POLLIN, 0};
    char done_ = 0;
    return ::poll(&answer, 1, 200) > 0 && ::recv(socket_, &done_, 1, 0) == 1;
}

void Guardian::goodbye() {
    if (socket_ < 0)
        return;
    send(Bye, -1, {}, false);
    ::close(socket_);
    socket_ = -1;
    // Reaped here so that no zombie stays behind; bounded, since a stopped guardian never ends.
    const auto until = Clock::now() + 1s;
    while (::waitpid(pid_, nullptr, WNOHANG) == 0 && Clock::now() < until)
        std::this_thread::sleep_for(2ms);
}

#else // no fork: nothing guards the line

std::unique_ptr<Guardian> Guardian::start() {
    return nullptr;
}

bool Guardian::send(unsigned char, int, const std::string&, bool) {
    return false;
}

void Guardian::goodbye() {}

#endif

} // namespace tarn::guardian
