// A 128-channel Stop on real files, and what closing them with a sync and a checked close
// adds to it: the take's own streams against the same bytes closed as the framework's
// file stream closes them, without a sync. Half a second of 24-bit audio a channel.
//
//   scripts/with-display.sh build/tests/velmora-xatoms build/bench/velmora_bench --benchmark_filter='stop|closing'
//
// The files go to the system's temporary folder; TMPDIR picks another disk.
#include "MainComponentTestAccess.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

namespace
{
    constexpr int channels = 128, frames = 256, blocks = 94;

    juce::File emptyFolder()
    {
        const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("velmora-stop-bench");
        folder.deleteRecursively();
        folder.createDirectory();
        return folder;
    }

    void stop (benchmark::State& state)
    {
        MainComponent mc;
        MainComponentTestAccess access (mc);
        access.buildStrip (channels, 48000.0);

        juce::AudioBuffer<float> block (channels, frames);
        juce::Random random (7);

        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < frames; ++i)
                block.setSample (c, i, random.nextFloat() - 0.5f);

        for (auto _ : state)
        {
            state.PauseTiming();
            const auto folder = emptyFolder();
            access.startTakeInFolder (24, folder);

            for (int b = 0; b < blocks; ++b)
                mc.getNextAudioBlock (juce::AudioSourceChannelInfo (&block, 0, frames));

            state.ResumeTiming();
            mc.buttonClicked (&access.stopButton());

            while (access.writersBusy() != 0)
                std::this_thread::sleep_for (std::chrono::microseconds (100));
        }

        if (access.diskWriteError())
            state.SkipWithError ("the disk failed");
    }

    void closing (benchmark::State& state)
    {
        const auto synced = state.range (0) != 0;
        const std::vector<char> bytes ((size_t) frames * blocks * 3);
        std::atomic<int> failures { 0 };

        for (auto _ : state)
        {
            state.PauseTiming();
            const auto folder = emptyFolder();
            std::vector<std::unique_ptr<juce::OutputStream>> files;

            for (int c = 0; c < channels; ++c)
            {
                const auto file = folder.getChildFile ("Track" + juce::String (c + 1) + ".wav");

                if (synced)
                    files.push_back (std::make_unique<TakeFiles::WatchedFileStream> (file, [&failures] { ++failures; }));
                else
                    files.push_back (std::make_unique<juce::FileOutputStream> (file));

                files.back()->write (bytes.data(), bytes.size());
            }

            state.ResumeTiming();
            files.clear();
        }

        if (failures > 0)
            state.SkipWithError ("the disk failed");
    }
}

BENCHMARK (stop)->Unit (benchmark::kMillisecond)->Iterations (20)->UseRealTime();
BENCHMARK (closing)->ArgName ("synced")->Arg (0)->Arg (1)->Unit (benchmark::kMillisecond)->Iterations (20)->UseRealTime();
