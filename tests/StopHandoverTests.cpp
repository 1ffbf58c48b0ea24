// The hand-overs between the message, audio and clean-up threads around a stop, made
// deterministic with writers that finish only when the test lets them.
#include "MainComponentTestAccess.h"

#include <gtest/gtest.h>

namespace
{
    std::atomic<int> writersDeleted { 0 };

    class StopHandover : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            writersDeleted = 0;
            access.dialogs().warnAsync = [this] (const juce::String& title, const juce::String&) { warnings.add (title); };
            access.buildStrip (4, 48000.0);
            access.startTakeOnWriters (16, [this] { return new GatedWriter (gate, &writersDeleted); });
            feedBlocks (8);
        }

        void TearDown() override
        {
            gate.signal();
        }

        void feedBlocks (int count)
        {
            for (int i = 0; i < count; ++i)
                mc->getNextAudioBlock (juce::AudioSourceChannelInfo (&block, 0, 256));
        }

        void waitForCleanUp()
        {
            for (int i = 0; i < 500 && access.writersBusy() != 0; ++i)
                juce::Thread::sleep (10);
        }

        juce::StringArray warnings;
        juce::WaitableEvent gate { true };   // stays open once signalled
        juce::AudioBuffer<float> block { 4, 256 };
        std::unique_ptr<MainComponent> mc = std::make_unique<MainComponent>();
        MainComponentTestAccess access { *mc };
    };
}

TEST_F (StopHandover, OverlayShowsUntilTheLastWriterIsGone)
{
    mc->buttonClicked (&access.stopButton());

    EXPECT_FALSE (mc->isRecording);
    EXPECT_EQ (access.writersBusy(), 1) << "busy from the moment the overlay shows";
    access.tick (500);
    ASSERT_NE (access.haltOverlay(), nullptr);
    EXPECT_TRUE (access.haltOverlay()->isVisible());
    EXPECT_EQ (writersDeleted.load(), 0);

    gate.signal();
    waitForCleanUp();
    EXPECT_EQ (writersDeleted.load(), 4);
    EXPECT_TRUE (access.haltOverlay()->isVisible()) << "until the next meter duty";
    access.tick (50);
    EXPECT_FALSE (access.haltOverlay()->isVisible());
}

TEST_F (StopHandover, OverlayShownAfterTheWindowGrewCoversTheWholeComponent)
{
    ASSERT_NE (access.haltOverlay(), nullptr);
    mc->setSize (1300, 900);   // while the overlay is hidden
    mc->buttonClicked (&access.stopButton());

    EXPECT_TRUE (access.haltOverlay()->isVisible());
    EXPECT_EQ (access.haltOverlay()->getBounds(), juce::Rectangle<int> (0, 0, 1300, 900));
}

TEST_F (StopHandover, DestroyingTheComponentFinishesARunningCleanUp)
{
    mc->buttonClicked (&access.stopButton());
    std::thread opener ([this] { juce::Thread::sleep (300); gate.signal(); });

    mc.reset();   // waits for the clean-up; no thread is left using the component
    EXPECT_EQ (writersDeleted.load(), 4);
    opener.join();
}

TEST_F (StopHandover, StopAndDiskErrorInOneMeterPeriodRunOneCleanUp)
{
    mc->buttonClicked (&access.stopButton());
    access.raiseDiskWriteError();
    access.tick (50);   // reports the error and stops again while the clean-up runs

    gate.signal();
    waitForCleanUp();
    access.tick (50);

    EXPECT_EQ (writersDeleted.load(), 4) << "each writer deleted once";
    EXPECT_EQ (warnings.joinIntoString (";"), "Disk write error");
    EXPECT_TRUE (access.threadedWriters().isEmpty());
    ASSERT_NE (access.haltOverlay(), nullptr);
    EXPECT_FALSE (access.haltOverlay()->isVisible());
}

TEST_F (StopHandover, AudioThreadNeverUsesAWriterBeingDeleted)
{
    gate.signal();
    std::atomic<bool> running { true };

    // A stand-in for the device's thread, delivering blocks as fast as it can.
    std::thread audio ([this, &running]
    {
        juce::AudioBuffer<float> own (4, 64);

        while (running)
            mc->getNextAudioBlock (juce::AudioSourceChannelInfo (&own, 0, 64));
    });

    juce::Thread::sleep (50);
    mc->buttonClicked (&access.stopButton());
    waitForCleanUp();
    juce::Thread::sleep (50);
    running = false;
    audio.join();

    EXPECT_EQ (writersDeleted.load(), 4);
    EXPECT_FALSE (mc->isRecording);
}

// A disk that stops taking data holds its writer's thread inside a write. That writer is
// given up once it has written nothing for ten seconds; the others' files are finished,
// and so is a later take, on writer threads that the given-up writer does not hold. When
// the stuck write fails at last, during the later take, that take runs on untouched.
TEST_F (StopHandover, AWriterWhoseDiskStopsIsGivenUpAndTheOthersAreFinished)
{
    gate.signal();
    mc->buttonClicked (&access.stopButton());
    waitForCleanUp();
    writersDeleted = 0;
    juce::WaitableEvent stoppedDisk { true }, stuckWriteFailed;
    juce::TimeSliceThread othersThread ("other writers");
    othersThread.startThread();
    access.startTakeOnWriters (16, [&, made = 0] () mutable
    {
        if (made++ != 2)
            return new GatedWriter (gate, &writersDeleted);

        return new GatedWriter (stoppedDisk, &writersDeleted, [&, report = access.failureReportOfThisTake()]
        {
            report();
            stuckWriteFailed.signal();
        });
    }, [&] (int slot) { return slot == 2 ? nullptr : &othersThread; });
    auto* stuck = access.threadedWriters()[2];
    feedBlocks (8);
    mc->buttonClicked (&access.stopButton());

    for (int i = 0; i < 1500 && access.writersBusy() != 0; ++i)
        juce::Thread::sleep (10);

    EXPECT_EQ (access.writersBusy(), 0) << "the clean-up waits for ever";
    EXPECT_EQ (writersDeleted.load(), 3);
    access.tick (50);
    EXPECT_EQ (warnings.joinIntoString (";"), "Disk write error");

    const juce::TemporaryFile disk;
    ASSERT_TRUE (disk.getFile().createDirectory());
    ASSERT_NO_THROW (access.startTakeInFolder (16, disk.getFile()));
    feedBlocks (4);
    stoppedDisk.signal();
    ASSERT_TRUE (stuckWriteFailed.wait (60000));
    EXPECT_TRUE (mc->isRecording) << "an earlier take's file ended this take";
    EXPECT_FALSE (access.diskWriteError()) << "an earlier take's file raised this take's alert";
    feedBlocks (4);
    mc->buttonClicked (&access.stopButton());
    waitForCleanUp();

    for (auto& file : disk.getFile().findChildFiles (juce::File::findFiles, false))
        EXPECT_EQ (file.getSize(), 104 + 8 * 256 * 2) << file.getFileName() << ": the header, then every sample";

    delete stuck;   // let go of by the clean-up
    disk.getFile().deleteRecursively();
}
