#include "JackTest.h"
#include "MainComponentTestAccess.h"
#include "TakeGaps.h"
#include "UiDriver.h"
#include "TestSignal.h"
#include "WavChecker.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

namespace
{
    /** Holds the writer thread: while it runs, no writer's buffer is drained. */
    class WriterThreadBlocker : public juce::TimeSliceClient
    {
    public:
        explicit WriterThreadBlocker (juce::TimeSliceThread& thread)
        {
            thread.addTimeSliceClient (this);
            thread.notify();
            entered.wait (5000);
        }

        ~WriterThreadBlocker() override
        {
            release();

            // Once released the thread drops the blocker by itself; the thread may be gone
            // by now, with the component that owned it.
            for (int i = 0; i < 500 && ! left; ++i)
                juce::Thread::sleep (2);
        }

        void release()                 { released.signal(); }

        int useTimeSlice() override
        {
            entered.signal();
            released.wait (-1);
            left = true;
            return -1;
        }

    private:
        juce::WaitableEvent entered, released;
        std::atomic<bool> left { false };
    };

    class Recording : public JackTest
    {
    protected:
        void SetUp() override
        {
            JackTest::SetUp();

            if (HasFatalFailure())
                return;

            source = std::make_unique<testjack::SignalSource> ("velmora-signal", 8);
            ASSERT_TRUE (source->isRunning());
            folder = juce::File::createTempFile ("velmora-rec");
            ASSERT_TRUE (folder.createDirectory());
            openRecorder ("velmora-signal");
        }

        void TearDown() override
        {
            closeRecorder();
            folder.deleteRecursively();
        }

        void openRecorder (const juce::String& device)
        {
            mc = std::make_unique<MainComponent>();
            access = std::make_unique<MainComponentTestAccess> (*mc);
            ui = std::make_unique<UiDriver> (*mc);

            access->dialogs().askYesNo = [this] (const juce::String& title, const juce::String& message)
            {
                questions.add (title + "|" + message);
                return answer;
            };
            access->dialogs().warnAsync = [this] (const juce::String& title, const juce::String& message)
            {
                warnings.add (title + "|" + message);
            };

            access->folderEditor().setText (folder.getFullPathName(), false);
            access->chooseDevice (device);
            ASSERT_NE (access->deviceManager().getCurrentAudioDevice(), nullptr);
            gaps.attach (*mc, access->deviceManager());
        }

        void closeRecorder()
        {
            gaps.detach();
            ui.reset();
            access.reset();
            mc.reset();
        }

        void tickBoxes (std::initializer_list<int> channels)
        {
            for (auto c : channels)
            {
                ASSERT_LT (c, access->channelBoxes().size());
                ui->click (*access->channelBoxes()[c]);
            }
        }

        void record (int bits = 16)
        {
            access->bitsCombo().setSelectedId (bits, juce::dontSendNotification);
            ui->click (access->recordButton());
        }

        void waitForCleanUp()
        {
            for (int i = 0; i < 3000 && access->writersBusy() != 0; ++i)
                juce::Thread::sleep (10);

            access->tick (50);
        }

        void stopAndWait()
        {
            ui->click (access->stopButton());
            waitForCleanUp();
        }

        juce::File takeFolder() const     { return folder.getChildFile ("Track"); }

        /** Starts a 24-bit take of every channel on a tmpfs of the given size mounted at
            small-disk in the folder; false, with errno, when it cannot be mounted. */
        bool recordEveryChannelOnSmallDisk (const char* size)
        {
            const auto disk = smallDisk();
            if (disk.createDirectory().failed() || mount ("tmpfs", disk.getFullPathName().toRawUTF8(), "tmpfs", 0, size) != 0)
                return false;

            access->folderEditor().setText (disk.getFullPathName(), false);
            ui->click (access->checkAllBox());
            record (24);
            return true;
        }

        juce::File smallDisk() const      { return folder.getChildFile ("small-disk"); }

        /** The device's restarts and the timer come through the message loop. */
        static void runMessageLoop (int ms)   { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

        juce::StringArray filesInTake() const
        {
            juce::StringArray names;

            for (auto& f : takeFolder().findChildFiles (juce::File::findFiles, false))
                names.add (f.getFileName());

            names.sort (false);
            return names;
        }

        /** The file is a complete mono PCM WAV holding the channel's signal without a gap,
            from the first frame of the take's other files to their last unless it was cut. */
        uint64_t expectSampleExact (const juce::String& name, int channel, int bits,
                                    wavcheck::TakeEnd end = wavcheck::TakeEnd::normal)
        {
            const auto file = takeFolder().getChildFile (name);
            const auto wav = wavcheck::readWav (file.getFullPathName().toStdString());
            const auto report = wavcheck::checkWav (wav, channel);
            const auto what = name + ": " + juce::String (wavcheck::describe (wav, report));

            EXPECT_TRUE (wav.readable) << what;
            EXPECT_TRUE (wav.isPcm) << what;
            EXPECT_EQ (wav.numChannels, 1) << what;
            EXPECT_EQ (wav.sampleRate, 48000u) << what;
            EXPECT_EQ (wav.bitsPerSample, bits) << what;
            EXPECT_TRUE (wav.headerMatchesFile) << what;
            gaps.expectNoGapOfOurs (file, report, what, end);

            if (testjack::framesAreExact || wav.numFrames > 1000)
            {
                EXPECT_EQ (report.detectedChannel, channel) << what;
            }

            return wav.numFrames;
        }

        std::unique_ptr<testjack::SignalSource> source;
        juce::File folder;
        std::unique_ptr<MainComponent> mc;
        std::unique_ptr<MainComponentTestAccess> access;
        std::unique_ptr<UiDriver> ui;
        TakeGaps gaps;
        juce::StringArray questions, warnings;
        bool answer = true;
    };
}

//==============================================================================
class RecordingBits : public Recording, public ::testing::WithParamInterface<int> {};

TEST_P (RecordingBits, TickedChannelsBecomeSampleExactFilesNamedAfterThePrefix)
{
    const int bits = GetParam();
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 1, 3, 4, 6 }));
    record (bits);

    EXPECT_TRUE (mc->isRecording);
    EXPECT_TRUE (access->stopButton().isEnabled());
    for (auto* name : { "recordButton", "sampleRateCombo", "bitsCombo", "deviceCombo", "checkAllBox" })
        EXPECT_FALSE (access->widget (name).isEnabled()) << name;
    for (auto* box : access->channelBoxes())
        EXPECT_FALSE (box->isEnabled());

    juce::Thread::sleep (2000);
    ui->click (access->stopButton());

    EXPECT_FALSE (mc->isRecording);
    ASSERT_NE (access->haltOverlay(), nullptr);
    EXPECT_TRUE (access->haltOverlay()->isVisible());
    EXPECT_TRUE (access->recordButton().isEnabled());
    EXPECT_FALSE (access->stopButton().isEnabled());
    for (auto* box : access->channelBoxes())
        EXPECT_TRUE (box->isEnabled());

    waitForCleanUp();
    EXPECT_FALSE (access->haltOverlay()->isVisible());

    EXPECT_EQ (filesInTake().joinIntoString (","), "Track02.wav,Track04.wav,Track05.wav,Track07.wav");
    const auto frames = expectSampleExact ("Track02.wav", 1, bits);
    expectSampleExact ("Track04.wav", 3, bits);
    expectSampleExact ("Track05.wav", 4, bits);
    expectSampleExact ("Track07.wav", 6, bits);
    if (testjack::framesAreExact)
    {
        EXPECT_GT (frames, 48000u * 3 / 2);
        EXPECT_LT (frames, 48000u * 4);
    }

    EXPECT_EQ (access->bytesWritten(), (int64_t) (frames * 4 * (uint64_t) bits / 8));
    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
}

INSTANTIATE_TEST_SUITE_P (Depths, RecordingBits, ::testing::Values (16, 24));

TEST_F (Recording, ChannelNinetyNineIsWrittenToTrack100)
{
    closeRecorder();
    testjack::SignalSource hundred ("velmora-hundred", 100);
    ASSERT_TRUE (hundred.isRunning());
    openRecorder ("velmora-hundred");
    ASSERT_EQ (access->channelBoxes().size(), 100);

    access->channelBoxes()[99]->setToggleState (true, juce::sendNotification);
    access->channelBoxes()[9]->setToggleState (true, juce::sendNotification);
    record (24);
    juce::Thread::sleep (1000);
    stopAndWait();

    EXPECT_EQ (filesInTake().joinIntoString (","), "Track10.wav,Track100.wav");
    expectSampleExact ("Track100.wav", 99, 24);
    expectSampleExact ("Track10.wav", 9, 24);
}

TEST_F (Recording, ALargeTakeSpreadsItsWritersOverThreadsAndKeepsEverySample)
{
    constexpr int channels = 160;   // past the 128 that the framework's player would pass on
    closeRecorder();
    testjack::SignalSource wide ("velmora-wide", channels);
    ASSERT_TRUE (wide.isRunning());
    openRecorder ("velmora-wide");
    ASSERT_EQ (access->channelBoxes().size(), channels);
    constexpr auto perThread = MainComponentTestAccess::writersPerThread;
    static_assert (perThread < channels / 2, "the take below must need several threads");

    for (int take = 0; take < 2; ++take)
    {
        ui->click (access->checkAllBox());   // on for the first take, off then on again for the second
        if (take == 1)
            ui->click (access->checkAllBox());

        record (24);
        ASSERT_EQ (access->threadedWriters().size(), channels);

        // Slot k is drained by thread k / perThread; the threads stay for the next take.
        const auto extra = (channels + perThread - 1) / perThread - 1;
        ASSERT_EQ (access->extraRecorderThreads().size(), extra);
        EXPECT_EQ (access->recorderThread().getNumClients(), perThread);
        for (int t = 0; t < extra; ++t)
        {
            auto* thread = access->extraRecorderThreads()[t];
            EXPECT_TRUE (thread->isThreadRunning());
            EXPECT_EQ (thread->getNumClients(), juce::jmin (perThread, channels - (t + 1) * perThread));
        }

        juce::Thread::sleep (1500);
        stopAndWait();

        for (int c = 0; c < channels; ++c)
            expectSampleExact ("Track" + MainComponent::format_to (c + 1, 2) + ".wav", c, 24);
    }
}

TEST_F (Recording, EmptyPrefixRecordsUnderTrack)
{
    access->prefixEditor().setText ({}, false);
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 0 }));
    record();
    juce::Thread::sleep (300);
    stopAndWait();

    EXPECT_EQ (filesInTake().joinIntoString (","), "Track01.wav");
    expectSampleExact ("Track01.wav", 0, 16);
}

//==============================================================================
TEST_F (Recording, AnInputCutAndRestoredDuringATakeLeavesEveryFileWithItsOwnInput)
{
    constexpr int cut = 2;

    ui->click (access->checkAllBox());
    record (24);
    runMessageLoop (700);
    const auto fed = source->disconnect (cut);
    ASSERT_FALSE (fed.empty());
    runMessageLoop (500);
    source->connect (cut, fed);
    runMessageLoop (700);
    stopAndWait();

    const auto readTrack = [this] (int c)
    {
        return wavcheck::readWav (takeFolder().getChildFile ("Track0" + juce::String (c + 1) + ".wav").getFullPathName().toStdString());
    };
    const auto first = readTrack (0);
    const auto firstReport = wavcheck::checkWav (first, 0);
    ASSERT_EQ (firstReport.detectedChannel, 0) << wavcheck::describe (first, firstReport);
    std::vector<wavcheck::SignalReport> uncut { firstReport };

    // Frame by frame, every file holds its own input at the frame that the first one holds,
    // or, for the input that was cut, silence (which the signal never is at 24 bits).
    for (int c = 1; c < 8; ++c)
    {
        const auto wav = readTrack (c);
        ASSERT_TRUE (wav.readable && wav.headerMatchesFile && wav.numFrames == first.numFrames) << c << ": " << wav.error;
        uint64_t silent = 0, silences = 0, foreign = 0;

        for (size_t i = 0; i < wav.samples.size(); ++i)
        {
            const auto code = (uint16_t) (wav.samples[i] >> 8);

            if (wav.samples[i] == 0)
                silences += silent++ == 0 || wav.samples[i - 1] != 0 ? 1u : 0u;
            else if (std::abs ((wav.samples[i] & 0xff) - 128) > 1
                     || testsignal::frameOf (c, code) != testsignal::frameOf (0, (uint16_t) (first.samples[i] >> 8)))
                ++foreign;
        }

        EXPECT_EQ (foreign, 0u) << "Track0" << c + 1;
        EXPECT_EQ (silent > 48000 / 4, c == cut) << "Track0" << c + 1 << ": " << silent << " silent frames";
        EXPECT_EQ (silences, c == cut ? 1u : 0u) << "Track0" << c + 1 << ": the input came back once reconnected";
        EXPECT_NE (wav.samples.back(), 0) << "Track0" << c + 1;

        if (c != cut)
            uncut.push_back (wavcheck::checkWav (wav, c));
    }

    std::printf ("the connection changes cost %d gaps in every file\n", (int) firstReport.numDiscontinuities);
    gaps.expectOnlyGapsTheDeviceMade (firstReport, uncut, "Track01: " + juce::String (wavcheck::describe (first, firstReport)));
}

// A source that lowers its channel count: the files of its remaining ports stay exact,
// the others hold their own input and then only silence, and their meters fall.
TEST_F (Recording, PortsThatASourceDropsLeaveOnlySilenceInTheirFiles)
{
    ui->click (access->checkAllBox());
    record (24);
    runMessageLoop (700);
    source->dropPortsFrom (4, 200);
    runMessageLoop (700);
    for (int c = 4; c < 8; ++c)
        EXPECT_LT (access->meterLevels()[c]->load(), access->meterLevels()[0]->load() / 4) << "meter " << c + 1;
    stopAndWait();

    std::vector<wavcheck::SignalReport> reports;
    for (int c = 0; c < 8; ++c)
    {
        auto wav = wavcheck::readWav (takeFolder().getChildFile ("Track0" + juce::String (c + 1) + ".wav").getFullPathName().toStdString());
        const auto silence = std::find (wav.samples.begin(), wav.samples.end(), 0);   // never the signal at 24 bits
        EXPECT_TRUE (std::all_of (silence, wav.samples.end(), [] (auto s) { return s == 0; })) << c + 1 << ": more than silence after the drop";
        EXPECT_EQ (wav.samples.end() - silence > 48000 / 2, c >= 4) << c + 1 << ": silent frames";
        wav.samples.erase (silence, wav.samples.end());
        reports.push_back (wavcheck::checkWav (wav, c));
        ASSERT_TRUE (wav.headerMatchesFile && reports.back().detectedChannel == c) << wavcheck::describe (wav, reports.back());
        reports.back().numFrames = wav.numFrames;   // the signal ends early, the file with the others
    }

    // The connection changes may cost every sounding file the same cycles.
    for (auto& report : reports)
        gaps.expectOnlyGapsTheDeviceMade (report, { reports.begin(), reports.begin() + 4 }, "Track0" + juce::String (report.detectedChannel + 1));
}

// A source that quits leaves the device with nothing connected. A held server, as an ALSA
// device whose interface is unplugged, leaves it open and started with no block to pass.
class BlocksThatStopComing : public Recording, public ::testing::WithParamInterface<bool> {};

TEST_P (BlocksThatStopComing, EndTheTakeAndARecordPressAfterwardsTouchesNoFile)
{
    const bool serverHeld = GetParam();
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 0, 5 }));
    record (24);
    runMessageLoop (700);
    const juce::ScopeGuard resume { [&] { if (serverHeld) kill (server.pid(), SIGCONT); } };
    if (serverHeld)
        kill (server.pid(), SIGSTOP);
    else
        source.reset();   // its ports go, and with them every connection to the recorder

    for (int i = 0; i < 600 * testjack::slowdown && mc->isRecording; ++i)
        runMessageLoop (10);

    ASSERT_FALSE (mc->isRecording) << "the take ran on without input";
    waitForCleanUp();
    EXPECT_TRUE (access->recordButton().isEnabled());
    EXPECT_FALSE (access->stopButton().isEnabled());
    for (auto* meter : access->vuMeters())
        EXPECT_EQ (meter->level, 0.0f);

    // What came before the quit, then at most the silence the inputs read until the device noticed.
    std::map<juce::String, juce::MemoryBlock> take;
    for (auto [name, c] : { std::pair { "Track01.wav", 0 }, std::pair { "Track06.wav", 5 } })
    {
        auto wav = wavcheck::readWav (takeFolder().getChildFile (name).getFullPathName().toStdString());
        ASSERT_TRUE (wav.readable && wav.headerMatchesFile) << name << ": " << wav.error;
        while (! wav.samples.empty() && wav.samples.back() == 0)
            wav.samples.pop_back();

        EXPECT_LT (wav.numFrames - wav.samples.size(), (uint64_t) juce::jmax (4800, 4 * testjack::JackServer::defaultPeriod))
            << name << ": silence recorded after the device noticed the source had gone";

        auto report = wavcheck::checkWav (wav, c);
        EXPECT_EQ (report.detectedChannel, c) << name;
        EXPECT_GT (report.numFrames, 48000u / 2) << name;
        report.numFrames = wav.numFrames;   // the inputs may fall silent a cycle apart, the files end together
        gaps.expectNoGapOfOurs (takeFolder().getChildFile (name), report, name + juce::String (": ") + wavcheck::describe (wav, report));

        takeFolder().getChildFile (name).loadFileAsData (take[name]);
    }

    ui->click (access->recordButton());
    EXPECT_FALSE (mc->isRecording);
    EXPECT_TRUE (questions.isEmpty());
    EXPECT_TRUE (access->stopButton().isEnabled()) << "the press ends as one with no open device";
    ui->click (access->stopButton());

    EXPECT_EQ (filesInTake().joinIntoString (","), "Track01.wav,Track06.wav");
    for (auto& [name, bytes] : take)
    {
        juce::MemoryBlock now;
        takeFolder().getChildFile (name).loadFileAsData (now);
        EXPECT_TRUE (now == bytes) << name << " changed";
    }
}

INSTANTIATE_TEST_SUITE_P (SourceQuitsOrServerHeld, BlocksThatStopComing, ::testing::Bool());

//==============================================================================
TEST_F (Recording, QuitDuringATakeCompletesEveryFile)
{
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 0, 7 }));
    record (24);
    juce::Thread::sleep (1000);
    closeRecorder();   // the platform's quit: the window and its component go, take running

    expectSampleExact ("Track01.wav", 0, 24);
    expectSampleExact ("Track08.wav", 7, 24);
}

TEST_F (Recording, QuitDuringFinalisationCompletesEveryFile)
{
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 2, 5 }));
    auto blocker = std::make_unique<WriterThreadBlocker> (access->recorderThread());
    record (16);
    juce::Thread::sleep (1000);
    ui->click (access->stopButton());   // the clean-up now waits for the writer thread

    std::thread releaseLater ([&blocker] { juce::Thread::sleep (300); blocker->release(); });
    closeRecorder();                     // must finish the running clean-up, not race it
    releaseLater.join();
    blocker.reset();

    expectSampleExact ("Track03.wav", 2, 16);
    expectSampleExact ("Track06.wav", 5, 16);
}

//==============================================================================
TEST_F (Recording, BufferThatCannotDrainStopsTheTakeWithTheAlert)
{
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 0, 1, 2, 3 }));
    WriterThreadBlocker blocker (access->recorderThread());
    record (24);

    for (int i = 0; i < 1000 * testjack::slowdown && ! access->diskWriteError(); ++i)
        juce::Thread::sleep (10);

    ASSERT_TRUE (access->diskWriteError()) << "five seconds of buffer are full";
    EXPECT_FALSE (mc->isRecording);

    // The held writer thread does not hold the clean-up, which can finish the files before
    // the meter duty that stopped the take looks at them, and hide the overlay at once.
    struct : juce::ComponentListener
    {
        void componentVisibilityChanged (juce::Component& c) override   { shows += c.isVisible() ? 1 : 0; }
        int shows = 0;
    } overlay;

    ASSERT_NE (access->haltOverlay(), nullptr);
    access->haltOverlay()->addComponentListener (&overlay);
    access->tick (50);
    access->haltOverlay()->removeComponentListener (&overlay);

    ASSERT_EQ (warnings.size(), 1);
    EXPECT_EQ (warnings[0], "Disk write error|There was an error while writing on disk.\n"
                            "Make sure your disk is fast enough to record 4 channels.");
    EXPECT_EQ (overlay.shows, 1) << "the take ends as Stop ends it, behind the overlay";
    EXPECT_TRUE (access->recordButton().isEnabled());

    blocker.release();
    waitForCleanUp();

    for (int c = 0; c < 4; ++c)
    {
        // Up to the writer that refused it, each may have taken some of the last block: the files end apart.
        const auto frames = expectSampleExact ("Track0" + juce::String (c + 1) + ".wav", c, 24, wavcheck::TakeEnd::cut);

        if (testjack::framesAreExact)
        {
            EXPECT_GT (frames, 48000u * 9 / 2) << "the five seconds of buffer, all kept";
        }
    }
}

TEST_F (Recording, StopAndDiskErrorInOneMeterPeriodStartOneCleanUp)
{
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 4, 5 }));
    record();
    juce::Thread::sleep (500);

    access->raiseDiskWriteError();
    ui->click (access->stopButton());
    access->tick (50);   // the error path stops again while the first clean-up may still run
    waitForCleanUp();

    EXPECT_EQ (warnings.size(), 1);
    expectSampleExact ("Track05.wav", 4, 16);
    expectSampleExact ("Track06.wav", 5, 16);
}

TEST_F (Recording, FullDiskStopsTheTakeAndLeavesValidFiles)
{
    if (! recordEveryChannelOnSmallDisk ("size=2m"))
        GTEST_SKIP() << "mounting a small tmpfs needs root: " << strerror (errno);

    const auto mountPoint = smallDisk();
    for (int i = 0; i < 1000 && ! access->diskWriteError(); ++i)
        juce::Thread::sleep (10);

    ASSERT_TRUE (access->diskWriteError()) << "the disk filled without a report";
    access->tick (50);
    ASSERT_EQ (warnings.size(), 1);
    EXPECT_EQ (warnings[0], "Disk write error|There was an error while writing on disk.\n"
                            "Make sure your disk is fast enough to record 8 channels.");
    waitForCleanUp();
    EXPECT_EQ (warnings.size(), 1) << "one alert for the take, though the other files fail as they are finalised";

    for (int c = 0; c < 8; ++c)
    {
        const auto file = mountPoint.getChildFile ("Track").getChildFile ("Track0" + juce::String (c + 1) + ".wav");
        const auto wav = wavcheck::readWav (file.getFullPathName().toStdString());
        const auto report = wavcheck::checkWav (wav, c);
        const auto what = file.getFileName() + ": " + juce::String (wavcheck::describe (wav, report));
        EXPECT_TRUE (wav.readable && wav.isPcm && wav.headerMatchesFile) << what;
        gaps.expectNoGapOfOurs (file, report, what, wavcheck::TakeEnd::cut);
    }

    closeRecorder();
    umount (mountPoint.getFullPathName().toRawUTF8());
}

// The free space that the volume reports already leaves out what the take has written:
// the time that remains is that space at the take's rate, halfway through the disk too.
TEST_F (Recording, TimeRemainingIsTheFreeSpaceAtTheTakesRate)
{
    if (! recordEveryChannelOnSmallDisk ("size=8m"))
        GTEST_SKIP() << "mounting a small tmpfs needs root: " << strerror (errno);

    const auto disk = smallDisk();
    while (mc->isRecording && disk.getBytesFreeOnVolume() > disk.getVolumeTotalSize() / 2)
        juce::Thread::sleep (10);

    // The label reads the free space between these two readings; 8 channels of 24 bits.
    const auto secondsBefore = (double) disk.getBytesFreeOnVolume() / (8 * 3 * 48000);
    access->tick (500);
    const auto secondsAfter = (double) disk.getBytesFreeOnVolume() / (8 * 3 * 48000);
    const auto text = access->infoPanel().timeRemainingLabel.getText();
    const auto seconds = text.fromFirstOccurrenceOf (": ", false, false).getDoubleValue();
    EXPECT_TRUE (text.endsWith (" Sec") && seconds <= 1.1 * secondsBefore && seconds >= 0.9 * secondsAfter)
        << text << ", with " << secondsAfter << " s of free space";
    closeRecorder();
    umount (disk.getFullPathName().toRawUTF8());
}

//==============================================================================
TEST_F (Recording, OneQuestionBeforeOverwritingAndYesOverwritesAll)
{
    takeFolder().createDirectory();
    takeFolder().getChildFile ("Track02.wav").replaceWithText ("old");
    takeFolder().getChildFile ("Track05.wav").replaceWithText ("old");
    takeFolder().getChildFile ("Notes.txt").replaceWithText ("keep");

    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 1, 2, 4 }));
    record();
    EXPECT_EQ (questions.joinIntoString (";"), "File(s) already exists.|Overwrite?");
    juce::Thread::sleep (300);
    stopAndWait();

    expectSampleExact ("Track02.wav", 1, 16);
    expectSampleExact ("Track03.wav", 2, 16);
    expectSampleExact ("Track05.wav", 4, 16);
    EXPECT_EQ (takeFolder().getChildFile ("Notes.txt").loadFileAsString(), "keep");
}

TEST_F (Recording, NoToTheQuestionLeavesNoTakeRunning)
{
    takeFolder().createDirectory();
    takeFolder().getChildFile ("Track02.wav").replaceWithText ("old");
    answer = false;

    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 0, 1, 2 }));
    record();
    EXPECT_EQ (questions.size(), 1);
    EXPECT_FALSE (mc->isRecording);

    juce::MessageManager::getInstance()->runDispatchLoopUntil (100);   // the posted Stop click
    waitForCleanUp();

    EXPECT_FALSE (mc->isRecording);
    EXPECT_TRUE (access->recordButton().isEnabled());
    EXPECT_FALSE (access->stopButton().isEnabled());
    EXPECT_TRUE (access->threadedWriters().isEmpty());
    EXPECT_EQ (takeFolder().getChildFile ("Track02.wav").loadFileAsString(), "old");
}

// "Overwrite?" waits for its answer while the device goes on, or dies: a Yes given once no
// audio arrives starts nothing, and the old files stay as they were.
TEST_F (Recording, YesAfterTheDeviceDiedKeepsEveryOldFile)
{
    takeFolder().createDirectory();
    for (auto* name : { "Track02.wav", "Track05.wav" })
        takeFolder().getChildFile (name).replaceWithText (juce::String ("old ") + name);
    access->dialogs().askYesNo = [this] (const juce::String&, const juce::String&)
    {
        server.stop();
        for (int i = 0; i < 3000 && ! access->noInputArrives(); ++i)
            juce::Thread::sleep (10);
        return true;
    };

    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 1, 2, 4 }));
    record();
    ASSERT_TRUE (access->noInputArrives()) << "the device went on after its server stopped";
    EXPECT_TRUE (! mc->isRecording && access->recordButton().isEnabled() && ! access->stopButton().isEnabled());
    EXPECT_EQ (filesInTake().joinIntoString (","), "Track02.wav,Track05.wav");
    for (auto* name : { "Track02.wav", "Track05.wav" })
        EXPECT_EQ (takeFolder().getChildFile (name).loadFileAsString(), juce::String ("old ") + name);
}

TEST_F (Recording, TakeFolderThatCannotBeMadeGivesTheErrorAndNoFile)
{
    const auto plainFile = folder.getChildFile ("not-a-folder");
    plainFile.replaceWithText ("x");
    access->folderEditor().setText (plainFile.getChildFile ("inside").getFullPathName(), false);

    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 0 }));
    record();

    EXPECT_EQ (warnings.joinIntoString (";"), "Error|Unable to write on disk.");
    EXPECT_FALSE (mc->isRecording);
    EXPECT_TRUE (access->recordButton().isEnabled());
    EXPECT_FALSE (access->stopButton().isEnabled());
    EXPECT_TRUE (access->deviceCombo().isEnabled());
    EXPECT_EQ (access->writersBusy(), 0);
    ASSERT_NE (access->haltOverlay(), nullptr);
    EXPECT_FALSE (access->haltOverlay()->isVisible());
}

TEST_F (Recording, StopRecordStopAgainAndAgain)
{
    ASSERT_NO_FATAL_FAILURE (tickBoxes ({ 3, 6 }));
    auto press = [this] (juce::Button& b) { mc->buttonClicked (&b); };   // as the keyboard would, past the overlay

    // Right after a stop the files may still be finalised: Record starts nothing then,
    // and a press once they are done does.
    auto startTake = [&]
    {
        press (access->recordButton());

        for (int i = 0; i < 3000 && ! mc->isRecording; ++i)
        {
            juce::Thread::sleep (10);
            press (access->recordButton());
        }
    };

    for (int round = 0; round < 20; ++round)
    {
        startTake();
        ASSERT_TRUE (mc->isRecording) << "round " << round;
        juce::Thread::sleep (30);
        press (access->stopButton());   // no wait: the next Record may meet the clean-up
    }

    startTake();
    ASSERT_TRUE (mc->isRecording);
    juce::Thread::sleep (500 * testjack::slowdown);
    press (access->stopButton());
    waitForCleanUp();

    EXPECT_GT (expectSampleExact ("Track04.wav", 3, 16), 0u);
    EXPECT_GT (expectSampleExact ("Track07.wav", 6, 16), 0u);
}

TEST_F (Recording, RecordWhileTheFilesAreFinalisedStartsNothingAndDoesNotWait)
{
    juce::WaitableEvent gate { true };
    access->startTakeOnWriters (16, [&gate] { return new GatedWriter (gate); });
    juce::Thread::sleep (200);
    mc->buttonClicked (&access->stopButton());   // the clean-up now waits at the gate
    ASSERT_EQ (access->writersBusy(), 1);

    // A Record that waited for the clean-up would hold the window until this opens it.
    std::thread openLater ([&gate] { juce::Thread::sleep (3000); gate.signal(); });
    mc->buttonClicked (&access->recordButton());   // from the keyboard, past the overlay

    EXPECT_EQ (access->writersBusy(), 1) << "Record waited for the clean-up";
    EXPECT_FALSE (mc->isRecording);
    EXPECT_TRUE (questions.isEmpty());
    ASSERT_NE (access->haltOverlay(), nullptr);
    EXPECT_TRUE (access->haltOverlay()->isVisible());

    openLater.join();
    waitForCleanUp();

    // Once the files are done, Record starts the next take.
    ui->click (access->recordButton());
    EXPECT_TRUE (mc->isRecording);
    juce::Thread::sleep (300);
    stopAndWait();
    expectSampleExact ("Track01.wav", 0, 16);
}
