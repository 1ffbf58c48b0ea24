// The audio callback per channel-sample: metering only, and metering while every channel
// feeds a take's writer (writers that discard, so that no disk is measured).
//
//   scripts/with-display.sh build/tests/velmora-xatoms build/bench/velmora_bench
#include "MainComponentTestAccess.h"

#include <benchmark/benchmark.h>

namespace
{
    void runCallback (benchmark::State& state, bool recording)
    {
        const auto channels = (int) state.range (0);
        const auto frames = (int) state.range (1);

        MainComponent mc;
        MainComponentTestAccess access (mc);
        access.buildStrip (channels, 48000.0);

        if (recording)
            access.startTakeOnDiscardingWriters (24);

        juce::AudioBuffer<float> block (channels, frames);
        juce::Random random (7);

        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frames; ++i)
                block.setSample (c, i, random.nextFloat() * 2.0f - 1.0f);

        const juce::AudioSourceChannelInfo info (&block, 0, frames);
        int sinceDrain = 0;

        for (auto _ : state)
        {
            // The callback clears its block, as the device expects; the samples it reads
            // are the same zeros or signal either way, so the cost does not depend on it.
            mc.getNextAudioBlock (info);

            // Give the feed's and the writers' threads time to empty their buffers now and
            // then, outside the timing, so that a take never fills the feed's one second.
            if (recording && (sinceDrain += frames) >= 24000)
            {
                state.PauseTiming();
                juce::Thread::sleep (50);
                sinceDrain = 0;
                state.ResumeTiming();
            }
        }

        if (recording && ! mc.isRecording)
            state.SkipWithError ("the feed or a writer buffer filled up");

        // Seconds of callback per channel-sample (printed with an SI prefix: 2.1n is 2.1 ns).
        state.counters["per_channel_sample"] = benchmark::Counter (
            (double) channels * frames,
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }

    void metering (benchmark::State& state)   { runCallback (state, false); }
    void recording (benchmark::State& state)  { runCallback (state, true); }

    void sizes (benchmark::internal::Benchmark* b)
    {
        for (int channels : { 2, 8, 64, 256 })
            for (int frames : { 64, 256, 1024 })
                b->Args ({ channels, frames });

        b->Unit (benchmark::kMicrosecond);
    }
}

BENCHMARK (metering)->Apply (sizes);
BENCHMARK (recording)->Apply (sizes);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
