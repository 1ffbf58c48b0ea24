// Judging every file of a long take, as velmora-wavcheck --take does, against reading the
// same files once. The take is four minutes of 256 channels at 24 bits (8.8 GB), written
// once into the system's temporary folder (TMPDIR picks another disk) and removed at the
// end; both figures are read from the page cache when the machine has the memory for it.
//
//   scripts/with-display.sh build/tests/velmora-xatoms build/bench/velmora_bench --benchmark_filter=take
#include "TestSignal.h"
#include "WavChecker.h"

#include <juce_core/juce_core.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>

namespace
{
    constexpr int channels = 256, seconds = 240, rate = 48000;

    juce::File takeFolder() { return juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("velmora-take-bench"); }

    void put (std::vector<char>& bytes, const char* text)  { bytes.insert (bytes.end(), text, text + 4); }
    void put (std::vector<char>& bytes, uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes.push_back ((char) (value >> (8 * i)));
    }

    /** A mono 24-bit file of the test signal, each sample in the middle of its code's step
        as the recorder's writer puts it. */
    void writeTrack (const juce::File& file, int channel, uint32_t frames)
    {
        std::vector<char> bytes;
        bytes.reserve (44 + (size_t) frames * 3);
        put (bytes, "RIFF"); put (bytes, 36 + frames * 3, 4); put (bytes, "WAVE");
        put (bytes, "fmt "); put (bytes, 16, 4); put (bytes, 1, 2); put (bytes, 1, 2);
        put (bytes, (uint32_t) rate, 4); put (bytes, (uint32_t) rate * 3, 4); put (bytes, 3, 2); put (bytes, 24, 2);
        put (bytes, "data"); put (bytes, frames * 3, 4);

        for (uint32_t f = 0; f < frames; ++f)
            put (bytes, (uint32_t) testsignal::code (channel, f) << 8 | 0x80, 3);

        std::ofstream (file.getFullPathName().toStdString(), std::ios::binary).write (bytes.data(), (std::streamsize) bytes.size());
    }

    void writeTakeOnce()
    {
        // Constructed only when a take is asked for: the take goes when the benchmarks end.
        static const struct RemoveAtExit { ~RemoveAtExit() { takeFolder().deleteRecursively(); } } removeAtExit;
        const auto folder = takeFolder();

        if (folder.getNumberOfChildFiles (juce::File::findFiles, "*.wav") == channels)
            return;

        folder.deleteRecursively();
        folder.createDirectory();

        for (int c = 0; c < channels; ++c)
            writeTrack (folder.getChildFile ("Track" + juce::String (c + 1).paddedLeft ('0', 2) + ".wav"), c, (uint32_t) (seconds * rate));
    }

    void judgeTake (benchmark::State& state)
    {
        writeTakeOnce();
        int refused = 0;

        for (auto _ : state)
        {
            const auto verdicts = wavcheck::judgeTake (wavcheck::readTake (takeFolder().getFullPathName().toStdString()), { 24, rate });
            refused = (int) std::count_if (verdicts.begin(), verdicts.end(), [] (auto& v) { return ! v.ok; });
        }

        if (refused != 0)
            state.SkipWithError ("files of a whole take were refused");
    }

    void readTakeOnce (benchmark::State& state)
    {
        writeTakeOnce();
        std::vector<char> buffer (1 << 22);

        for (auto _ : state)
            for (auto& file : takeFolder().findChildFiles (juce::File::findFiles, false, "*.wav"))
            {
                std::ifstream in (file.getFullPathName().toStdString(), std::ios::binary);

                while (in.read (buffer.data(), (std::streamsize) buffer.size()) || in.gcount() > 0)
                    benchmark::DoNotOptimize (buffer.data());
            }
    }
}

BENCHMARK (readTakeOnce)->Name ("take/read_once")->Unit (benchmark::kSecond)->Iterations (2)->UseRealTime();
BENCHMARK (judgeTake)->Name ("take/judge_every_file")->Unit (benchmark::kSecond)->Iterations (2)->UseRealTime();
