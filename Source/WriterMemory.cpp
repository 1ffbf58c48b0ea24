#include "WriterMemory.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/mman.h>

namespace WriterMemory
{
    AddressRanges writableAnonymousMemory()
    {
        AddressRanges ranges;
        std::ifstream maps ("/proc/self/maps");

        for (std::string line; std::getline (maps, line);)
        {
            unsigned long start = 0, end = 0;
            char permissions[5] = {};
            int pathStart = 0;

            if (std::sscanf (line.c_str(), "%lx-%lx %4s %*s %*s %*s %n", &start, &end, permissions, &pathStart) < 3)
                continue;

            const auto path = pathStart > 0 ? line.substr ((size_t) pathStart) : std::string();

            if (std::string (permissions) == "rw-p" && (path.empty() || path == "[heap]"))
                ranges.emplace_back ((std::uintptr_t) start, (std::uintptr_t) end);
        }

        return ranges;
    }

    size_t prefaultMemoryMappedSince (const AddressRanges& before)
    {
        size_t backed = 0;

        const auto populate = [&backed] (std::uintptr_t from, std::uintptr_t to)
        {
            // Makes the pages present and writable without changing what they hold; a kernel
            // without this advice refuses it, and the pages fault in later as before.
            if (to > from && madvise ((void*) from, to - from, MADV_POPULATE_WRITE) == 0)
                backed += to - from;
        };

        for (const auto& [start, end] : writableAnonymousMemory())
        {
            auto from = start;

            for (const auto& [oldStart, oldEnd] : before)
            {
                if (oldEnd <= from || oldStart >= end)
                    continue;

                populate (from, oldStart);
                from = std::max (from, oldEnd);
            }

            populate (from, end);
        }

        return backed;
    }
}
