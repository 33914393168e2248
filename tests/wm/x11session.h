#pragma once

// A private X server (Xvfb, on a display number it picks itself) with openbox managing it, and
// the panel executable run on it from a folder of its own. Windows are found and driven with
// xdotool and measured with xwininfo and xprop, as an operator's desktop would see them.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>
#include <optional>

namespace tarn::testing {

// Polls `condition` until it holds or `timeoutMs` has passed; a loaded machine gets time.
inline bool pollUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        // Other children (the simulator's log) keep being read meanwhile.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(30);
    }
    return true;
}

// A top-level window as the X server and the window manager see it.
struct X11Window {
    bool viewable = false;
    QRect client;        // in root coordinates
    QRect frame;         // the client grown by _NET_FRAME_EXTENTS
    bool framed = false; // the window manager has reported the frame
    QStringList states;  // _NET_WM_STATE
};

class X11Session {
public:
    static QStringList missingTools() {
        QStringList missing;
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwininfo", "xprop"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                missing << QString::fromLatin1(tool);
        return missing;
    }

    X11Session() {
        // -displayfd 1: the server takes a free display number and prints it on stdout.
        xvfb_.start(QStringLiteral("Xvfb"),
                    {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!pollUntil(
                [this] {
                    xvfb_.waitForReadyRead(100);
                    number_ += QString::fromLatin1(xvfb_.readAllStandardOutput());
                    return number_.contains(QLatin1Char('\n'));
                },
                20000))
            return;
        display_ = QLatin1Char(':') + number_.trimmed();
        openbox_.setProcessEnvironment(environment());
        openbox_.start(QStringLiteral("openbox"), {"--sm-disable"});
        ready_ = pollUntil([this] {
            return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
        });
    }
    ~X11Session() {
        for (QProcess* p : {&openbox_, &xvfb_}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    }
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    bool ready() const { return ready_; }
    QString display() const { return display_; }

    QProcessEnvironment environment() const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Runs an X client to its end and returns its standard output.
    QString run(const char* program, const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QString::fromLatin1(program), args);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished(2000);
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    void xdotool(const QStringList& args) const { run("xdotool", args); }

    // The visible top-level windows whose title matches `title` (a regular expression), newest
    // last. The server is the test's own, so every window on it is the panel's.
    QStringList windows(const QString& title) const {
        return run("xdotool", {"search", "--onlyvisible", "--name", title})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    X11Window window(const QString& id) const {
        X11Window w;
        const QString info = run("xwininfo", {"-id", id});
        const auto number = [&](const char* label) {
            const QRegularExpression rx(QString::fromLatin1(label) +
                                        QStringLiteral(":\\s+(-?\\d+)"));
            return rx.match(info).captured(1).toInt();
        };
        w.viewable = info.contains(QLatin1String("IsViewable"));
        w.client = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"),
                         number("Width"), number("Height"));
        const QString props = run("xprop", {"-id", id, "_NET_FRAME_EXTENTS", "_NET_WM_STATE"});
        const QRegularExpression extents(
            QStringLiteral("_NET_FRAME_EXTENTS\\(CARDINAL\\) = (\\d+), (\\d+), (\\d+), (\\d+)"));
        const auto m = extents.match(props);
        w.frame = w.client;
        if (m.hasMatch()) {
            w.framed = true;
            w.frame = w.client.adjusted(-m.captured(1).toInt(), -m.captured(3).toInt(),
                                        m.captured(2).toInt(), m.captured(4).toInt());
        }
        const QRegularExpression state(QStringLiteral("_NET_WM_STATE\\(ATOM\\) = (.*)"));
        w.states = state.match(props).captured(1).split(QStringLiteral(", "), Qt::SkipEmptyParts);
        return w;
    }

    // The window's place and size once the window manager has framed it and it has stopped
    // moving: the same geometry in two looks a little apart.
    std::optional<X11Window> settled(const QString& id) const {
        std::optional<X11Window> last;
        std::optional<X11Window> result;
        pollUntil([&] {
            const X11Window now = window(id);
            const bool same = last && now.viewable && now.framed && now.frame == last->frame &&
                              now.client == last->client;
            last = now;
            if (same)
                result = now;
            QThread::msleep(150);
            return same;
        });
        return result;
    }

private:
    QProcess xvfb_;
    QProcess openbox_;
    QString number_;
    QString display_;
    bool ready_ = false;
};

// The panel executable in a folder of its own, with its INI file beside it, on the session.
class PanelOnX11 {
public:
    PanelOnX11(const X11Session& x, const QString& folder) : x_(x), folder_(folder) {
        QFile::remove(exe());
        QFile::copy(QStringLiteral(TARN_APP_PATH), exe());
        QFile::setPermissions(exe(), QFile::permissions(QStringLiteral(TARN_APP_PATH)));
    }
    ~PanelOnX11() { stop(); }
    PanelOnX11(const PanelOnX11&) = delete;
    PanelOnX11& operator=(const PanelOnX11&) = delete;

    QString exe() const { return folder_ + QStringLiteral("/tarn-vq4400"); }
    QString iniPath() const { return folder_ + QStringLiteral("/tarn-vq4400.ini"); }
    void writeIni(const QByteArray& text) const {
        QFile f(iniPath());
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
    // The value of `key` in `section` as the file holds it, blanks kept.
    QString iniValue(const QString& section, const QString& key) const {
        QFile f(iniPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        bool inSection = false;
        for (const QString& line : QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'))) {
            const QString t = line.trimmed();
            if (t.startsWith(QLatin1Char('[')))
                inSection = t.compare(QLatin1Char('[') + section + QLatin1Char(']'),
                                      Qt::CaseInsensitive) == 0;
            else if (inSection && t.section(QLatin1Char('='), 0, 0) == key)
                return line.section(QLatin1Char('='), 1).remove(QLatin1Char('\r'));
        }
        return {};
    }

    // Starts the panel and waits for its main window to be framed and still.
    std::optional<X11Window> start() {
        auto env = x_.environment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_ + QStringLiteral("/config"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(exe(), {});
        if (!process_.waitForStarted(10000))
            return std::nullopt;
        if (!pollUntil([this] { return !mainId().isEmpty(); }))
            return std::nullopt;
        return x_.settled(mainId());
    }
    // SIGTERM: the panel's own shutdown, save included.
    bool stop() {
        if (process_.state() == QProcess::NotRunning)
            return true;
        process_.terminate();
        if (process_.waitForFinished(20000))
            return process_.exitStatus() == QProcess::NormalExit;
        process_.kill();
        process_.waitForFinished(3000);
        return false;
    }

    qint64 pid() const { return process_.processId(); }
    QString mainId() const {
        const QStringList ids = x_.windows(QStringLiteral("^  TARN VQ4400 Remote$"));
        return ids.isEmpty() ? QString() : ids.last();
    }
    QString tinyId() const {
        const QStringList ids = x_.windows(QStringLiteral("^ TARN VQ4400$"));
        return ids.isEmpty() ? QString() : ids.last();
    }

    // Chooses the `item`-th entry (separators not counted) of the `menu`-th menu of the
    // menu bar with the keyboard, as an operator without a mouse would: Alt, arrows, Return.
    // Returns when `done` holds; tries again if a key got lost on the way.
    bool chooseMenuItem(int menu, int item, const std::function<bool()>& done) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const QString main = mainId();
            if (main.isEmpty())
                return false;
            x_.xdotool({"windowactivate", "--sync", main});
            x_.xdotool({"key", "--clearmodifiers", "alt"});
            QStringList keys = {"key", "--delay", "60"};
            for (int i = 0; i < menu; ++i)
                keys << "Right";
            keys << "Down";
            for (int i = 0; i < item; ++i)
                keys << "Down";
            keys << "Return";
            x_.xdotool(keys);
            if (pollUntil(done, 8000))
                return true;
            x_.xdotool({"key", "Escape", "Escape", "Escape"});
        }
        return false;
    }

private:
    const X11Session& x_;
    QString folder_;
    QProcess process_;
};

} // namespace tarn::testing
