// Prints what decoding one status frame costs, with the test space hidden and shown.
#include "protocol/decoder.h"
#include "protocol/hexecho.h"
#include "protocol/status.h"

#include <QElapsedTimer>
#include <cstdio>

using namespace tarn::protocol;

namespace {
template <typename F> double nsPerCall(int rounds, F&& f) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        f(i);
    return double(t.nsecsElapsed()) / rounds;
}
volatile int sink = 0;
} // namespace

int main() {
    const QByteArray frame = QByteArray::fromHex("FB4032250F8C782300FE");
    const QByteArray escaped = QByteArray::fromHex("FB40FFEB250F8C7823FFEEFE");
    constexpr int rounds = 2'000'000;
    RxBytes rx;
    QString echo;

    const double hidden = nsPerCall(
        rounds, [&](int) { sink = sink + int(Decode_Response(frame, rx, nullptr).kind); });
    const double hiddenEscaped = nsPerCall(
        rounds, [&](int) { sink = sink + int(Decode_Response(escaped, rx, nullptr).kind); });
    const double shown =
        nsPerCall(rounds, [&](int) { sink = sink + int(Decode_Response(frame, rx, &echo).kind); });
    const double fields =
        nsPerCall(rounds / 4, [&](int) { sink = sink + statusFields(rx, QLocale::c()).Fwd_Level; });
    QString raw;
    const double rawEcho = nsPerCall(rounds / 4, [&](int) {
        appendRawEcho(raw, frame, RawEchoLimit);
        sink = sink + int(raw.size());
    });

    std::printf("decoder, status frame, test space hidden:  %8.1f ns\n", hidden);
    std::printf("decoder, escaped status frame, hidden:     %8.1f ns\n", hiddenEscaped);
    std::printf("decoder, status frame, test space shown:   %8.1f ns\n", shown);
    std::printf("status fields from the slots (all texts):  %8.1f ns\n", fields);
    std::printf("raw test-space echo of one frame:          %8.1f ns\n", rawEcho);
    return 0;
}
