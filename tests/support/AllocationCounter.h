#pragma once

/** Heap allocations of the calling thread between start() and stop(). */
namespace alloccount
{
    void start();
    long stop();
}
