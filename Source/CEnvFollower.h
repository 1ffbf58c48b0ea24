#pragma once

#include <cmath>
#include <limits>

//==============================================================================
/** Per-channel envelope follower of the level meters: a fast attack (10 ms) and a
    slow release (1000 ms), all in single precision.

    Created and deleted on the message thread; only the audio thread updates it.
*/
struct CEnvFollower
{
    struct Coefficients
    {
        float attack;
        float release;
    };

    /** Coefficients for a sample rate: after one time constant a steady input leaves
        1 % of the starting distance. The constants and the order of the products are
        part of the meter's calibration; keep them as they are. */
    static Coefficients coefficientsFor (float sampleRate) noexcept
    {
        constexpr float lnOnePercent = -4.6051702f;
        constexpr float msToSeconds = 0.001f;
        return { std::exp (lnOnePercent / ((10.0f * sampleRate) * msToSeconds)),
                 std::exp (lnOnePercent / ((sampleRate * 1000.0f) * msToSeconds)) };
    }

    CEnvFollower() = default;
    explicit CEnvFollower (Coefficients c) noexcept : attack (c.attack), release (c.release) {}

    /** One sample's update of an envelope: the attack coefficient while the magnitude
        is above the envelope, the release coefficient otherwise. */
    static float step (float envelope, float x, float attack, float release) noexcept
    {
        const float a = std::abs (x);
        const float coefficient = a > envelope ? attack : release;
        return (envelope - a) * coefficient + a;
    }

    /** What an envelope is kept as. In silence the release shrinks it for ever, down into
        the subnormal range, where rounding then holds it; on many processors an update of
        a subnormal costs up to ten times a normal one, and not every thread that runs a
        follower flushes them. Below the smallest normal float it is silence: the meter's
        range ends far above, so no reading changes. */
    static float kept (float envelope) noexcept
    {
        return envelope < std::numeric_limits<float>::min() ? 0.0f : envelope;
    }

    /** Follows one sample and returns the new envelope. Audio thread. */
    float process (float x) noexcept
    {
        envelope = kept (step (envelope, x, attack, release));
        return envelope;
    }

    float envelope = 0.0f;
    float attack = 0.0f;
    float release = 0.0f;
};
