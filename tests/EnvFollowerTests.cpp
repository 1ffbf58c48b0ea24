#include "CEnvFollower.h"
#include "MainComponentTestAccess.h"

#include <gtest/gtest.h>

TEST (EnvelopeFollower, CoefficientsMatchTheCalibratedValues)
{
    const auto at48 = CEnvFollower::coefficientsFor (48000.0f);
    EXPECT_NEAR (at48.attack, 0.990452f, 1e-6f);
    EXPECT_NEAR (at48.release, 0.999904f, 1e-6f);

    const auto at441 = CEnvFollower::coefficientsFor (44100.0f);
    EXPECT_NEAR (at441.attack, 0.989612f, 1e-6f);
    EXPECT_NEAR (at441.release, 0.999896f, 1e-6f);

    // Single precision throughout, products in the calibrated order.
    EXPECT_EQ (at48.attack, std::exp (-4.6051702f / ((10.0f * 48000.0f) * 0.001f)));
    EXPECT_EQ (at48.release, std::exp (-4.6051702f / ((48000.0f * 1000.0f) * 0.001f)));
}

class EnvelopeTimeConstants : public ::testing::TestWithParam<float> {};

TEST_P (EnvelopeTimeConstants, AttackReachesNinetyNinePercentInTenMilliseconds)
{
    const float rate = GetParam();
    CEnvFollower follower (CEnvFollower::coefficientsFor (rate));
    const float m = 0.7f;
    const int samples = (int) std::lround (0.010 * rate);

    for (int i = 0; i < samples; ++i)
        follower.process (i % 2 == 0 ? m : -m);

    EXPECT_NEAR (follower.envelope, 0.99f * m, 0.0005f);
}

TEST_P (EnvelopeTimeConstants, ReleaseLeavesOnePercentAfterOneSecond)
{
    const float rate = GetParam();
    CEnvFollower follower (CEnvFollower::coefficientsFor (rate));
    follower.envelope = 0.8f;

    for (int i = 0; i < (int) rate; ++i)
        follower.process (0.0f);

    EXPECT_NEAR (follower.envelope, 0.01f * 0.8f, 0.0002f);
}

INSTANTIATE_TEST_SUITE_P (Rates, EnvelopeTimeConstants, ::testing::Values (44100.0f, 48000.0f));

TEST (EnvelopeFollower, FollowsMagnitudeAndHoldsOnEqualInput)
{
    const auto c = CEnvFollower::coefficientsFor (48000.0f);
    CEnvFollower positive (c), negative (c);

    for (int i = 0; i < 100; ++i)
        EXPECT_EQ (positive.process (0.5f), negative.process (-0.5f));

    CEnvFollower held (c);
    held.envelope = 0.25f;
    EXPECT_EQ (held.process (0.25f), 0.25f);
    EXPECT_EQ (held.process (-0.25f), 0.25f);

    // Rising input takes the attack coefficient, falling input the release one.
    CEnvFollower rising (c);
    const float afterRise = (0.0f - 1.0f) * c.attack + 1.0f;
    EXPECT_EQ (rising.process (1.0f), afterRise);
    EXPECT_EQ (rising.process (0.0f), (afterRise - 0.0f) * c.release + 0.0f);
}

// A full-scale burst, then 30 s of silence at 48 kHz: the meter reads as it did at every
// sample, whether a follower or the device callback updates the envelope, and no subnormal stays.
TEST (EnvelopeFollower, SilenceAfterASignalKeepsNoSubnormal)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (1, 48000.0);
    access.player().routeInputs (1, 1, 1);
    access.player().setSource (&mc);
    const auto c = CEnvFollower::coefficientsFor (48000.0f);
    CEnvFollower follower (c);
    vuMeter2 meter;
    const auto shown = [&meter] (float v) { meter.setLevel (v); return meter.level; };
    float old = 0.0f, x = 1.0f, *input = &x;

    for (int i = 0; i < 4800 + 30 * 48000; x = ++i < 4800 ? 1.0f : 0.0f)
    {
        old = (old - x) * (x > old ? c.attack : c.release) + x;
        access.player().audioDeviceIOCallbackWithContext (&input, 1, nullptr, 0, 1, {});
        ASSERT_TRUE (shown (old) == shown (follower.process (x)) && shown (old) == shown (access.meterLevels()[0]->load())) << i;
    }

    access.player().setSource (nullptr);
    EXPECT_EQ (std::fpclassify (old), FP_SUBNORMAL) << "the old arithmetic ends on a subnormal";
    EXPECT_TRUE (std::fpclassify (follower.envelope) != FP_SUBNORMAL && std::fpclassify (access.envFollowers()[0]->envelope) != FP_SUBNORMAL);
}
