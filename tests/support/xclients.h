#pragma once

// X clients run against a test's own X display (the DISPLAY in `env`).

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tarn::testing {

inline constexpr const char* MainTitle = "^  TARN VQ4400 Remote$";
inline constexpr const char* TinyTitle = "^ TARN VQ4400$";

// Runs `program` to its end; its standard output.
inline QString runX(const QProcessEnvironment& env, const char* program, const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The newest visible window whose title matches `title`, or "".
inline QString visibleWindow(const QProcessEnvironment& env, const char* title) {
    return runX(env, "xdotool", {"search", "--onlyvisible", "--name", title})
        .trimmed()
        .section('\n', -1);
}

} // namespace tarn::testing
