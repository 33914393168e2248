#include "control.h"
#include "options.h"

#include <gtest/gtest.h>

namespace tarn::sim {
namespace {

SimOptions parsed(const QStringList& args) {
    const auto result = parseOptions(args);
    EXPECT_TRUE(result.options) << result.error.toStdString();
    return result.options.value_or(SimOptions{});
}

TEST(Options, DefaultsAndValues) {
    const SimOptions d = parsed({});
    EXPECT_FALSE(d.tcp);
    EXPECT_EQ(d.firmware, QByteArray("1.27 "));
    EXPECT_EQ(d.bootloaderMs, 40'000);
    EXPECT_EQ(d.splitMs, 60);

    const SimOptions o = parsed({"--tcp", "0", "--bind=::1", "--firmware", "2.1", "--tx-cycle",
                                 "800", "--fault", "split", "--fault=trip", "--seed", "99",
                                 "--random-faults", "--log", "--bootloader-ms", "250"});
    EXPECT_TRUE(o.tcp);
    EXPECT_EQ(o.tcpPort, 0);
    EXPECT_EQ(o.bindAddress, QStringLiteral("::1"));
    EXPECT_EQ(o.firmware, QByteArray("2.1  "));
    EXPECT_EQ(o.txCycleMs, 800);
    EXPECT_EQ(o.faults, (std::vector<FaultMode>{FaultMode::Split, FaultMode::Trip}));
    EXPECT_EQ(o.seed, 99u);
    EXPECT_TRUE(o.randomFaults && o.log);
    EXPECT_EQ(o.bootloaderMs, 250);
    EXPECT_EQ(parsed({"--link", "/tmp/amp"}).linkPath, QStringLiteral("/tmp/amp"));
}

TEST(Options, RejectsWhatCannotWork) {
    const QStringList bad[] = {
        {"--tcp"},
        {"--tcp", "70000"},
        {"--firmware", "1.27.3"},                    // longer than the report's five characters
        {"--firmware", QStringLiteral("1.2\u00fe")}, // would put a frame byte on the line
        {"--fault", "drop"},
        {"--tcp", "4000", "--link", "/tmp/x"},
        {"--bind", "127.0.0.1"},
        {"--tx-cycle", "0"},
        {"--tx=1"},
        {"--frobnicate"},
    };
    for (const auto& args : bad) {
        const auto result = parseOptions(args);
        EXPECT_FALSE(result.options) << args.join(' ').toStdString();
        EXPECT_FALSE(result.error.isEmpty());
    }
}

TEST(ControlLine, ParsesEveryCommand) {
    using Kind = ControlCommand::Kind;
    auto command = [](const char* line) {
        const auto p = parseControlLine(QString::fromLatin1(line));
        EXPECT_TRUE(p.command) << line << ": " << p.error.toStdString();
        return p.command.value_or(ControlCommand{});
    };
    EXPECT_EQ(command("silence on").kind, Kind::Silence);
    EXPECT_TRUE(command("  garbage   on ").on);
    EXPECT_FALSE(command("split off").on);
    EXPECT_EQ(command("double on").kind, Kind::Double);
    EXPECT_EQ(command("trip").kind, Kind::Trip);
    EXPECT_EQ(command("reset").kind, Kind::Reset);
    EXPECT_EQ(command("drop 1500").ms, 1500);
    EXPECT_TRUE(command("tx on").on);
    EXPECT_EQ(command("tx cycle 400").ms, 400);
    EXPECT_EQ(command("STATUS").kind, Kind::Status);
    EXPECT_EQ(command("quit").kind, Kind::Quit);

    EXPECT_TRUE(parseControlLine(u"   ").blank);
    for (const char* wrong : {"silence", "split maybe", "drop", "drop -5", "drop soon",
                              "tx cycle 0", "trip now", "launch"}) {
        const auto p = parseControlLine(QString::fromLatin1(wrong));
        EXPECT_FALSE(p.command) << wrong;
        EXPECT_FALSE(p.error.isEmpty()) << wrong;
    }
}

} // namespace
} // namespace tarn::sim
