#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

//==============================================================================
/** The memory a take's writers and feed are given before the take starts.

    Each writer's five-second buffer and the feed's ring are fresh memory whose pages
    would otherwise be faulted in one by one by the audio thread, the first time it writes
    to them: with hundreds of channels that makes the first seconds of a take miss the
    device's deadlines. Record takes a snapshot of the process's memory, makes the take's
    buffers, and has everything mapped since the snapshot backed at once.
*/
namespace WriterMemory
{
    /** Address ranges of the process's private read-write anonymous memory (the heap
        among it), in ascending order, as the kernel lists them. */
    using AddressRanges = std::vector<std::pair<std::uintptr_t, std::uintptr_t>>;
    AddressRanges writableAnonymousMemory();

    /** Has the kernel back, now, every page of such memory that was not mapped at
        `before`, so that its first use does not fault. Returns the bytes so backed. */
    size_t prefaultMemoryMappedSince (const AddressRanges& before);
}
