#pragma once

#include <cstdint>

// The test signal: every frame of every channel can be identified.
//
// Channel c at frame f carries the 16-bit code (step(c) * f + offset(c)) mod 65536. The
// step is odd, so it can be inverted modulo 65536: from one code the frame index modulo
// 65536 follows, and consecutive frames of one channel always differ by exactly step(c).
// A dropped, repeated or foreign frame breaks that rule.
//
// The sample is the middle of the code's 16-bit step, (code + 0.5) / 32768: the
// framework's writer scales by 2^31 - 1 and truncates to 16 or 24 bits, which lands on
// the code for 16 bits and on code * 256 + 127 or 128 for 24 bits, never on a neighbour.
namespace testsignal
{
    inline uint16_t step (int channel) noexcept      { return (uint16_t) (2 * channel + 1); }
    inline uint16_t offset (int channel) noexcept    { return (uint16_t) ((unsigned) channel * 7919u); }

    inline uint16_t code (int channel, uint32_t frame) noexcept
    {
        return (uint16_t) ((uint32_t) step (channel) * frame + offset (channel));
    }

    inline float codeToSample (uint16_t c) noexcept   { return ((float) (int16_t) c + 0.5f) / 32768.0f; }
    inline float sample (int channel, uint32_t frame) noexcept { return codeToSample (code (channel, frame)); }

    /** Multiplicative inverse of an odd number modulo 65536 (Newton's iteration). */
    inline uint16_t inverse (uint16_t odd) noexcept
    {
        uint32_t x = odd;
        for (int i = 0; i < 4; ++i)
            x = x * (2u - odd * x);
        return (uint16_t) x;
    }

    /** Frame index modulo 65536 that a code of the given channel stands for. */
    inline uint16_t frameOf (int channel, uint16_t c) noexcept
    {
        return (uint16_t) ((uint32_t) (uint16_t) (c - offset (channel)) * inverse (step (channel)));
    }
}
