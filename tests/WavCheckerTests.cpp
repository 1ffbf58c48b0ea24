#include "TestSignal.h"
#include "WavChecker.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <gtest/gtest.h>

namespace
{
    /** Writes a file through the framework's WAV writer, mono as the recorder writes it
        unless more channels are asked for: channel k of the file then holds input
        channel `channel + k`, as a single-file recorder would. */
    juce::File writeSignal (const juce::File& file, int bits, int channel, const std::vector<uint32_t>& frames,
                            int channelsInFile = 1)
    {
        file.deleteFile();
        auto stream = std::make_unique<juce::FileOutputStream> (file);
        std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (
            stream.get(), 48000.0, juce::AudioChannelSet::discreteChannels (channelsInFile), bits, {}, 0));
        EXPECT_NE (writer, nullptr);

        if (writer == nullptr)
            return file;

        stream.release();

        juce::AudioBuffer<float> buffer (channelsInFile, (int) frames.size());
        for (int k = 0; k < channelsInFile; ++k)
            for (size_t i = 0; i < frames.size(); ++i)
                buffer.setSample (k, (int) i, testsignal::sample (channel + k, frames[i]));

        writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples());
        return file;
    }

    std::vector<uint32_t> run (uint32_t first, uint32_t count)
    {
        std::vector<uint32_t> frames (count);
        for (uint32_t i = 0; i < count; ++i)
            frames[i] = first + i;
        return frames;
    }

    struct TempDir
    {
        juce::File dir = juce::File::createTempFile ("velmora-wav");
        TempDir()  { dir.createDirectory(); }
        ~TempDir() { dir.deleteRecursively(); }
    };
}

TEST (TestSignal, CodesInvertToFrameIndicesForEveryChannel)
{
    for (int c : { 0, 1, 7, 99, 1023, 4095 })
        for (uint32_t f : { 0u, 1u, 65535u, 65536u, 123456789u })
        {
            EXPECT_EQ (testsignal::frameOf (c, testsignal::code (c, f)), (uint16_t) f);
            EXPECT_EQ (wavcheck::codeFromFloat (testsignal::sample (c, f)), testsignal::code (c, f));
        }
}

class WavCheckerFormats : public ::testing::TestWithParam<int> {};

TEST_P (WavCheckerFormats, ReadsTheFrameworkWriterAndFindsAContinuousSignal)
{
    TempDir tmp;
    const int bits = GetParam();
    const auto file = writeSignal (tmp.dir.getChildFile ("Track05.wav"), bits, 4, run (70000, 50000));

    const auto wav = wavcheck::readWav (file.getFullPathName().toStdString());
    ASSERT_TRUE (wav.readable) << wav.error;
    EXPECT_TRUE (wav.isPcm);
    EXPECT_EQ (wav.numChannels, 1);
    EXPECT_EQ (wav.sampleRate, 48000u);
    EXPECT_EQ (wav.bitsPerSample, bits);
    EXPECT_EQ (wav.numFrames, 50000u);
    EXPECT_TRUE (wav.headerMatchesFile);

    const auto report = wavcheck::checkWav (wav, 4);
    EXPECT_EQ (report.numDiscontinuities, 0u) << wavcheck::describe (wav, report);
    EXPECT_EQ (report.detectedChannel, 4);

    EXPECT_GT (wavcheck::checkWav (wav, 5).numDiscontinuities, 0u) << "the wrong channel never passes";
}

INSTANTIATE_TEST_SUITE_P (Bits, WavCheckerFormats, ::testing::Values (16, 24));

TEST (WavChecker, ReadsOneChannelOfAMultichannelFile)
{
    TempDir tmp;
    const auto file = writeSignal (tmp.dir.getChildFile ("all.wav"), 24, 10, run (0, 20000), 3);
    const auto path = file.getFullPathName().toStdString();

    for (int k = 0; k < 3; ++k)
    {
        const auto wav = wavcheck::readWav (path, k);
        ASSERT_TRUE (wav.readable) << wav.error;
        EXPECT_EQ (wav.numChannels, 3);
        EXPECT_EQ (wav.numFrames, 20000u);
        const auto report = wavcheck::checkWav (wav, 10 + k);
        EXPECT_EQ (report.numDiscontinuities, 0u) << "channel " << k << ": " << wavcheck::describe (wav, report);
        EXPECT_EQ (report.detectedChannel, 10 + k);
    }

    EXPECT_FALSE (wavcheck::readWav (path, 3).readable) << "a channel the file does not have";
    EXPECT_FALSE (wavcheck::readWav (path, -1).readable);
}

TEST (WavChecker, ReportsDroppedRepeatedAndForeignFrames)
{
    auto frames = run (0, 1000);
    frames.erase (frames.begin() + 500, frames.begin() + 756);   // a lost period of 256 frames
    auto report = wavcheck::checkCodes ([&] { std::vector<uint16_t> c; for (auto f : frames) c.push_back (testsignal::code (3, f)); return c; }(), 3);
    ASSERT_EQ (report.numDiscontinuities, 1u);
    EXPECT_EQ (report.first[0].index, 500u);
    EXPECT_EQ (report.first[0].framesSkipped, 256);

    frames = run (0, 1000);
    const std::vector<uint32_t> period (frames.begin() + 344, frames.begin() + 600);
    frames.insert (frames.begin() + 600, period.begin(), period.end());   // a period played twice
    std::vector<uint16_t> codes;
    for (auto f : frames) codes.push_back (testsignal::code (3, f));
    report = wavcheck::checkCodes (codes, 3);
    ASSERT_EQ (report.numDiscontinuities, 1u);
    EXPECT_EQ (report.first[0].framesSkipped, -256);

    codes.clear();
    for (auto f : run (0, 1000)) codes.push_back (testsignal::code (3, f));
    for (int i = 100; i < 110; ++i) codes[(size_t) i] = testsignal::code (4, (uint32_t) i);   // another channel's frames
    report = wavcheck::checkCodes (codes, 3);
    EXPECT_GE (report.numDiscontinuities, 10u);
    EXPECT_EQ (report.detectedChannel, 3);
}

TEST (WavChecker, FlagsSamplesThatAreNotOnTheSignalGrid)
{
    std::vector<int32_t> samples;
    for (uint32_t f = 0; f < 100; ++f)
        samples.push_back ((int16_t) testsignal::code (2, f) * 256 + 128);

    samples[50] += 2;   // a 24-bit sample that no code produces
    uint64_t corrupt = 0;
    wavcheck::codesFromSamples (samples, 24, &corrupt);
    EXPECT_EQ (corrupt, 1u);
}

TEST (WavChecker, NoticesAHeaderThatDoesNotCoverTheAudio)
{
    TempDir tmp;
    const auto file = writeSignal (tmp.dir.getChildFile ("Track01.wav"), 16, 0, run (0, 4800));

    {   // what a killed recorder leaves: the data chunk still claims 0 bytes
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        const auto* begin = static_cast<const char*> (bytes.getData());
        const auto at = std::search (begin, begin + bytes.getSize(), "data", "data" + 4) - begin;
        ASSERT_LT ((size_t) at, bytes.getSize());
        juce::FileOutputStream out (file);
        out.setPosition (at + 4);
        out.writeInt (0);
    }

    const auto wav = wavcheck::readWav (file.getFullPathName().toStdString());
    ASSERT_TRUE (wav.readable);
    EXPECT_FALSE (wav.headerMatchesFile);
    EXPECT_EQ (wav.availableDataBytes, 9600u);

    EXPECT_FALSE (wavcheck::readWav (tmp.dir.getChildFile ("missing.wav").getFullPathName().toStdString()).readable);
}

TEST (WavChecker, GapsAreExcusedOnlyAsCyclesTheServerSkippedForTheWholeTake)
{
    // Frames of a take from frame `at` on, moved by `jump`: a gap, or a repeat when negative.
    auto moved = [] (int at, int jump) { auto f = run (0, 4000); for (auto i = (size_t) at; i < f.size(); ++i) f[i] += (uint32_t) jump; return f; };
    auto file = [] (int channel, const std::vector<uint32_t>& frames)
    {
        std::vector<uint16_t> codes;
        for (auto f : frames) codes.push_back (testsignal::code (channel, f));
        return wavcheck::checkCodes (codes, channel);
    };
    const auto held = moved (1000, 15 * 256);   // one hold of the recorder: 15 periods, one gap
    const std::vector<wavcheck::SignalReport> take { file (0, held), file (1, held), file (2, held) };

    EXPECT_TRUE (wavcheck::judgeGaps (take[0], take, 256, 1).excused) << "gaps are counted, not periods";
    EXPECT_TRUE (wavcheck::judgeGaps (file (0, run (0, 4000)), {}, 256, 0).excused) << "no gap";
    EXPECT_FALSE (wavcheck::judgeGaps (take[0], take, 256, 0).excused) << "no cycle skipped";
    EXPECT_FALSE (wavcheck::judgeGaps (take[0], { take[0], file (1, run (0, 4000)) }, 256, 1).excused) << "in one file";
    EXPECT_FALSE (wavcheck::judgeGaps (take[0], { take[0], file (1, moved (1256, 15 * 256)) }, 256, 1).excused) << "elsewhere";

    // One callback feeds every file from the take's first frame to its last.
    const auto whole = file (0, run (0, 4000)), shorter = file (1, run (0, 3744)), later = file (1, run (256, 4000));
    EXPECT_TRUE (wavcheck::judgeGaps (whole, { whole }, 256, 0).excused) << "a take of one file";
    EXPECT_FALSE (wavcheck::judgeGaps (shorter, { whole, shorter }, 256, 0).excused) << "no tail";
    EXPECT_FALSE (wavcheck::judgeGaps (later, { whole, later }, 256, 0).excused) << "no head";
    EXPECT_TRUE (wavcheck::judgeGaps (shorter, { whole, shorter }, 256, 0, wavcheck::TakeEnd::cut).excused) << "cut";

    for (auto jump : { 255, -256 })
    {
        const auto odd = file (0, moved (1000, jump));
        EXPECT_FALSE (wavcheck::judgeGaps (odd, { odd }, 256, 1).excused) << jump;
    }

    auto twice = moved (3000, 256);
    for (auto i = (size_t) 1000; i < twice.size(); ++i) twice[i] += 256;
    EXPECT_FALSE (wavcheck::judgeGaps (file (0, twice), { file (0, twice) }, 256, 1).excused) << "two gaps, one cycle";

    auto corrupt = take[0];
    ++corrupt.corruptSamples;
    EXPECT_FALSE (wavcheck::judgeGaps (corrupt, take, 256, 1).excused);
}

TEST (WavChecker, AWholeTakeIsJudgedFromOneReadOfEachFile)
{
    TempDir tmp;
    auto verdicts = [&tmp]   // per file in name order: the channel its name gives, and whether it passes
    {
        const auto take = wavcheck::readTake (tmp.dir.getFullPathName().toStdString());
        const auto judged = wavcheck::judgeTake (take, { 24, 48000 });
        std::vector<std::pair<int, bool>> result;

        for (size_t i = 0; i < take.size(); ++i)
            result.emplace_back (take[i].channel, judged[i].ok);

        return result;
    };

    writeSignal (tmp.dir.getChildFile ("Track01.wav"), 24, 0, run (100, 4000));
    writeSignal (tmp.dir.getChildFile ("Track10.wav"), 24, 9, run (100, 4000));
    EXPECT_EQ (verdicts(), (std::vector<std::pair<int, bool>> { { 0, true }, { 9, true } }));

    writeSignal (tmp.dir.getChildFile ("Track02.wav"), 24, 1, run (356, 3744));   // lacks its head
    EXPECT_FALSE (verdicts()[1].second);
}
