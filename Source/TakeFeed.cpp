#include "TakeFeed.h"

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

void TakeFeed::commit (const Space& space) noexcept
{
    if (space.fits)
        fifo.finishedWrite (space.size1 + space.size2);
}

void TakeFeed::finish()
{
    active = false;
    const std::scoped_lock lock (passing);

    if (writers != nullptr)
        passOnReady (true);

    writers = nullptr;
    refusedCallback = nullptr;
    ring = juce::AudioBuffer<float>();
}

void TakeFeed::run()
{
    while (! threadShouldExit())
    {
        {
            const std::scoped_lock lock (passing);

            if (active && writers != nullptr)
                passOnReady (false);
        }

        wait (active ? passIntervalMs : -1);
    }
}

/** Under `passing`: everything committed so far, to every writer, in slot order. While
    the take runs, a writer with no room ends the feed (its disk cannot keep up); once the
    take has stopped, the rest waits for room instead, so that a slow disk loses nothing
    that the take had already taken. */
void TakeFeed::passOnReady (bool waitForRoom)
{
    int start1, size1, start2, size2;
    fifo.prepareToRead (fifo.getNumReady(), start1, size1, start2, size2);

    if (size1 + size2 == 0)
        return;

    for (int slot = 0; slot < writers->size() && ! refused; ++slot)
    {
        if (auto* writer = writers->getUnchecked (slot))
        {
            if (! passOn (*writer, slot, start1, size1, waitForRoom) || ! passOn (*writer, slot, start2, size2, waitForRoom))
            {
                refused = true;

                if (refusedCallback != nullptr)
                    refusedCallback();
            }
        }
    }

    fifo.finishedRead (size1 + size2);
}

bool TakeFeed::passOn (juce::AudioFormatWriter::ThreadedWriter& writer, int slot, int start, int size, bool waitForRoom)
{
    if (size <= 0)
        return true;

    const float* samples = ring.getReadPointer (slot, start);

    if (! waitForRoom)
        return writer.write (&samples, size);

    // A writer's thread drains its buffer whether or not the disk takes the data, so room
    // always comes, and a disk that refuses is reported by the file's own stream. The
    // rest goes in pieces, each one small enough for the room a writer makes.
    for (int done = 0; done < size;)
    {
        const auto n = juce::jmin (size - done, roomWaitPiece);
        const float* piece = samples + done;

        while (! writer.write (&piece, n))
            juce::Thread::sleep (roomWaitMs);

        done += n;
    }

    return true;
}
