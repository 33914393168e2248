#include "guardian/guardian.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using tarn::guardian::Guardian;

namespace {
const std::string frame("\xFB\x03\x02\x05\xFE", 5);

struct Line {
    int peer = -1;  // the amplifier's side, read by the test
    int panel = -1; // handed to the guardian: a socket or a pty's slave
};

Line line(bool tty) {
    int ends[2] = {-1, -1};
    EXPECT_EQ(0, tty ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr)
                     : ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
    return {ends[0], ends[1]};
}

template <typename Done> bool eventually(Done done) {
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5); !done();
         ::usleep(5000))
        if (std::chrono::steady_clock::now() > until)
            return false;
    return true;
}

[[noreturn]] void playPanel(const std::string& steps, int signal, const std::vector<Line>& lines,
                            int test) {
    ::setpgid(0, 0);
    auto guardian = Guardian::start();
    const pid_t pid = guardian ? guardian->pid() : -1;
    bool ok = guardian && !guardian->hold(-1, frame, false) && !guardian->hold(test, "", false);
    for (const char step : steps) {
        if (step == 'g') {
            guardian->goodbye();
            int spare[2]; // takes the socket's number, which a released guardian must not use
            ok = ok && ::socketpair(AF_UNIX, SOCK_STREAM, 0, spare) == 0 && !guardian->release();
            guardian.reset();
        } else {
            const int l = lines[std::size_t(step - 'a') % lines.size()].panel;
            ok = ok && (step == 'r' ? guardian->release() : guardian->hold(l, frame, ::isatty(l)));
        }
    }
    char go = 0;
    if (::write(test, &pid, sizeof pid) != sizeof pid || ::read(test, &go, 1) != 1)
        ::_exit(3);
    std::signal(signal, SIG_DFL); // a test run in the background may inherit SIG_IGN
    if (signal != 0)
        signal == SIGKILL ? ::raise(signal) : ::kill(0, signal);
    ::_exit(ok ? 0 : 2);
}

// A stand-in panel process plays `steps` ('a', 'b' hold that line, 'r' releases, 'g' says goodbye)
// and, once the lines are seen quiet (a hold returns once the guardian has the line), ends by
// _exit or by `signal` to its group.
// Each line must then carry `expected`, and the guardian, inherited by this subreaper, must end.
void expectEnding(const std::string& steps, int signal, std::vector<Line> lines, int held,
                  const std::vector<std::string>& expected) {
    SCOPED_TRACE("steps " + steps + ", signal " + std::to_string(signal));
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    int talk[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, talk), 0);
    const pid_t panel = ::fork();
    if (panel == 0 && ::close(talk[0]) == 0)
        playPanel(steps, signal, lines, talk[1]);
    ::close(talk[1]);
    pid_t guardian = -1;
    EXPECT_EQ(::read(talk[0], &guardian, sizeof guardian), ssize_t(sizeof guardian));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        pollfd quiet{lines[i].peer, POLLIN, 0};
        EXPECT_EQ(::poll(&quiet, 1, 0), 0) << "written while the panel lived";
        // With a copy of a socket kept here, only the guardian's shutdown ends what the peer reads.
        if (int(i) != held || ::isatty(lines[i].panel))
            ::close(std::exchange(lines[i].panel, -1));
    }
    int status = -1;
    EXPECT_EQ(::write(talk[0], "x", 1), 1);
    ::waitpid(panel, &status, 0);
    EXPECT_EQ(status, signal); // 0 after _exit(0), the signal's number after a death by it
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string got;
        EXPECT_TRUE(eventually([&] {
            pollfd p{lines[i].peer, POLLIN, 0};
            char buf[256];
            const ssize_t n = ::poll(&p, 1, 10) > 0 ? ::read(p.fd, buf, sizeof buf) : -2;
            got.append(buf, std::size_t(std::max<ssize_t>(n, 0)));
            return n == 0 || n == -1; // EOF on a socket, EIO on a pty master: nobody holds it
        }));
        EXPECT_EQ(got, expected[i]) << "line " << i;
        ::close(lines[i].peer);
        ::close(lines[i].panel);
    }
    status = -1; // stays so when the panel reaped the guardian at goodbye
    EXPECT_TRUE(eventually([&] {
        return ::waitpid(guardian, &status, WNOHANG) == guardian ||
               (::kill(guardian, 0) != 0 && errno == ESRCH);
    })) << "the guardian still runs";
    EXPECT_EQ(status, steps.find('g') == std::string::npos ? 0 : -1);
    ::close(talk[0]);
}
} // namespace

TEST(Guardian, ThePanelDyingWithoutGoodbyeGetsTheFrameOnceOnTheLineHeldLastAndOnlyThen) {
    expectEnding("a", 0, {line(false)}, 0, {frame});      // _exit, as the display library does
    expectEnding("a", SIGKILL, {line(true)}, 0, {frame}); // on a serial line
    expectEnding("a", SIGINT, {line(false)}, 0, {frame}); // Ctrl-C reaches the guardian too
    expectEnding("ab", SIGKILL, {line(false), line(false)}, 1, {"", frame});
    // Goodbye or release leave the line untouched.
    expectEnding("ag", 0, {line(false)}, -1, {""});
    expectEnding("ar", SIGKILL, {line(true)}, -1, {""});
}
