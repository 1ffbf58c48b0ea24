#pragma once

#include "MainComponent.h"

#include <map>
#include <stdexcept>
#include <string>

/** A writer whose every write waits at a gate, so that a clean-up finalising it waits
    too; it counts its deletion when given a counter. Given a failure report, its first
    write past the gate fails with it, as a stuck disk write that times out at last. */
class GatedWriter : public juce::AudioFormatWriter
{
public:
    explicit GatedWriter (juce::WaitableEvent& g, std::atomic<int>* deletions = nullptr, std::function<void()> failure = {})
        : juce::AudioFormatWriter (nullptr, "gated", 48000.0, 1, 16), gate (g), deleted (deletions), fail (std::move (failure)) {}

    ~GatedWriter() override
    {
        if (deleted != nullptr)
            ++*deleted;
    }

    bool write (const int**, int) override
    {
        gate.wait (-1);

        if (fail == nullptr)
            return true;

        std::exchange (fail, nullptr)();
        return false;
    }

private:
    juce::WaitableEvent& gate;
    std::atomic<int>* deleted;
    std::function<void()> fail;
};

/** The tests' view of the main component's private members (a friend of the class). */
struct MainComponentTestAccess
{
    explicit MainComponentTestAccess (MainComponent& m) : mc (m) {}

    juce::ComboBox& deviceCombo()         { return mc.deviceCombo; }
    juce::ComboBox& sampleRateCombo()     { return mc.sampleRateCombo; }
    juce::ComboBox& bitsCombo()           { return mc.bitsCombo; }
    juce::TextButton& recordButton()      { return mc.recordButton; }
    juce::TextButton& stopButton()        { return mc.stopButton; }
    juce::TextEditor& prefixEditor()      { return mc.prefixEditor; }
    juce::TextEditor& folderEditor()      { return mc.folderEditor; }
    CheckBox& checkAllBox()               { return *mc.checkAllBox; }
    juce::OwnedArray<CheckBox>& channelBoxes()  { return mc.channelBoxes; }
    juce::OwnedArray<vuMeter2>& vuMeters()      { return mc.vuMeters; }
    juce::OwnedArray<std::atomic<float>>& meterLevels() { return mc.meterLevels; }
    juce::OwnedArray<CEnvFollower>& envFollowers()      { return mc.envFollowers; }
    juce::Array<int>& selectedChannels()  { return mc.selectedChannels; }
    int numSelectedChannels() const       { return mc.numSelectedChannels; }
    int numInputChannels() const          { return mc.numInputChannels; }
    backgroundComponent& channelStrip()   { return mc.channelStrip; }
    juce::Viewport& channelViewport()     { return mc.channelViewport; }
    MainComponent::HaltOverlayClass* haltOverlay() { return mc.haltOverlay.get(); }
    juce::AudioDeviceManager& deviceManager()      { return mc.deviceManager; }
    juce::OwnedArray<juce::AudioFormatWriter::ThreadedWriter>& threadedWriters() { return mc.threadedWriters; }
    TakeFeed& takeFeed()                  { return mc.takeFeed; }
    int writersBusy() const               { return mc.writersBusy.load(); }
    bool diskWriteError() const           { return mc.diskWriteError.load(); }
    int64_t bytesWritten() const          { return mc.bytesWritten.load(); }
    int currentSampleRate() const         { return mc.currentSampleRate.load(); }
    infoComponent& infoPanel()            { return mc.infoPanel; }
    CounterComponent& elapsedCounter()    { return mc.elapsedCounter; }
    Dialogs& dialogs()                    { return mc.dialogs; }
    juce::File& currentFile()             { return mc.currentFile; }
    Settings& settings()                  { return mc.settings; }
    juce::TimeSliceThread& recorderThread() { return mc.recorderThread; }
    MainComponent::InputPlayer& player()  { return mc.audioSourcePlayer; }
    juce::OwnedArray<juce::TimeSliceThread>& extraRecorderThreads() { return mc.extraRecorderThreads; }
    static constexpr int writersPerThread = MainComponent::writersPerThread;
    KeyboardCustom* keyboard()            { return mc.keyboard.get(); }
    juce::MidiKeyboardState& keyboardState() { return mc.keyboardState; }
    void raiseDiskWriteError()            { mc.diskWriteError = true; }
    bool noInputArrives() const           { return mc.noInputArrives(); }
    std::function<void()> failureReportOfThisTake() { return mc.failureReportOfThisTake(); }

    /** Every fixed widget of the main screen by its member name. */
    std::map<std::string, juce::Component*> widgets()
    {
        return { { "mainViewport", &mc.mainViewport }, { "mainPanel", &mc.mainPanel },
                 { "selectDeviceLabel", &mc.selectDeviceLabel }, { "deviceCombo", &mc.deviceCombo },
                 { "sampleRateCombo", &mc.sampleRateCombo }, { "sampleRateLabel", &mc.sampleRateLabel },
                 { "bitsCombo", &mc.bitsCombo }, { "resolutionLabel", &mc.resolutionLabel },
                 { "saveSettingsButton", &mc.saveSettingsButton }, { "webSiteButton", &mc.webSiteButton },
                 { "folderViewport", &mc.folderViewport }, { "folderPanel", &mc.folderPanel },
                 { "prefixPanel", &mc.prefixPanel }, { "pathPanel", &mc.pathPanel },
                 { "prefixLabel", &mc.prefixLabel }, { "prefixEditor", &mc.prefixEditor },
                 { "folderEditor", &mc.folderEditor }, { "pathLabel", &mc.pathLabel },
                 { "changeFolderButton", &mc.changeFolderButton }, { "recordButton", &mc.recordButton },
                 { "stopButton", &mc.stopButton }, { "elapsedCounter", &mc.elapsedCounter },
                 { "channelViewport", &mc.channelViewport }, { "channelListLabel", &mc.channelListLabel },
                 { "selectAllLabel", &mc.selectAllLabel }, { "checkAllBox", mc.checkAllBox.get() },
                 { "channelStrip", &mc.channelStrip }, { "donateButton", &mc.donateButton },
                 { "infoPanel", &mc.infoPanel }, { "tooltipWindow", &mc.tooltipWindow },
                 { "haltOverlay", mc.haltOverlay.get() } };
    }

    juce::Component& widget (const std::string& name)
    {
        auto* c = widgets().at (name);

        if (c == nullptr)
            throw std::runtime_error ("the widget " + name + " does not exist");

        return *c;
    }

    /** Selects a device-list entry as the user does, which opens that device, then runs
        the message loop until every input is connected: a JACK device reads its
        connections before the server has made them, and the loop brings the rest. */
    void chooseDevice (const juce::String& name)
    {
        for (int i = 0; i < mc.deviceCombo.getNumItems(); ++i)
            if (mc.deviceCombo.getItemText (i) == name)
                mc.deviceCombo.setSelectedItemIndex (i, juce::sendNotificationSync);

        auto* device = mc.deviceManager.getCurrentAudioDevice();

        for (int i = 0; i < 500 && device != nullptr
                        && device->getActiveInputChannels().countNumberOfSetBits() < mc.numInputChannels; ++i)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }

    /** Builds the strip for a number of inputs without a device, as an opening would. */
    void buildStrip (int channels, double rate)
    {
        mc.numInputChannels = channels;
        mc.buildChannelStrip (rate);
        mc.showChannelBlock();
    }

    /** Selects every channel and starts a take whose writers discard what they are given,
        for measuring the callback without a disk in the way. */
    void startTakeOnDiscardingWriters (int bits)
    {
        startTakeOnWriters (bits, [bits]
        {
            auto stream = std::make_unique<DiscardingStream>();
            auto* writer = juce::WavAudioFormat().createWriterFor (stream.get(), 48000.0, juce::AudioChannelSet::mono(), bits, {}, 0);

            if (writer != nullptr)
                stream.release();

            return writer;
        });
    }

    /** Selects every channel and starts a take on writers that the test makes, on the program's own writer threads or the thread it names. */
    void startTakeOnWriters (int bits, std::function<juce::AudioFormatWriter*()> makeWriter,
                             std::function<juce::TimeSliceThread*(int slot)> threadOfSlot = {})
    {
        selectEveryChannel();

        for (int i = 0; i < mc.numSelectedChannels; ++i)
        {
            auto* writer = makeWriter();
            auto* thread = threadOfSlot != nullptr ? threadOfSlot (i) : nullptr;

            if (writer == nullptr)
                throw std::runtime_error ("no writer for the take");

            mc.threadedWriters.add (new juce::AudioFormatWriter::ThreadedWriter (writer, thread != nullptr ? *thread : *mc.writerThreadForSlot (i),
                                                                                 48000 * 5));
            mc.takeFiles.add (juce::File());
        }

        startFeedingTheTake (bits);
    }

    /** Selects every channel and starts a take on files TrackNN.wav in a folder, each made
        as Record makes it (at 48 kHz), without a device. */
    void startTakeInFolder (int bits, const juce::File& folder)
    {
        selectEveryChannel();

        for (int i = 0; i < mc.numSelectedChannels; ++i)
        {
            const auto file = folder.getChildFile ("Track" + MainComponent::format_to (i + 1, 2) + ".wav");
            auto* writer = mc.createWriter (file, 48000.0, bits, *mc.writerThreadForSlot (i));

            if (writer == nullptr)
                throw std::runtime_error ("no writer for " + file.getFullPathName().toStdString());

            mc.threadedWriters.add (writer);
            mc.takeFiles.add (file);
        }

        startFeedingTheTake (bits);
    }

    /** Selects every channel for a take, joining the clean-up thread of an earlier stop first, as Record does. */
    void selectEveryChannel()
    {
        mc.finishCleanUp();
        mc.openTake();

        for (auto* box : mc.channelBoxes)
            box->setToggleState (true, juce::dontSendNotification);

        mc.CheckBoxState();
    }

    void startFeedingTheTake (int bits)
    {
        if (! mc.startFeed())
            throw std::runtime_error ("the feed's thread did not start");

        mc.takeWriterCount = mc.threadedWriters.size();
        mc.takeBytesPerSample = bits / 8;
        mc.takeWriteFailed = false;
        mc.takeFailureLatched = false;
        mc.isRecording = true;
    }

    /** Fills the device list again, from every device type the manager has now. */
    void fillDeviceList()                 { mc.fillDeviceList(); }
    const juce::StringArray& deviceTypeOfEntry() const { return mc.deviceTypeOfEntry; }

    /** An output stream that only counts. */
    struct DiscardingStream : juce::OutputStream
    {
        void flush() override {}
        bool setPosition (juce::int64 p) override   { position = p; return true; }
        juce::int64 getPosition() override          { return position; }
        bool write (const void*, size_t n) override { position += (juce::int64) n; return true; }
        juce::int64 position = 0;
    };

    /** Runs the 1 ms timer's callback as often as a case needs. */
    void tick (int times = 1)
    {
        for (int i = 0; i < times; ++i)
            mc.timerCallback();
    }

    MainComponent& mc;
};
