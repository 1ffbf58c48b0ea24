#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <atomic>
#include <functional>
#include <mutex>

//==============================================================================
/** Carries a take's blocks from the audio thread to the take's threaded writers.

    The audio thread only copies each block into a ring made before the take, and never
    calls a writer itself. A threaded writer's write wakes its writer thread through a
    mutex that the writer thread takes too; an audio thread that has to wait there while
    the writer thread is off the processor misses the device's deadline, and the device
    drops a whole period from every file. The feed's own thread passes the blocks on,
    a few periods at a time, and takes those waits instead.

    Threads and order:
    - start, then finish: the message thread or the clean-up thread, one at a time;
    - reserve, copy and commit: the audio thread, only between a start and the finish
      that follows it (the caller's barrier, which keeps the audio thread out of the take
      before it finishes, makes sure of that);
    - the feed's thread passes blocks on while holding `passing`, which finish takes
      too: once finish returns, no thread of the feed touches a writer or the ring.
*/
class TakeFeed : private juce::Thread
{
public:
    using Writers = juce::OwnedArray<juce::AudioFormatWriter::ThreadedWriter>;

    /** The feed's thread passes blocks on every `passIntervalMs` while a take runs. */
    explicit TakeFeed (int passIntervalMs = defaultPassIntervalMs);
    ~TakeFeed() override;

    /** Starts feeding `writers`, slot k from ring row k, through a ring of `capacity`
        samples a slot. An empty slot (nullptr) is skipped. When a writer refuses a block
        (its own buffer is full), `onRefused` is called once on the feed's thread, and
        nothing more reaches any writer, so that no file gets a gap in place of the
        refused block. Returns false when the feed's thread cannot run. */
    bool start (Writers& writers, int capacity, std::function<void()> onRefused);

    /** Where one block of n samples goes in every slot's row. */
    struct Space
    {
        int start1 = 0, size1 = 0, start2 = 0, size2 = 0;
        bool fits = false;   // false: the ring has no room for the whole block
    };

    /** Audio thread: room for the next block, reserved for every slot at once. */
    Space reserve (int n) noexcept;

    /** Audio thread: one slot's samples of the reserved block. */
    void copy (int slot, const float* samples, const Space& space) noexcept;

    /** Audio thread: hands the reserved block, as copied, to the feed's thread. */
    void commit (const Space& space) noexcept;

    /** Passes on every block still in the ring, then lets go of the writers and frees
        the ring. A writer whose buffer is full is waited for: its thread makes room. It
        is not passed anything after a refusal while the take ran. Call it only once the
        audio thread has left the take. */
    void finish();

    /** How long the feed's thread sleeps between two hand-overs while a take runs. */
    static constexpr int defaultPassIntervalMs = 10;

private:
    void run() override;
    void passOnReady (bool waitForRoom);
    bool passOn (juce::AudioFormatWriter::ThreadedWriter& writer, int slot, int start, int size, bool waitForRoom);

    /** How long finish sleeps before it offers a piece again to a writer with no room,
        and the samples of a piece. */
    static constexpr int roomWaitMs = 2, roomWaitPiece = 256;
    const int passIntervalMs;

    std::mutex passing;
    std::atomic<bool> active { false };

    // Set by start, used under `passing`, dropped by finish.
    Writers* writers = nullptr;
    std::function<void()> refusedCallback;
    bool refused = false;

    juce::AbstractFifo fifo { 1 };
    juce::AudioBuffer<float> ring;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TakeFeed)
};
