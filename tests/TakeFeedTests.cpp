// The feed between the audio callback and the writers: every block arrives once, in
// order, across the ring's wrap; a refusal ends the feed without a gap in any file; and
// the callback's side of it never waits.
#include "MainComponentTestAccess.h"
#include "JackServer.h"
#include "TakeFeed.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace
{
    /** A float writer that keeps what it is given; optionally each write waits at a gate. */
    class CapturingWriter : public juce::AudioFormatWriter
    {
    public:
        CapturingWriter (std::vector<float>& s, juce::WaitableEvent* g = nullptr)
            : juce::AudioFormatWriter (nullptr, "capture", 48000.0, 1, 32), store (s), gate (g)
        {
            usesFloatingPointData = true;
        }

        bool write (const int** data, int numSamples) override
        {
            if (gate != nullptr)
                gate->wait (-1);

            const auto* samples = reinterpret_cast<const float*> (data[0]);
            store.insert (store.end(), samples, samples + numSamples);
            return true;
        }

    private:
        std::vector<float>& store;
        juce::WaitableEvent* gate;
    };

    /** Sample i of slot s: exact in a float for the lengths used here. */
    float valueAt (int i, int slot)     { return (float) (i * 4 + slot); }

    class Feed : public ::testing::Test
    {
    protected:
        void SetUp() override    { drainer.startThread(); }

        void TearDown() override
        {
            gate.signal();
            feed.finish();
            writers.clear();
        }

        void addWriter (int slot, int bufferSize = 48000, juce::WaitableEvent* writeGate = nullptr)
        {
            writers.set (slot, new juce::AudioFormatWriter::ThreadedWriter (new CapturingWriter (received[(size_t) slot], writeGate),
                                                                             drainer, bufferSize));
        }

        /** The audio thread's side: one block of n samples for every slot; false if refused. */
        bool push (int n)
        {
            const auto space = feed.reserve (n);

            if (! space.fits)
                return false;

            for (int s = 0; s < writers.size(); ++s)
            {
                block.resize ((size_t) n);

                for (int i = 0; i < n; ++i)
                    block[(size_t) i] = valueAt (pushed + i, s);

                feed.copy (s, block.data(), space);
            }

            feed.commit (space);
            pushed += n;
            return true;
        }

        /** Whether slot s got exactly the first `expected` samples of its signal. */
        void expectPrefix (int slot, size_t expected)
        {
            const auto& got = received[(size_t) slot];
            ASSERT_EQ (got.size(), expected) << "slot " << slot;

            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ (got[i], valueAt ((int) i, slot)) << "slot " << slot << ", sample " << i;
        }

        juce::TimeSliceThread drainer { "feed test writer" };
        juce::OwnedArray<juce::AudioFormatWriter::ThreadedWriter> writers;
        std::vector<float> received[4];
        TakeFeed feed;
        juce::WaitableEvent gate { true };
        std::vector<float> block;
        int pushed = 0;
        std::atomic<int> refusals { 0 };
    };
}

TEST_F (Feed, EveryBlockReachesItsWriterOnceAndInOrderAcrossTheWrap)
{
    addWriter (0);
    writers.add (nullptr);   // a channel whose file could not be made
    addWriter (2);
    ASSERT_TRUE (feed.start (writers, 1000, [this] { ++refusals; }));

    // Odd block sizes walk the write position round a 1000-sample ring many times.
    for (int b = 0; b < 400; ++b)
    {
        const auto n = 1 + (b * 37) % 300;

        while (! push (n))
            juce::Thread::sleep (1);   // the ring is full until the feed's thread passes on
    }

    feed.finish();
    writers.clear();   // writes out the writers' own buffers

    EXPECT_EQ (refusals.load(), 0);
    expectPrefix (0, (size_t) pushed);
    expectPrefix (2, (size_t) pushed);
    EXPECT_TRUE (received[1].empty());
}

TEST_F (Feed, AFullRingRefusesTheWholeBlockAndKeepsWhatItHolds)
{
    addWriter (0);
    ASSERT_TRUE (feed.start (writers, 1024, [this] { ++refusals; }));

    // The feed's thread passes on every few milliseconds; blocks pushed at once fill it.
    int refused = 0;

    for (int b = 0; b < 100000 && refused == 0; ++b)
        refused += push (256) ? 0 : 1;

    ASSERT_EQ (refused, 1) << "a full ring must refuse a block rather than overwrite one";

    // Every block taken arrives whole; the refused one leaves no trace.
    feed.finish();
    writers.clear();
    expectPrefix (0, (size_t) pushed);
}

TEST_F (Feed, AWriterThatRefusesEndsTheFeedWithoutAGapInAnyFile)
{
    // Writer 1's thread is held, so its 2000-sample buffer fills; writer 0 drains freely
    // on a thread of its own.
    juce::TimeSliceThread freeDrainer { "free writer" };
    freeDrainer.startThread();
    gate.reset();
    writers.add (new juce::AudioFormatWriter::ThreadedWriter (new CapturingWriter (received[0]), freeDrainer, 48000));
    addWriter (1, 2000, &gate);
    ASSERT_TRUE (feed.start (writers, 48000, [this] { ++refusals; }));

    for (int b = 0; b < 400 && refusals == 0; ++b)
    {
        ASSERT_TRUE (push (100));
        juce::Thread::sleep (1);
    }

    // The refusal comes with the feed thread's next turn, however late a busy machine gives it.
    for (int i = 0; i < 500 * testjack::slowdown && refusals == 0; ++i)
        juce::Thread::sleep (10);

    ASSERT_EQ (refusals.load(), 1);

    // What the audio thread hands on after the refusal must not follow it into the files.
    for (int b = 0; b < 20; ++b)
        push (100);

    gate.signal();
    feed.finish();
    writers.clear();

    EXPECT_EQ (refusals.load(), 1) << "reported once";
    const auto kept0 = received[0].size();
    const auto kept1 = received[1].size();
    EXPECT_LT (kept0, (size_t) pushed);
    EXPECT_LT (kept1, 2000u);
    expectPrefix (0, kept0);
    expectPrefix (1, kept1);
}

TEST_F (Feed, FinishingAFeedThatNeverStartedTouchesNothing)
{
    feed.finish();
    addWriter (0);
    ASSERT_TRUE (feed.start (writers, 500, {}));
    ASSERT_TRUE (push (300));
    feed.finish();
    feed.finish();
    writers.clear();
    expectPrefix (0, 300);
}

//==============================================================================
// The audio callback on a take: it hands blocks to the feed and never sleeps, however
// busy the writer threads are. A callback that called a threaded writer itself woke the
// writer thread through a mutex that thread holds too, and slept there.
TEST (AudioCallbackWaits, NoneWhileTheWritersWork)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (64, 48000.0);
    access.startTakeOnDiscardingWriters (24);

    juce::AudioBuffer<float> block (64, 256);
    block.clear();
    const juce::AudioSourceChannelInfo info (&block, 0, 256);

    // A block every 2 ms, three times as fast as the device would: the writer threads wake
    // and sleep all the while. The whole test is 4.6 s of audio, less than the writers
    // hold, so no slow writer (as under a sanitizer) can end the take before it ends; and
    // a block is held back, spinning, until the feed's ring has room for it, so that a
    // feed thread that seldom gets a turn (a busy machine) cannot end it either.
    const auto deliver = [&] (int blocks)
    {
        for (int i = 0; i < blocks; ++i)
        {
            while (! access.takeFeed().reserve (256).fits) {}

            mc.getNextAudioBlock (info);
            const auto until = juce::Time::getHighResolutionTicks() + juce::Time::secondsToHighResolutionTicks (0.002);

            while (juce::Time::getHighResolutionTicks() < until) {}
        }
    };

    // The first pass round the feed's ring touches its pages, which a take has backed
    // before it starts and this test has not; a first touch can wait for the memory map.
    deliver (200);

    rusage before {}, after {};
    getrusage (RUSAGE_THREAD, &before);
    deliver (600);
    getrusage (RUSAGE_THREAD, &after);

    EXPECT_TRUE (mc.isRecording);
    EXPECT_EQ (after.ru_nvcsw - before.ru_nvcsw, 0) << "the callback waited";
}

// A stop right after the callback's last block: that block and every one before it reach
// the files, although the feed's thread had not yet passed them on.
TEST (FeedOnStop, EveryBlockTakenBeforeTheStopReachesItsFile)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (4, 48000.0);
    ASSERT_EQ (access.channelBoxes().size(), 4);

    std::vector<float> received[4];
    int made = 0;
    access.startTakeOnWriters (16, [&] { return new CapturingWriter (received[made++]); });

    juce::AudioBuffer<float> block (4, 256);
    const juce::AudioSourceChannelInfo info (&block, 0, 256);

    for (int b = 0; b < 40; ++b)
    {
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < 256; ++i)
                block.setSample (c, i, valueAt (b * 256 + i, c));

        mc.getNextAudioBlock (info);
    }

    mc.buttonClicked (&access.stopButton());

    for (int i = 0; i < 500 && access.writersBusy() != 0; ++i)
        juce::Thread::sleep (10);

    ASSERT_EQ (access.writersBusy(), 0);

    for (int c = 0; c < 4; ++c)
    {
        ASSERT_EQ (received[c].size(), 40u * 256) << "channel " << c;

        for (size_t i = 0; i < received[c].size(); ++i)
            ASSERT_EQ (received[c][i], valueAt ((int) i, c)) << "channel " << c << ", sample " << i;
    }
}

// At a stop, blocks still in the ring meet a writer whose buffer is full, as behind a
// slow disk: they wait for its thread to make room instead of being dropped.
TEST (FeedOnStop, AWriterWithNoRoomIsWaitedForAndLosesNothing)
{
    juce::TimeSliceThread drainer ("feed test writer");
    drainer.startThread();
    std::vector<float> received;
    juce::WaitableEvent gate { true };
    juce::OwnedArray<juce::AudioFormatWriter::ThreadedWriter> writers;
    writers.add (new juce::AudioFormatWriter::ThreadedWriter (new CapturingWriter (received, &gate), drainer, 1024));

    // The feed's own thread is given no turn while the take runs: what the test pushes
    // is all still in the ring when the take stops.
    TakeFeed feed (60 * 1000);
    std::atomic<int> refusals { 0 };
    ASSERT_TRUE (feed.start (writers, 48000, [&refusals] { ++refusals; }));
    juce::Thread::sleep (200 * testjack::slowdown);   // past the feed thread's first, empty turn

    constexpr int total = 32 * 256;
    std::vector<float> block (256);

    for (int pushed = 0; pushed < total; pushed += 256)
    {
        const auto space = feed.reserve (256);
        ASSERT_TRUE (space.fits);

        for (int i = 0; i < 256; ++i)
            block[(size_t) i] = valueAt (pushed + i, 0);

        feed.copy (0, block.data(), space);
        feed.commit (space);
    }

    std::thread slowDisk ([&gate] { juce::Thread::sleep (300); gate.signal(); });
    feed.finish();
    slowDisk.join();
    writers.clear();   // writes out what the writer still holds

    EXPECT_EQ (refusals.load(), 0) << "no alert for a take that has stopped";
    ASSERT_EQ (received.size(), (size_t) total);

    for (size_t i = 0; i < received.size(); ++i)
        ASSERT_EQ (received[i], valueAt ((int) i, 0)) << "sample " << i;
}
