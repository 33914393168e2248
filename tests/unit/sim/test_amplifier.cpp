#include "amplifier.h"

#include <gtest/gtest.h>

namespace tarn::sim {
namespace {

// Keys the amplifier in operate at t=0 and returns it.
Amplifier transmittingAmplifier(int gain = 4, int band = 5) {
    Amplifier amp(40'000, 0);
    while (amp.gain() < gain)
        amp.apply(Command::GainUp, 0);
    while (amp.gain() > gain)
        amp.apply(Command::GainDown, 0);
    while (amp.band() != band)
        amp.apply(Command::BandUp, 0);
    amp.apply(Command::ToggleOperate, 0);
    amp.setTransmitKey(true, 0);
    return amp;
}

TEST(Amplifier, OperateAutoBandAndSupplyCommands) {
    Amplifier amp;
    EXPECT_FALSE(amp.operate());
    EXPECT_TRUE(amp.apply(Command::ToggleOperate, 10));
    EXPECT_TRUE(amp.operate());
    EXPECT_EQ(amp.statusBody(0)[0], statusflag::Operate);
    amp.apply(Command::ToggleOperate, 20);
    EXPECT_FALSE(amp.operate());

    amp.apply(Command::AutoBand, 30);
    EXPECT_TRUE(amp.autoBand());
    EXPECT_EQ(amp.statusBody(0)[0], statusflag::AutoBand);
    amp.apply(Command::AutoBand, 40);
    EXPECT_FALSE(amp.autoBand());

    EXPECT_EQ(amp.statusBody(0)[4], 140); // 56.0 V
    amp.apply(Command::PaVoltageLow, 50);
    EXPECT_FALSE(amp.paHigh());
    EXPECT_EQ(amp.statusBody(0)[4], 120); // 48.0 V
    amp.apply(Command::PaVoltageHigh, 60);
    EXPECT_EQ(amp.statusBody(0)[4], 140);
}

TEST(Amplifier, GainIsClampedAndBandWrapsAndLeavesAutoBand) {
    Amplifier amp;
    for (int i = 0; i < 12; ++i)
        amp.apply(Command::GainUp, i);
    EXPECT_EQ(amp.gain(), Amplifier::MaxGain);
    for (int i = 0; i < 12; ++i)
        amp.apply(Command::GainDown, i);
    EXPECT_EQ(amp.gain(), 0);
    amp.apply(Command::GainUp, 20);
    EXPECT_EQ(amp.statusBody(0)[1] >> 4, 1);

    amp.apply(Command::AutoBand, 30);
    const int start = amp.band();
    amp.apply(Command::BandUp, 40);
    EXPECT_EQ(amp.band(), start + 1);
    EXPECT_FALSE(amp.autoBand());
    EXPECT_EQ(amp.statusBody(0)[1] & 0x0F, start + 1);

    while (amp.band() != Amplifier::MaxBand)
        amp.apply(Command::BandUp, 50);
    amp.apply(Command::BandUp, 60);
    EXPECT_EQ(amp.band(), Amplifier::MinBand);
    amp.apply(Command::BandDown, 70);
    EXPECT_EQ(amp.band(), Amplifier::MaxBand);
}

TEST(Amplifier, BandRelaysAreNotSwitchedUnderPower) {
    Amplifier amp = transmittingAmplifier();
    EXPECT_FALSE(amp.apply(Command::BandUp, 100));
    EXPECT_EQ(amp.band(), 5);
    amp.setTransmitKey(false, 200);
    EXPECT_TRUE(amp.apply(Command::BandUp, 300));
    EXPECT_EQ(amp.band(), 6);
}

TEST(Amplifier, ForceStandbyEndsTransmission) {
    Amplifier amp = transmittingAmplifier();
    EXPECT_TRUE(amp.transmitting());
    EXPECT_NE(amp.statusBody(0)[0] & statusflag::Transmitting, 0);
    amp.apply(Command::ForceStandby, 500);
    EXPECT_FALSE(amp.operate());
    EXPECT_FALSE(amp.transmitting());
    EXPECT_EQ(amp.statusBody(0)[0], 0);
    // Forcing standby again changes nothing.
    amp.apply(Command::ForceStandby, 600);
    EXPECT_FALSE(amp.operate());
}

TEST(Amplifier, TripHoldsStandbyUntilResetOrToggle) {
    Amplifier amp = transmittingAmplifier();
    amp.trip(100);
    EXPECT_TRUE(amp.tripped());
    EXPECT_FALSE(amp.operate());
    EXPECT_FALSE(amp.transmitting());
    EXPECT_EQ(amp.statusBody(0)[0], statusflag::ProtectionTripped);

    amp.reset(200);
    EXPECT_FALSE(amp.tripped());
    EXPECT_FALSE(amp.operate());

    amp.trip(300);
    amp.apply(Command::ToggleOperate, 400); // acknowledges the trip only
    EXPECT_FALSE(amp.tripped());
    EXPECT_FALSE(amp.operate());
    amp.apply(Command::ToggleOperate, 500);
    EXPECT_TRUE(amp.operate());
    EXPECT_TRUE(amp.transmitting());
}

TEST(Amplifier, BootloaderIsSilentForItsTimeThenStandby) {
    Amplifier amp(1000, 0);
    amp.apply(Command::ToggleOperate, 0);
    amp.trip(5);
    amp.apply(Command::ToggleOperate, 6);
    amp.apply(Command::ToggleOperate, 7);
    ASSERT_TRUE(amp.operate());
    amp.apply(Command::StartBootloader, 100);
    EXPECT_FALSE(amp.answering());
    EXPECT_FALSE(amp.operate());
    EXPECT_FALSE(amp.apply(Command::GainUp, 500));
    EXPECT_FALSE(amp.apply(Command::ToggleOperate, 1099));
    EXPECT_FALSE(amp.answering());
    EXPECT_EQ(amp.gain(), 4);

    EXPECT_TRUE(amp.apply(Command::Poll, 1100));
    EXPECT_TRUE(amp.answering());
    EXPECT_FALSE(amp.operate());

    Amplifier instant(0, 0);
    instant.apply(Command::StartBootloader, 10);
    EXPECT_TRUE(instant.answering());
}

TEST(Telemetry, StandbyShowsIdleValues) {
    Amplifier amp;
    amp.setTransmitKey(true, 0); // exciter keyed, amplifier bypassed
    amp.advanceTo(5000);
    const StatusBody body = amp.statusBody(0);
    EXPECT_EQ(body[0], 0);
    EXPECT_EQ(body[2], 0); // no forward, no reflected
    EXPECT_EQ(body[3], 0); // no SWR reading
    EXPECT_EQ(body[4], 140);
    EXPECT_EQ(body[5], int(Telemetry::StandbyCurrentA * 5));
    EXPECT_EQ(body[6], int(Telemetry::AmbientC));
}

TEST(Telemetry, OutputRampsUpOverAFewHundredMs) {
    Amplifier amp = transmittingAmplifier(4, 5);
    const double rated = Telemetry::ratedWatts(amp.telemetry().inputs());
    amp.advanceTo(50);
    double previous = amp.telemetry().forwardWatts();
    int previousCurrent = amp.statusBody(0)[5];
    EXPECT_GT(previous, 0.0);
    EXPECT_LT(previous, 0.6 * rated); // a ramp, not a step
    for (qint64 t = 70; t <= 300; t += 20) {
        amp.advanceTo(t);
        EXPECT_GT(amp.telemetry().forwardWatts(), previous) << "at " << t << " ms";
        EXPECT_GE(amp.statusBody(0)[5], previousCurrent) << "at " << t << " ms";
        previous = amp.telemetry().forwardWatts();
        previousCurrent = amp.statusBody(0)[5];
    }
    amp.advanceTo(1000);
    const StatusBody body = amp.statusBody(0);
    EXPECT_NEAR(amp.telemetry().forwardWatts(), rated, 0.02 * rated);
    EXPECT_EQ(body[2] & 0x0F, std::lround(14 * rated / Telemetry::FullScaleWatts));
    EXPECT_GT(body[2] >> 4, 0);
    EXPECT_EQ(body[3], std::lround(10 * Telemetry::antennaSwr(5)));
    EXPECT_GT(body[5], 20 * 5); // well above bias current
    EXPECT_LT(body[4], 140);    // the supply sags under load
    EXPECT_EQ(body[0], statusflag::Operate | statusflag::Transmitting);

    amp.setTransmitKey(false, 1000);
    amp.advanceTo(1500);
    EXPECT_EQ(amp.statusBody(0)[2], 0);
    EXPECT_EQ(amp.statusBody(0)[3], 0);
    EXPECT_EQ(amp.statusBody(0)[5], int(Telemetry::BiasCurrentA * 5));
}

TEST(Telemetry, OutputFollowsGainBandAndSupply) {
    auto settled = [](int gain, int band, bool low) {
        Amplifier amp = transmittingAmplifier(gain, band);
        if (low)
            amp.apply(Command::PaVoltageLow, 0);
        amp.advanceTo(2000);
        return amp.telemetry().forwardWatts();
    };
    EXPECT_LT(settled(2, 5, false), settled(6, 5, false));
    EXPECT_LT(settled(6, 10, false), settled(6, 5, false)); // 50 MHz gives less
    EXPECT_LT(settled(6, 5, true), settled(6, 5, false));
}

TEST(Telemetry, FullDriveOvershootsIntoOverRange) {
    Amplifier amp = transmittingAmplifier(8, 1);
    int peak = 0;
    for (qint64 t = 0; t <= 1000; t += 10) {
        amp.advanceTo(t);
        peak = std::max(peak, amp.statusBody(0)[2] & 0x0F);
    }
    EXPECT_EQ(peak, 15);
    amp.advanceTo(3000);
    EXPECT_EQ(amp.statusBody(0)[2] & 0x0F, 14);
}

TEST(Telemetry, TemperatureRisesSlowlyStaysBoundedAndCools) {
    Amplifier amp = transmittingAmplifier(8, 1);
    amp.advanceTo(1000);
    EXPECT_LE(amp.telemetry().temperatureC(), Telemetry::AmbientC + 1.0);
    amp.advanceTo(60'000);
    const double warm = amp.telemetry().temperatureC();
    EXPECT_GT(warm, Telemetry::AmbientC + 10.0);
    // An hour of key-down at full drive.
    for (qint64 t = 60'000; t <= 3'600'000; t += 60'000)
        amp.advanceTo(t);
    const double hot = amp.telemetry().temperatureC();
    EXPECT_GT(hot, warm);
    EXPECT_LE(hot, Telemetry::MaxTemperatureC);
    EXPECT_EQ(amp.statusBody(0)[6], std::lround(hot));

    amp.apply(Command::ToggleOperate, 3'600'000);
    amp.advanceTo(3'660'000);
    const double cooling = amp.telemetry().temperatureC();
    EXPECT_LT(cooling, hot);
    amp.advanceTo(10'000'000);
    EXPECT_GE(amp.telemetry().temperatureC(), Telemetry::AmbientC);
    EXPECT_LT(amp.telemetry().temperatureC(), Telemetry::AmbientC + 0.5);
}

} // namespace
} // namespace tarn::sim
