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

// What a device delivers, however many channels it has, reaches the component through its
// player without a copy of the channel list on the heap, and every channel is metered
// and recorded: the framework's own player stops at 128 and allocates above 31.
class PlayerChannels : public ::testing::TestWithParam<int> {};

TEST_P (PlayerChannels, EveryChannelArrivesWithoutAllocating)
{
    const int channels = GetParam();
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (channels, 48000.0);
    juce::BigInteger everyInput;
    everyInput.setRange (0, channels, true);
    access.player().routeInputs (everyInput, channels, 256);
    access.player().setSource (&mc);

    juce::AudioBuffer<float> block (channels, 256);
    for (int c = 0; c < channels; ++c)
        juce::FloatVectorOperations::fill (block.getWritePointer (c), 0.5f, 256);

    access.startTakeOnDiscardingWriters (24);
    const juce::AudioIODeviceCallbackContext context;

    alloccount::start();
    for (int i = 0; i < 100; ++i)
        access.player().audioDeviceIOCallbackWithContext (block.getArrayOfReadPointers(), channels, nullptr, 0, 256, context);
    EXPECT_EQ (alloccount::stop(), 0);

    EXPECT_EQ (access.bytesWritten(), (int64_t) 100 * channels * 256 * 3);
    ASSERT_EQ (access.meterLevels().size(), channels);
    EXPECT_GT (access.meterLevels()[channels - 1]->load(), 0.1f) << "the last channel is metered";
    access.player().setSource (nullptr);
}

INSTANTIATE_TEST_SUITE_P (Counts, PlayerChannels, ::testing::Values (64, 200));
