#include "AllocationCounter.h"
#include "MainComponentTestAccess.h"

#include <gtest/gtest.h>

// The audio callback must not touch the heap once a device runs: neither while it only
// meters nor while it feeds a take's writers.
TEST (AudioCallbackAllocations, CounterSeesAllocations)
{
    alloccount::start();
    auto kept = std::make_unique<std::vector<int>> (100);
    juce::String text ("a string long enough to live on the heap, not in a small buffer");
    EXPECT_GE (alloccount::stop(), 2);
}

TEST (AudioCallbackAllocations, NoneWhileMeteringOrRecording)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (64, 48000.0);

    juce::AudioBuffer<float> block (64, 256);
    juce::Random random (1);

    for (int c = 0; c < 64; ++c)
        for (int i = 0; i < 256; ++i)
            block.setSample (c, i, random.nextFloat() * 2.0f - 1.0f);

    const juce::AudioSourceChannelInfo info (&block, 0, 256);

    alloccount::start();
    for (int i = 0; i < 100; ++i)
        mc.getNextAudioBlock (info);
    EXPECT_EQ (alloccount::stop(), 0) << "metering";

    access.startTakeOnDiscardingWriters (24);

    alloccount::start();
    for (int i = 0; i < 100; ++i)
        mc.getNextAudioBlock (info);
    const auto whileRecording = alloccount::stop();

    EXPECT_EQ (whileRecording, 0) << "recording";
    EXPECT_TRUE (mc.isRecording);
    EXPECT_EQ (access.bytesWritten(), 100 * 64 * 256 * 3);
}
