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

            // The cycles the server skipped while the capture ran excuse its gaps.
            if (n > 0)
                (have == 0 ? xrunsAtStart : xrunsAtEnd) = device.load()->getXRunCount();

            for (int c = 0; c < std::min (numIn, (int) data.size()); ++c)
                std::copy (in[c], in[c] + n, data[(size_t) c].begin() + (long) have);

            filled.store (have + n);
        }

        void audioDeviceAboutToStart (juce::AudioIODevice* d) override { device = d; }
        void audioDeviceStopped() override {}

        bool isFull() const { return filled.load() == data[0].size(); }

        std::vector<std::vector<float>> data;
        std::atomic<size_t> filled { 0 };
        std::atomic<juce::AudioIODevice*> device { nullptr };
        std::atomic<int> xrunsAtStart { 0 }, xrunsAtEnd { 0 };
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

    // The device reads its connections before the server has made them all; the message
    // loop brings the rest, as it does in the program.
    for (int i = 0; i < 500 && device->getActiveInputChannels().countNumberOfSetBits() < channels; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);

    Capture capture (channels, 48000);
    manager.addAudioCallback (&capture);

    for (int i = 0; i < 500 * testjack::slowdown && ! capture.isFull(); ++i)
        juce::Thread::sleep (10);

    manager.removeAudioCallback (&capture);
    ASSERT_TRUE (capture.isFull());

    // Every channel of one callback is a file of one take, for the gap rule.
    std::vector<wavcheck::SignalReport> take;
    for (int c = 0; c < channels; ++c)
    {
        std::vector<uint16_t> codes;
        for (auto s : capture.data[(size_t) c])
            codes.push_back (wavcheck::codeFromFloat (s));

        take.push_back (wavcheck::checkCodes (codes, c));
        EXPECT_EQ (take.back().detectedChannel, c);
    }

    for (int c = 0; c < channels && testjack::framesAreExact; ++c)
    {
        const auto verdict = wavcheck::judgeGaps (take[(size_t) c], take, device->getCurrentBufferSizeSamples(),
                                                  capture.xrunsAtEnd - capture.xrunsAtStart);
        EXPECT_TRUE (verdict.excused) << "channel " << c << ": " << verdict.reason;
    }
}

INSTANTIATE_TEST_SUITE_P (Counts, JackHarnessChannels, ::testing::Values (8, 24));
