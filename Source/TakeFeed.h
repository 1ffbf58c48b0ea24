#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

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
      too: once finish returns, no thread of the feed touches a writer or the ring;
    - a writer's thread counts what it has written out into the writer's receiver, which
      finish reads, and detaches before it returns.
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
        refused block; a writer given up by finish is reported the same way, on the
        thread of finish. Returns false when the feed's thread cannot run. */
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

    /** Audio thread: silence for one slot's samples of the reserved block. */
    void silence (int slot, const Space& space) noexcept;

    /** Audio thread: hands the reserved block, as copied, to the feed's thread. */
    void commit (const Space& space) noexcept;

    /** Passes on every block still in the ring and waits until each writer's thread has
        written out all it was given, then lets go of the writers and frees the ring. A
        writer that takes and writes nothing for `stallLimitMs` (its thread cannot run, or
        its disk has stopped taking data) is given up: the rest of its audio is dropped
        and its slot is returned, so that the caller does not wait for it again. Nothing
        is passed on after a refusal while the take ran. Call it only once the audio
        thread has left the take. */
    juce::Array<int> finish();

    /** How long a writer may take and write nothing at all before finish gives it up. */
    static constexpr juce::uint32 stallLimitMs = 10000;

    /** How long the feed's thread sleeps between two hand-overs while a take runs. */
    static constexpr int defaultPassIntervalMs = 10;

private:
    void run() override;
    void passOnReady();
    bool passOn (juce::AudioFormatWriter::ThreadedWriter& writer, int slot, int start, int size);
    void reportRefusal();

    struct Rest;
    juce::Array<int> passOnRest();
    bool stepRest (juce::AudioFormatWriter::ThreadedWriter& writer, int slot, Rest& state, const Space& rest);

    /** Counts the samples that a writer's thread has written out. */
    struct WrittenCount : juce::AudioFormatWriter::ThreadedWriter::IncomingDataReceiver
    {
        void reset (int, double, juce::int64) override   { written = 0; }
        void addBlock (juce::int64 first, const juce::AudioBuffer<float>&, int, int n) override   { written = first + n; }
        std::atomic<juce::int64> written { 0 };
    };

    static void keepForGood (WrittenCount* count);

    /** How long finish sleeps when no writer took a piece, and the samples of a piece. */
    static constexpr int roomWaitMs = 2, roomWaitPiece = 256;
    const int passIntervalMs;

    std::mutex passing;
    std::atomic<bool> active { false };

    // Set by start, used under `passing`, dropped by finish.
    Writers* writers = nullptr;
    std::function<void()> refusedCallback;
    bool refused = false;
    std::vector<juce::int64> passedOn;          // samples each slot's writer has taken
    juce::OwnedArray<WrittenCount> writtenOut;  // and written out, one receiver a slot

    juce::AbstractFifo fifo { 1 };
    juce::AudioBuffer<float> ring;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TakeFeed)
};
