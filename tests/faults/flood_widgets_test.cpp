// The real windows, polling every 10 ms with the test space open, while another thread pours
// bytes into the line as fast as the pseudo-terminal takes them: megabytes of random bytes,
// of 0xFF, and frames of every length from 0 to 64 body bytes. The window must keep
// repainting and its timers firing, the panel must keep polling, the test-space boxes must
// stay within what they show, and once the flood is over a good frame is drawn as usual.

#include "protocol/hexecho.h"
#include "support/pty.h"
#include "support/windowrig.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace tarn;
using namespace tarn::testing;

namespace {

const QByteArray statusFrame = QByteArray::fromHex("FB4032250F8C782300FE");
// Each flood lasts at least this long, however fast the line takes it.
constexpr int FloodMs = 1500;

// A pseudo-terminal whose far end this test writes from a thread of its own, without
// blocking, so the flood can always be stopped.
class FloodLine {
public:
    FloodLine() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        path_ = QString::fromLocal8Bit(::ptsname(master_));
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    ~FloodLine() {
        stop();
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }
    FloodLine(const FloodLine&) = delete;
    FloodLine& operator=(const FloodLine&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    QString path() const { return path_; }

    // Starts writing `bytes` as fast as the line takes them, over and over until at least
    // `minMs` have passed, and all of them at least once.
    void start(QByteArray bytes, int minMs) {
        stop();
        done_ = false;
        stopping_ = false;
        sent_ = 0;
        writer_ = std::thread([this, bytes = std::move(bytes), minMs] {
            QElapsedTimer clock;
            clock.start();
            qint64 sent = 0;
            while ((sent < bytes.size() || clock.elapsed() < minMs) && !stopping_) {
                pollfd p{master_, POLLOUT, 0};
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                const qsizetype at = sent % bytes.size();
                const auto n = ::write(master_, bytes.constData() + at,
                                       size_t(std::min<qsizetype>(bytes.size() - at, 65536)));
                if (n > 0)
                    sent += n;
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    break;
            }
            sent_ = sent;
            done_ = true;
        });
    }
    qint64 sent() const { return sent_; }
    bool done() const { return done_; }
    void stop() {
        stopping_ = true;
        if (writer_.joinable())
            writer_.join();
    }
    // What the panel wrote since the last call.
    QByteArray drain() {
        QByteArray out;
        char buf[4096];
        for (;;) {
            const auto n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        return out;
    }
    bool send(const QByteArray& bytes) {
        return ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
    std::thread writer_;
    std::atomic<bool> done_{true};
    std::atomic<bool> stopping_{false};
    std::atomic<qint64> sent_{0};
};

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out)
        c = char(random.bounded(256));
    return out;
}

// Start byte, 0 to 64 body bytes, end byte, over and over.
QByteArray framesOfEveryLength(qsizetype size) {
    QRandomGenerator random(64);
    QByteArray out;
    for (int length = 0; out.size() < size; length = (length + 1) % 65) {
        out.append('\xFB');
        for (int i = 0; i < length; ++i)
            out.append(char(random.bounded(256)));
        out.append('\xFE');
    }
    return out;
}

// Counts paint events of one widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

TEST(FloodAgainstWindows, WindowKeepsRepaintingAndPollingWhileBytesPourIn) {
    FloodLine line;
    ASSERT_TRUE(line.ok());
    WindowRig rig;
    ASSERT_TRUE(rig.startOn(line.path(), 10));
    rig.panel.menuShow_test_space_Click();
    auto* rawBox = rig.main.findChild<QPlainTextEdit*>("Text_HDLC_Packet");
    ASSERT_TRUE(rawBox);
    PaintCounter painted;
    rawBox->viewport()->installEventFilter(&painted);

    struct Flood {
        const char* name;
        QByteArray bytes;
    };
    const Flood floods[] = {
        {"random bytes", randomBytes(4 << 20, 1)},
        {"0xFF only", QByteArray(2 << 20, '\xFF')},
        {"frames with 0 to 64 body bytes", framesOfEveryLength(1 << 20)},
    };
    for (const Flood& flood : floods) {
        SCOPED_TRACE(flood.name);
        line.drain();
        const int paintsBefore = painted.paints;
        int polls = 0;
        int timersFired = 0;
        qint64 longestTimerWaitMs = 0;
        qsizetype longestRaw = 0;
        qsizetype longestDecoded = 0;
        // A 20 ms single-shot timer, re-armed every time it fires, stands in for everything
        // else the window has to do while the bytes pour in.
        QTimer ticker;
        ticker.setSingleShot(true);
        ticker.setInterval(20);
        QElapsedTimer armed;
        QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
            ++timersFired;
            longestTimerWaitMs = std::max(longestTimerWaitMs, armed.elapsed());
            armed.start();
            ticker.start();
        });
        armed.start();
        ticker.start();
        QElapsedTimer clock;
        clock.start();
        line.start(flood.bytes, FloodMs);
        const bool finished = waitUntil(
            [&] {
                polls += int(line.drain().count(rig.state.frames.Cmd_Poll));
                longestRaw = std::max(longestRaw, rig.state.hdlcEcho.size());
                longestDecoded = std::max(longestDecoded, rig.state.decodedEcho.size());
                return line.done();
            },
            60000);
        const qint64 floodMs = clock.elapsed();
        line.stop();
        ticker.stop();
        EXPECT_TRUE(finished) << "the flood was not taken in a minute";
        EXPECT_LT(longestTimerWaitMs, 1000) << "a 20 ms timer waited that long";
        EXPECT_GE(timersFired, int(floodMs / 200)) << "timers starved during the flood";
        EXPECT_GT(painted.paints, paintsBefore) << "no repaint during the flood";
        // Bytes that never make a frame answer no poll: the panel keeps asking, at its slower
        // pace for an unanswered line.
        EXPECT_GE(polls, 1) << "the panel stopped polling during the flood";
        EXPECT_LE(longestRaw, protocol::RawEchoLimit);
        EXPECT_LE(longestDecoded, protocol::DecodedEchoLimit);
        std::printf("flood: %s, %.1f MB poured in over %lld ms; %d polls sent meanwhile, %d "
                    "timers fired (longest wait %lld ms), %d repaints of the raw box\n",
                    flood.name, double(line.sent()) / (1 << 20), floodMs, polls, timersFired,
                    longestTimerWaitMs, painted.paints - paintsBefore);

        // Once the panel has taken the last of the flood (a tick reads nothing), the next good
        // answer is drawn as usual, and the silence after it is reported as usual.
        ASSERT_TRUE(waitUntil([&] { return rig.state.Received_Chunk.isEmpty(); }, 5000));
        line.drain();
        ASSERT_TRUE(line.send(statusFrame));
        EXPECT_TRUE(waitUntil(
            [&] {
                return caption(rig.main, "Label_No_Communication").isEmpty() &&
                       caption(rig.main, "Label_SWR_txt") == "SWR" &&
                       caption(rig.main, "Label_Band").startsWith("3.5");
            },
            3000));
        EXPECT_TRUE(waitUntil(
            [&] { return caption(rig.main, "Label_No_Communication") == "No Communication"; },
            3000));
    }
    EXPECT_TRUE(rig.op.messages.isEmpty());
    rig.panel.shutdownPort();
}
