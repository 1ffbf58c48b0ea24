#pragma once

#include "CEnvFollower.h"
#include "GuiComponent.h"
#include "SettingsFile.h"
#include "TakeFeed.h"
#include "TakeFiles.h"
#include "WriterMemory.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_utils/juce_audio_utils.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

//==============================================================================
/** Where the program keeps its settings file, and the default recording folder.
    Construction only builds the paths; nothing on disk is touched.
*/
class Settings
{
public:
    Settings();

    juce::String appDataPath;
    juce::String defaultRecordingPath;
    juce::File settingsFolder;
    juce::File settingsFile;
    std::vector<std::pair<juce::String, juce::String>> values;
};

//==============================================================================
/** The boxes the main component shows, behind one seam so that tests can answer them.
    The defaults show the framework's real alert windows and folder chooser.
*/
struct Dialogs
{
    /** Modal warning box with "Yes" and "No"; true for "Yes". */
    std::function<bool (const juce::String& title, const juce::String& message)> askYesNo;

    /** Asynchronous warning box with the framework's "OK" button. */
    std::function<void (const juce::String& title, const juce::String& message)> warnAsync;

    /** Modal information box with the framework's "OK" button and no message. */
    std::function<void (const juce::String& title)> inform;

    /** Modal native folder chooser starting at a location; true and the folder when picked. */
    std::function<bool (const juce::File& start, juce::File& picked)> browseForFolder;

    static Dialogs frameworkDialogs();
};

//==============================================================================
/** The recorder's main component: the whole main screen and the recording engine.

    One half (MainComponent.cpp) builds and lays out the screen and handles the user's
    actions and the settings file; the other half (MainComponentEngine.cpp) opens the
    device, runs the audio callback, records, stops and finalises takes, and drives the
    displays from a 1 ms timer.

    Threads: everything runs on the message thread except getNextAudioBlock and
    prepareToPlay (audio thread), the writers' draining (recorderThread) and CleanWriters
    (the clean-up thread, or the message thread when a take is refused or the component
    ends). The hand-overs between them are in one section of the engine.
*/
class MainComponent : public juce::AudioAppComponent,
                      public juce::Button::Listener,
                      public juce::Timer
{
public:
    /** Message thread. Leaves the component 800 x 550 with the stored device open. */
    MainComponent();

    /** Message thread. Finishes a take in progress so that every file is complete. */
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** Called by the device as it starts and stops: on the message thread, or on the
        thread that stops a device that went away (a JACK server quitting). */
    void prepareToPlay (int samplesPerBlockExpected, double sampleRate) override;
    void releaseResources() override;
    void getNextAudioBlock (const juce::AudioSourceChannelInfo& bufferToFill) override;

    /** Message thread. */
    void timerCallback() override;
    void buttonClicked (juce::Button*) override;

    /** Decimal text of a non-negative value, zero-padded to the width; wider values in full. */
    static std::string format_to (int value, int width);

    /** The three lines of the disk-figures panel, from the panel's figures and the free
        space of the recording volume (0 when unknown). */
    struct DiskFigureTexts
    {
        juce::String diskSpace, timeRemaining, spaceOccupied;
    };

    static DiskFigureTexts diskFigureTexts (juce::int64 freeBytes, float bytesWritten, float sampleRate, int bits, int numChannels);

    /** The elapsed-time clock: HH:MM:SS.t, the tenths truncated. */
    static juce::String clockText (float seconds);

    /** The translucent sheet shown while a stopped take's files are finalised. */
    class HaltOverlayClass : public juce::Component
    {
    public:
        HaltOverlayClass();
        ~HaltOverlayClass() override;
        void paint (juce::Graphics&) override;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HaltOverlayClass)
    };

    /** A take is being recorded. Read by the main window's close test. */
    std::atomic<bool> isRecording { false };

    /** Message thread, when the process is about to end without its usual shut-down (the
        connection to the display is lost and the windowing library ends the process):
        stops feeding the writers and completes every file of the take before it returns.
        Nothing else of the component is used afterwards. */
    void endTakeBeforeExit();

private:
    friend struct MainComponentTestAccess;

    //==============================================================================
    // Screen half
    void setObjects();
    void fillDeviceList();
    void loadSettings();
    void applySetting (const juce::String& key, const juce::String& value);
    void saveSettings();
    bool writeSettingsFile();
    void changeFolder();
    void applyChosenFolder();
    void webSiteButtonOnClick();
    void donateButtonOnClick();
    void layOutChannelBlock();

    //==============================================================================
    // Engine half
    void SetAsioDevice (bool keepRateList, bool rateChangeOnly);
    void clearChannelStrip();
    void openChosenDevice (const juce::String& name, const juce::String& typeName, bool rateChangeOnly);
    void fillSampleRateList (juce::AudioIODevice& device, double rate);
    void buildChannelStrip (double rate);
    void showChannelBlock();
    void CheckBoxState();
    void channelCheckBoxOnClick();
    void deviceComboOnChange();
    void sampleRateComboOnChange();

    void selectAll();
    /** Channels metered together, so that their followers' updates overlap in time. */
    static constexpr int meterGroupSize = 4;

    static void meterChannels (CEnvFollower* const* followers, std::atomic<float>* const* levels,
                               const float* const* samples, int count, int n) noexcept;

    /** Audio thread: meters every channel and feeds the selected ones to the take's writers.
        channels holds numChannels input pointers, each read for n samples from startSample on. */
    void processInputs (const float* const* channels, int numChannels, int startSample, int n);

    /** The player that brings the device's blocks to this component. The framework's own
        hands on at most 128 inputs, copies every one, and above 31 channels allocates a
        channel list on every block; this one passes the device's input pointers straight
        to processInputs, for any number of channels, without copying or allocating. */
    class InputPlayer : public juce::AudioSourcePlayer
    {
    public:
        explicit InputPlayer (MainComponent& owner);
        ~InputPlayer() override;

        /** Hides the framework's setSource, so that the callback also learns the source.
            The callback does not take the framework player's lock, so a source is only
            taken away after removeAudioCallback, whose lock waits out the last block. */
        void setSource (juce::AudioSource* newSource);

        /** Tells the callback which device input each buffer of a block belongs to: the
            device passes only the inputs set in `delivered`, packed in ascending order, and
            every other input reads as silence. Message thread, with no block running: the
            device manager calls audioDeviceAboutToStart under its callback lock, before
            the device hands on the first block of every (re)start. */
        void routeInputs (const juce::BigInteger& delivered, int numChannels, int maxBlockSize);

        /** Message thread, once the device routed so far is closed. */
        void forgetDevice() noexcept;

        /** Blocks the device has passed since it was made; any thread. */
        juce::uint32 blocksArrived() const noexcept   { return blocks.load(); }

        /** How long one block of the running device lasts. */
        double blockMilliseconds() const noexcept     { return blockMs.load(); }

        void audioDeviceAboutToStart (juce::AudioIODevice* device) override;
        void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs,
                                               float* const* outputs, int numOutputs, int numSamples,
                                               const juce::AudioIODeviceCallbackContext& context) override;

    private:
        MainComponent& owner;
        std::atomic<bool> hasSource { false };
        std::atomic<juce::uint32> blocks { 0 };
        std::atomic<double> blockMs { 0.0 };
        void passBlock (const float* const* inputs, int numInputs, int start, int numSamples);
        int inputsOf (juce::AudioIODevice& device, const juce::BigInteger& delivered);

        // Message thread: the device last routed, and the inputs it opened with.
        juce::AudioIODevice* routedDevice = nullptr;
        int deviceInputs = 0;

        // All sized before the device starts.
        std::vector<int> deviceChannelOfBuffer;   // the device input that the n-th buffer carries
        std::vector<const float*> inputList;      // one per device input, in the device's order
        std::vector<float> silence;               // what an input that is not delivered reads

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InputPlayer)
    };

    void record();
    juce::AudioFormatWriter::ThreadedWriter* createWriter (const juce::File& file, double sampleRate, int bits,
                                                           juce::TimeSliceThread& drainer);
    juce::TimeSliceThread* writerThreadForSlot (int slot);
    juce::TimeSliceThread* newWriterThread();

    /** Writers that one writer thread drains. The framework's thread looks through all of
        its writers for each one it serves, so its cost grows with the square of their
        number; beyond this many, further threads share the take. */
    static constexpr int writersPerThread = 32;
    /** Old files of a take moved aside under hidden names until it starts: (name, aside). */
    using SetAsideFiles = std::vector<std::pair<juce::File, juce::File>>;
    bool setAsideOldFile (const juce::File& file, SetAsideFiles& setAside);
    void refuseTake (const SetAsideFiles& setAside);
    void abandonTake (const SetAsideFiles& setAside);
    void openTake();
    std::function<void()> failureReportOfThisTake();
    void writeToDiskFailed (juce::uint32 take);
    void endTakeOnFailure() noexcept;

    /** Starts the feed from the audio callback to the take's writer slots; false when it
        cannot run. Seconds of audio the feed holds while its thread passes blocks on: */
    bool startFeed();
    static constexpr int feedSeconds = 1;
    void doStop (bool cleanUpOnThread);
    void CleanWriters();
    void enableControlsAfterStop();

    void refreshMeters();
    void countBlocklessDuties();
    int blocklessDutyLimit() const noexcept;
    bool noInputArrives() const noexcept;
    void reportDiskWriteError();
    void showDiskWriteErrorAlert();
    void updateDiskFigures();
    void updateClock();

    // The hand-overs between threads, each one place (MainComponentEngine.cpp).
    void stopFeedingWriters();
    void finishCleanUp();
    void startCleanUp();

    //==============================================================================
    std::atomic<bool> shuttingDown { false };
    std::atomic<int32_t> writersBusy { -1 };
    InputPlayer audioSourcePlayer { *this };
    juce::ComboBox deviceCombo;
    juce::ComboBox sampleRateCombo;
    juce::ComboBox bitsCombo;
    juce::Label selectDeviceLabel;
    juce::Label selectAllLabel;
    juce::Label channelListLabel;
    juce::Label sampleRateLabel;
    juce::Label resolutionLabel;
    juce::Label prefixLabel;
    juce::Label pathLabel;
    juce::Viewport channelViewport;
    juce::Viewport folderViewport;
    backgroundComponent channelStrip;
    backgroundComponent prefixPanel;
    backgroundComponent pathPanel;
    backgroundComponent folderPanel;
    backgroundComponent mainPanel;
    juce::Viewport mainViewport;
    juce::ImageButton donateButton;
    juce::TextButton recordButton;
    juce::TextButton stopButton;
    juce::TextButton changeFolderButton;
    juce::TextButton saveSettingsButton;
    juce::TextEditor prefixEditor;
    juce::TextEditor folderEditor;
    juce::OwnedArray<CheckBox> channelBoxes;
    juce::Array<int> selectedChannels;
    juce::OwnedArray<vuMeter2> vuMeters;
    std::unique_ptr<CheckBox> checkAllBox { std::make_unique<CheckBox> ("checkALL") };
    juce::File currentFile { juce::File::getCurrentWorkingDirectory() };
    juce::OwnedArray<std::atomic<float>> meterLevels;
    int numSelectedChannels = 0;
    juce::OwnedArray<CEnvFollower> envFollowers;
    std::atomic<int64_t> bytesWritten { 0 };
    infoComponent infoPanel;
    std::atomic<bool> diskWriteError { false };
    CounterComponent elapsedCounter;
    juce::uint32 recordStartMs { juce::Time::getMillisecondCounter() };
    juce::uint32 recordNowMs { juce::Time::getMillisecondCounter() };
    juce::String elapsedText;
    float elapsedSeconds = 0.0f;
    int numInputChannels = 0;
    std::atomic<int> currentSampleRate { 44100 };
    int meterTick = 0;
    int diskTick = 0;
    int clockTick = 0;
    juce::ImageButton webSiteButton;
    juce::TimeSliceThread recorderThread { "Audio Recorder Thread" };

    /** Writer threads beyond recorderThread, made by Record for large takes and kept until
        the component goes. Declared here so that they outlive every writer. */
    juce::OwnedArray<juce::TimeSliceThread> extraRecorderThreads;

    /** The writer thread of each group of writersPerThread slots, and the threads that a
        writer given up at a Stop may still hold; no later take's writer is put on those. */
    juce::Array<juce::TimeSliceThread*> groupThreads, heldWriterThreads;
    juce::OwnedArray<juce::AudioFormatWriter::ThreadedWriter> threadedWriters;

    /** Carries the take's blocks from the audio callback to threadedWriters, so that the
        callback never calls a writer. Declared after the writers: it lets go of them first. */
    TakeFeed takeFeed;
    std::thread cleanerThread;
    juce::CriticalSection deviceLock;
    juce::String chosenFolder;
    std::vector<std::pair<juce::String, juce::String>> settingsList;
    Settings settings;
    juce::MidiKeyboardState keyboardState;
    std::unique_ptr<KeyboardCustom> keyboard { std::make_unique<KeyboardCustom> (keyboardState, juce::MidiKeyboardComponent::horizontalKeyboard) };
    juce::TooltipWindow tooltipWindow { nullptr, 700 };
    std::unique_ptr<HaltOverlayClass> haltOverlay;

    //==============================================================================
    // Engine state beyond the members above: how the audio thread and the others meet.

    /** Held by the audio callback (try-lock, never waits) while it touches the per-channel
        level slots and followers, and by the message thread while it rebuilds them. */
    juce::SpinLock stripLock;

    /** Held by the audio callback (try-lock) while it uses the writer slots and the feed;
        taken once by stopFeedingWriters after isRecording is cleared, as a barrier. */
    juce::CriticalSection writerLock;

    /** Bytes per sample of the running take, fixed at Record (the bit-depth box is a
        widget, which the audio thread must not read). */
    std::atomic<int> takeBytesPerSample { 2 };

    /** Which JUCE device type each device-list entry came from, by entry index. */
    juce::StringArray deviceTypeOfEntry;

    /** Writers (non-empty slots) of the running take, counted at Record for the alert. */
    std::atomic<int> takeWriterCount { 0 };

    /** The file of each writer slot of the take (an empty File for an empty slot), and
        whether any of them failed to be written. */
    juce::Array<juce::File> takeFiles;
    std::atomic<bool> takeWriteFailed { false };

    /** The take's first failure has raised diskWriteError; later ones raise nothing. */
    std::atomic<bool> takeFailureLatched { false };

    /** Counts the takes that Record has opened; a file's failure report carries the
        number of its own take. The lock is held while Record opens a take and while a
        file's failure is weighed, so that no report of an earlier take lands in a later one. */
    juce::uint32 takeNumber = 0;
    std::mutex takeNumberLock;

    /** A clean-up thread is at work on threadedWriters (set before it starts). */
    std::atomic<bool> cleanUpRunning { false };

    /** No device is delivering audio to us: set when a device stops (also by itself, as
        when its server quits; the device then stays current but silent), cleared when one
        starts. */
    std::atomic<bool> deviceStopped { true };

    /** Meter duties in a row that saw no block arrive (reset when a device starts), and
        the block count the last duty saw. Counted in duties rather than in time: after a
        stall of the whole program the first duty may run before the next block. */
    std::atomic<int> blocklessDuties { 0 };
    juce::uint32 blocksAtLastDuty = 0;

    /** Duties without a block after which a running device is taken to bring no more:
        two seconds of the program running, or four of the device's blocks if longer. */
    static constexpr int minBlocklessDuties = 40;

    /** The meter duty runs every this many ticks of the 1 ms timer: at most every 50 ms. */
    static constexpr int meterDutyTicks = 50;

    Dialogs dialogs = Dialogs::frameworkDialogs();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
