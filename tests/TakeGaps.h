#pragma once

#include "JackServer.h"
#include "MainComponent.h"
#include "TestSignal.h"
#include "WavChecker.h"

#include <gtest/gtest.h>

/** Judges the gaps of a recorder's last take by the rule of WavChecker.h. The cycles that
    the server skipped are counted on the audio thread, beside the recorder's callback,
    from Record to Stop only: the device's count of the server's xruns, and the cycles
    whose input (channel 0) does not follow on the cycle before. A gap needs both, so the
    smaller one is what excuses gaps. */
class TakeGaps : private juce::AudioIODeviceCallback
{
public:
    ~TakeGaps() override { detach(); }

    void attach (MainComponent& recorder, juce::AudioDeviceManager& manager)
    {
        detach();
        mc = &recorder;
        devices = &manager;
        wasRecording = false;
        manager.addAudioCallback (this);
    }

    /** Before the recorder goes; what was counted stays. */
    void detach()
    {
        if (devices != nullptr)
            devices->removeAudioCallback (this);

        devices = nullptr;
    }

    /** A file of the last take has no gap but those the rule excuses, and unless the take
        was cut, the first frame and the length of the other files of its folder. */
    void expectNoGapOfOurs (const juce::File& file, const wavcheck::SignalReport& report, const juce::String& what,
                            wavcheck::TakeEnd end = wavcheck::TakeEnd::normal)
    {
        if (testjack::framesAreExact)
        {
            const auto verdict = wavcheck::judgeGaps (report, filesOf (file), period,
                                                      std::min (xrunsAtStop - xrunsAtRecord, inputBreaks.load()), end);
            EXPECT_TRUE (verdict.excused) << what << "\n" << verdict.reason;
        }
    }

    /** For a take across which the device restarted its callback (a connection change):
        a cycle that comes during a restart reaches no callback, though the server counts
        none, so every break in the device's own input excuses a gap. */
    void expectOnlyGapsTheDeviceMade (const wavcheck::SignalReport& report, const std::vector<wavcheck::SignalReport>& files,
                                      const juce::String& what)
    {
        if (testjack::framesAreExact)
        {
            const auto verdict = wavcheck::judgeGaps (report, files, period, inputBreaks);
            EXPECT_TRUE (verdict.excused) << what << "\n" << verdict.reason;
        }
    }

private:
    /** The take's files (those of the checked file's folder) are read once per take. */
    const std::vector<wavcheck::SignalReport>& filesOf (const juce::File& file)
    {
        const auto folder = file.getParentDirectory().getFullPathName().toStdString();

        if (folder != takeFolder || takes != takeRead)
        {
            take = wavcheck::checkTake (folder);
            takeFolder = folder;
            takeRead = takes;
        }

        return take;
    }

    void audioDeviceAboutToStart (juce::AudioIODevice* d) override
    {
        device = d;
        period = d->getCurrentBufferSizeSamples();
    }

    void audioDeviceStopped() override {}

    void audioDeviceIOCallbackWithContext (const float* const* in, int numIn, float* const*, int, int n,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        const bool recording = mc->isRecording.load();
        const auto xruns = device.load()->getXRunCount();
        const auto first = numIn > 0 && n > 0 ? frameAt (in[0][0]) : nextFrame;

        if (recording && ! wasRecording)
        {
            xrunsAtRecord = xruns;
            inputBreaks = 0;
            ++takes;
        }
        else if (recording && first != nextFrame)
        {
            ++inputBreaks;
        }

        // The server's notice of a skipped cycle comes a little after the cycle.
        if (recording || framesSinceStop < 4800)
            xrunsAtStop = xruns;

        framesSinceStop = recording ? 0 : framesSinceStop + n;
        wasRecording = recording;
        nextFrame = numIn > 0 && n > 0 ? (uint16_t) (frameAt (in[0][n - 1]) + 1) : nextFrame;
    }

    static uint16_t frameAt (float sample)   { return testsignal::frameOf (0, wavcheck::codeFromFloat (sample)); }

    MainComponent* mc = nullptr;
    juce::AudioDeviceManager* devices = nullptr;
    std::atomic<juce::AudioIODevice*> device { nullptr };
    std::atomic<int> period { 0 }, takes { 0 }, xrunsAtRecord { 0 }, xrunsAtStop { 0 }, inputBreaks { 0 };
    bool wasRecording = false;
    int framesSinceStop = 0;
    uint16_t nextFrame = 0;

    std::vector<wavcheck::SignalReport> take;
    std::string takeFolder;
    int takeRead = -1;
};
