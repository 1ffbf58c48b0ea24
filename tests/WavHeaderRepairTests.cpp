#include "MainComponent.h"
#include "TestSignal.h"
#include "WavChecker.h"

#include <gtest/gtest.h>

namespace
{
    juce::File writeTake (const juce::File& file, int bits, int frames)
    {
        file.deleteFile();
        auto stream = std::make_unique<juce::FileOutputStream> (file);
        std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (
            stream.get(), 48000.0, juce::AudioChannelSet::mono(), bits, {}, 0));

        if (writer == nullptr)
        {
            ADD_FAILURE() << "no WAV writer for " << file.getFullPathName();
            return file;
        }

        stream.release();
        juce::AudioBuffer<float> buffer (1, frames);

        for (int i = 0; i < frames; ++i)
            buffer.setSample (0, i, testsignal::sample (2, (uint32_t) i));

        writer->writeFromAudioSampleBuffer (buffer, 0, frames);
        return file;
    }

    wavcheck::WavFile read (const juce::File& f)   { return wavcheck::readWav (f.getFullPathName().toStdString()); }
}

TEST (WavHeaderRepair, HeaderCountingLostBytesIsFittedToTheWholeFramesOnDisk)
{
    const auto dir = juce::File::createTempFile ("velmora-repair");
    dir.createDirectory();
    const auto file = writeTake (dir.getChildFile ("Track03.wav"), 24, 48000);

    // What a full disk leaves: the last 32 KB never arrived, the cut falls inside a frame.
    const auto cut = file.getSize() - 32768 + 1;
    {
        juce::FileOutputStream out (file);
        out.setPosition (cut);
        out.truncate();
    }
    ASSERT_FALSE (read (file).headerMatchesFile);

    ASSERT_TRUE (TakeFiles::fitWavHeaderToData (file));

    const auto wav = read (file);
    const auto report = wavcheck::checkWav (wav, 2);
    EXPECT_TRUE (wav.headerMatchesFile) << wavcheck::describe (wav, report);
    EXPECT_EQ (wav.declaredDataBytes % 3, 0u);
    EXPECT_EQ (wav.numFrames, (uint64_t) (48000 * 3 - 32767) / 3) << wavcheck::describe (wav, report);
    EXPECT_EQ (report.numDiscontinuities, 0u);

    std::unique_ptr<juce::AudioFormatReader> reader (juce::WavAudioFormat().createReaderFor (new juce::FileInputStream (file), true));
    ASSERT_NE (reader, nullptr) << "the framework reads it back";
    EXPECT_EQ (reader->lengthInSamples, (juce::int64) wav.numFrames);

    dir.deleteRecursively();
}

TEST (WavHeaderRepair, CompleteFilesStayAsTheyAreAndOtherFilesAreRefused)
{
    const auto dir = juce::File::createTempFile ("velmora-repair");
    dir.createDirectory();
    const auto file = writeTake (dir.getChildFile ("Track01.wav"), 16, 4800);
    juce::MemoryBlock before;
    file.loadFileAsData (before);

    EXPECT_TRUE (TakeFiles::fitWavHeaderToData (file));
    juce::MemoryBlock after;
    file.loadFileAsData (after);
    EXPECT_EQ (before, after);

    const auto text = dir.getChildFile ("notes.wav");
    text.replaceWithText ("not a wave file at all");
    EXPECT_FALSE (TakeFiles::fitWavHeaderToData (text));
    EXPECT_EQ (text.loadFileAsString(), "not a wave file at all");
    EXPECT_FALSE (TakeFiles::fitWavHeaderToData (dir.getChildFile ("missing.wav")));

    dir.deleteRecursively();
}
