// The device's audio callback per channel-sample: metering only, on a signal, on silence
// from the start and on silence long after a signal (where the meters' envelopes have
// decayed to the bottom of the float range); and metering a signal while every channel
// feeds a take's writer (writers that discard, so that no disk is measured).
//
//   scripts/with-display.sh build/tests/velmora-xatoms build/bench/velmora_bench
#include "MainComponentTestAccess.h"

#include <benchmark/benchmark.h>

namespace
{
    enum class Input { signal, silence, silenceAfterSignal };

    void runCallback (benchmark::State& state, Input input, bool recording)
    {
        const auto channels = (int) state.range (0);
        const auto frames = (int) state.range (1);

        MainComponent mc;
        MainComponentTestAccess access (mc);
        access.buildStrip (channels, 48000.0);
        juce::BigInteger everyInput;
        everyInput.setRange (0, channels, true);
        access.player().routeInputs (everyInput, channels, frames);
        access.player().setSource (&mc);

        juce::AudioBuffer<float> block (channels, frames);
        juce::Random random (7);
        block.clear();

        for (int c = 0; c < channels && input != Input::silence; ++c)
            for (int i = 0; i < frames; ++i)
                block.setSample (c, i, random.nextFloat() * 2.0f - 1.0f);

        // The device's inputs are read, never cleared: the block stays what it is.
        const juce::AudioIODeviceCallbackContext context;
        const auto pass = [&] { access.player().audioDeviceIOCallbackWithContext (block.getArrayOfReadPointers(),
                                                                                 channels, nullptr, 0, frames, context); };

        if (input == Input::silenceAfterSignal)
        {
            // Peaks near full scale, then 30 s of silence: from there the envelopes take
            // about 19 s to fall below the smallest normal float.
            pass();
            block.clear();

            for (int f = 0; f < 30 * 48000; f += frames)
                pass();
        }

        if (recording)
            access.startTakeOnDiscardingWriters (24);

        int sinceDrain = 0;

        for (auto _ : state)
        {
            pass();

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

        access.player().setSource (nullptr);

        // Seconds of callback per channel-sample (printed with an SI prefix: 2.1n is 2.1 ns).
        state.counters["per_channel_sample"] = benchmark::Counter (
            (double) channels * frames,
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }

    void metering (benchmark::State& state, Input input)   { runCallback (state, input, false); }
    void recording (benchmark::State& state, Input input)  { runCallback (state, input, true); }

    void sizes (benchmark::internal::Benchmark* b)
    {
        for (int channels : { 2, 8, 64, 256 })
            for (int frames : { 64, 256, 1024 })
                b->Args ({ channels, frames });

        b->Unit (benchmark::kMicrosecond);
    }
}

BENCHMARK_CAPTURE (metering, signal, Input::signal)->Apply (sizes);
BENCHMARK_CAPTURE (metering, silence, Input::silence)->Apply (sizes);
BENCHMARK_CAPTURE (metering, silence_after_signal, Input::silenceAfterSignal)->Apply (sizes);
BENCHMARK_CAPTURE (recording, signal, Input::signal)->Apply (sizes);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
