#include "JackTest.h"
#include "WavChecker.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <gtest/gtest.h>

namespace
{
    /** Keeps every input channel's samples from the 20th callback on, until full.
        Preallocated: the audio thread only copies. */
    class Capture : public juce::AudioIODeviceCallback
    {
    public:
        Capture (int channels, int frames) : data ((size_t) channels, std::vector<float> ((size_t) frames)) {}

        void audioDeviceIOCallbackWithContext (const float* const* in, int numIn, float* const*, int, int numSamples,
                                               const juce::AudioIODeviceCallbackContext&) override
        {
            // The first blocks can arrive before the ports are connected.
            if (++callbacks <= 20)
                return;

            const auto have = filled.load();
            const auto n = std::min ((size_t) numSamples, data[0].size() - have);

            for (int c = 0; c < std::min (numIn, (int) data.size()); ++c)
                std::copy (in[c], in[c] + n, data[(size_t) c].begin() + (long) have);

            filled.store (have + n);
        }

        void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
        void audioDeviceStopped() override {}

        bool isFull() const { return filled.load() == data[0].size(); }

        std::vector<std::vector<float>> data;
        std::atomic<size_t> filled { 0 };
        int callbacks = 0;
    };

    using JackHarness = JackTest;

    juce::AudioIODeviceType* jackType (juce::AudioDeviceManager& manager)
    {
        for (auto* type : manager.getAvailableDeviceTypes())
            if (type->getTypeName() == "JACK")
                return type;

        return nullptr;
    }
}

TEST_F (JackHarness, SignalClientIsListedAsAnInputDevice)
{
    testjack::SignalSource source ("velmora-signal", 8);
    ASSERT_TRUE (source.isRunning());

    juce::AudioDeviceManager manager;
    auto* type = jackType (manager);
    ASSERT_NE (type, nullptr);
    type->scanForDevices();

    EXPECT_EQ (type->getDeviceNames (true), juce::StringArray ("velmora-signal"));
}

class JackHarnessChannels : public JackHarness, public ::testing::WithParamInterface<int> {};

TEST_P (JackHarnessChannels, DeviceManagerReceivesEveryFrameOfEveryChannel)
{
    const int channels = GetParam();
    testjack::SignalSource source ("velmora-signal", channels);
    ASSERT_TRUE (source.isRunning());

    juce::AudioDeviceManager manager;
    ASSERT_NE (jackType (manager), nullptr);
    manager.setCurrentAudioDeviceType ("JACK", true);
    jackType (manager)->scanForDevices();

    auto setup = manager.getAudioDeviceSetup();
    setup.inputDeviceName = "velmora-signal";
    setup.outputDeviceName = "";
    setup.useDefaultInputChannels = false;
    setup.inputChannels.clear();
    setup.inputChannels.setRange (0, channels, true);
    setup.useDefaultOutputChannels = false;
    setup.outputChannels.clear();
    ASSERT_EQ (manager.setAudioDeviceSetup (setup, true), "");

    auto* device = manager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getInputChannelNames().size(), channels);
    EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);

    Capture capture (channels, 48000);
    manager.addAudioCallback (&capture);

    for (int i = 0; i < 500 * testjack::slowdown && ! capture.isFull(); ++i)
        juce::Thread::sleep (10);

    // Frames of a cycle that the (non-realtime) server skipped were never delivered; the
    // device counts such cycles, and only a capture without one must be exact.
    const auto skipped = device->getXRunCount();
    manager.removeAudioCallback (&capture);
    ASSERT_TRUE (capture.isFull());
    if (skipped > 0)
        std::printf ("WARNING: the server skipped %d cycles of the capture\n", skipped);

    for (int c = 0; c < channels; ++c)
    {
        std::vector<uint16_t> codes;
        for (auto s : capture.data[(size_t) c])
            codes.push_back (wavcheck::codeFromFloat (s));

        const auto report = wavcheck::checkCodes (codes, c);
        if (testjack::framesAreExact && skipped == 0)
        {
            EXPECT_EQ (report.numDiscontinuities, 0u) << "channel " << c;
        }
        EXPECT_EQ (report.detectedChannel, c);
    }
}

INSTANTIATE_TEST_SUITE_P (Counts, JackHarnessChannels, ::testing::Values (8, 24));
