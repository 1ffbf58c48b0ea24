#include "TakeFeed.h"

#include <memory>
#include <utility>

TakeFeed::TakeFeed (int intervalMs) : juce::Thread ("Audio Recorder Feed"), passIntervalMs (intervalMs) {}

TakeFeed::~TakeFeed()
{
    finish();
    stopThread (-1);
}

bool TakeFeed::start (Writers& takeWriters, int capacity, std::function<void()> onRefused)
{
    {
        const std::scoped_lock lock (passing);
        writers = &takeWriters;
        refusedCallback = std::move (onRefused);
        refused = false;
        passedOn.assign ((size_t) takeWriters.size(), 0);
        writtenOut.clear();

        for (auto* writer : takeWriters)
        {
            auto* count = writtenOut.add (new WrittenCount());

            if (writer != nullptr)
                writer->setDataReceiver (count);
        }

        // One sample more than the capacity: the fifo keeps one slot free.
        ring.setSize (juce::jmax (1, takeWriters.size()), capacity + 1, false, false, false);
        fifo.setTotalSize (capacity + 1);   // and empties it
        active = true;
    }

    // Started with the first take, and kept: between takes it sleeps until the next one.
    if (! isThreadRunning() && ! startThread (juce::Thread::Priority::highest))
    {
        finish();
        return false;
    }

    notify();
    return true;
}

TakeFeed::Space TakeFeed::reserve (int n) noexcept
{
    Space space;

    if (n <= 0)
    {
        space.fits = true;
        return space;
    }

    fifo.prepareToWrite (n, space.start1, space.size1, space.start2, space.size2);
    space.fits = space.size1 + space.size2 == n;
    return space;
}

void TakeFeed::copy (int slot, const float* samples, const Space& space) noexcept
{
    ring.copyFrom (slot, space.start1, samples, space.size1);

    if (space.size2 > 0)
        ring.copyFrom (slot, space.start2, samples + space.size1, space.size2);
}

void TakeFeed::silence (int slot, const Space& space) noexcept
{
    ring.clear (slot, space.start1, space.size1);

    if (space.size2 > 0)
        ring.clear (slot, space.start2, space.size2);
}

void TakeFeed::commit (const Space& space) noexcept
{
    if (space.fits)
        fifo.finishedWrite (space.size1 + space.size2);
}

juce::Array<int> TakeFeed::finish()
{
    active = false;
    const std::scoped_lock lock (passing);
    juce::Array<int> givenUp;

    if (writers != nullptr)
    {
        givenUp = passOnRest();

        for (int slot = writers->size(); --slot >= 0;)
        {
            auto* writer = writers->getUnchecked (slot);

            // A given-up writer's thread may be stuck in the disk while it holds the lock
            // that detaching takes (the framework writes a wrapped buffer's second part
            // under it). Its counter stays attached: the thread may still write one day.
            if (givenUp.contains (slot))
                keepForGood (writtenOut.removeAndReturn (slot));
            else if (writer != nullptr)
                writer->setDataReceiver (nullptr);
        }
    }

    writers = nullptr;
    refusedCallback = nullptr;
    ring = juce::AudioBuffer<float>();
    return givenUp;
}

/** The counter of a writer given up lives as long as the process, past every writer
    thread, which the component stops when it goes. */
void TakeFeed::keepForGood (WrittenCount* count)
{
    static std::mutex lock;
    static std::vector<std::unique_ptr<WrittenCount>> kept;
    const std::scoped_lock keeping (lock);
    kept.emplace_back (count);
}

void TakeFeed::run()
{
    while (! threadShouldExit())
    {
        {
            const std::scoped_lock lock (passing);

            if (active && writers != nullptr)
                passOnReady();
        }

        wait (active ? passIntervalMs : -1);
    }
}

/** Under `passing`, while the take runs: everything committed so far, to every writer, in
    slot order. A writer with no room ends the feed: its disk cannot keep up. */
void TakeFeed::passOnReady()
{
    int start1, size1, start2, size2;
    fifo.prepareToRead (fifo.getNumReady(), start1, size1, start2, size2);

    if (size1 + size2 == 0)
        return;

    for (int slot = 0; slot < writers->size() && ! refused; ++slot)
        if (auto* writer = writers->getUnchecked (slot))
            if (! passOn (*writer, slot, start1, size1) || ! passOn (*writer, slot, start2, size2))
                reportRefusal();

    fifo.finishedRead (size1 + size2);
}

bool TakeFeed::passOn (juce::AudioFormatWriter::ThreadedWriter& writer, int slot, int start, int size)
{
    if (size <= 0)
        return true;

    const float* samples = ring.getReadPointer (slot, start);

    if (! writer.write (&samples, size))
        return false;

    passedOn[(size_t) slot] += size;
    return true;
}

/** Under `passing`: the first refusal or given-up writer of a take is reported, once. */
void TakeFeed::reportRefusal()
{
    if (std::exchange (refused, true))
        return;

    if (refusedCallback != nullptr)
        refusedCallback();
}

/** One slot's way through finish. */
struct TakeFeed::Rest
{
    int passed = 0;               // samples of the ring's rest passed on
    juce::int64 written = -1;     // what its writer had written out at the last look
    juce::uint32 movedAt = 0;     // when it last took or wrote out anything
    bool done = false;
};

/** Under `passing`, once the take has stopped: the ring's rest goes to every writer in
    pieces small enough for the room a writer's thread makes, and each writer is waited
    for until it has written out everything. The writers take turns, so that one that has
    stopped does not hold up the others, and a slow disk that still writes is waited for
    as long as it takes: only a writer that has not moved for stallLimitMs is given up. */
juce::Array<int> TakeFeed::passOnRest()
{
    Space rest;
    const auto ready = fifo.getNumReady();
    fifo.prepareToRead (ready, rest.start1, rest.size1, rest.start2, rest.size2);

    // After a refusal nothing more follows into any file, so that none gets a gap.
    if (refused)
        rest = {};

    std::vector<Rest> slots ((size_t) writers->size());
    juce::Array<int> givenUp;

    for (auto& slot : slots)
        slot.movedAt = juce::Time::getMillisecondCounter();

    for (bool waiting = true; waiting;)
    {
        waiting = false;
        bool passedAny = false;

        for (int slot = 0; slot < writers->size(); ++slot)
        {
            auto* writer = writers->getUnchecked (slot);
            auto& state = slots[(size_t) slot];

            if (writer == nullptr || state.done)
                continue;

            const auto now = juce::Time::getMillisecondCounter();
            const auto passedBefore = state.passed;

            if (stepRest (*writer, slot, state, rest))
                state.movedAt = now;
            else if (! state.done && now - state.movedAt >= stallLimitMs)
            {
                state.done = true;
                givenUp.add (slot);
                reportRefusal();
            }

            waiting = waiting || ! state.done;
            passedAny = passedAny || state.passed != passedBefore;
        }

        // Passing pieces on keeps this thread busy; waiting for a writer's thread need not.
        if (waiting && ! passedAny)
            juce::Thread::sleep (roomWaitMs);
    }

    fifo.finishedRead (ready);
    return givenUp;
}

/** One turn of a slot in finish: the next piece of the ring's rest, if its writer has
    room for it, and a look at how far the writer's thread has written out. True when the
    writer took or wrote out anything since the last turn. */
bool TakeFeed::stepRest (juce::AudioFormatWriter::ThreadedWriter& writer, int slot, Rest& state, const Space& rest)
{
    const auto written = writtenOut.getUnchecked (slot)->written.load();
    auto moved = written != state.written;
    state.written = written;
    const auto total = rest.size1 + rest.size2;

    if (state.passed < total)
    {
        const auto inFirst = state.passed < rest.size1;
        const auto start = inFirst ? rest.start1 + state.passed : rest.start2 + state.passed - rest.size1;
        const auto n = juce::jmin (roomWaitPiece, (inFirst ? rest.size1 : total) - state.passed);

        if (passOn (writer, slot, start, n))
        {
            state.passed += n;
            moved = true;
        }
    }
    else
    {
        state.done = written >= passedOn[(size_t) slot];
    }

    return moved;
}
