#include "JackTest.h"
#include "MainComponentTestAccess.h"

#include <gtest/gtest.h>

using MainComponentOnJack = JackTest;

TEST_F (MainComponentOnJack, OpensTheSignalClientAndShutsDownCleanlyAgainAndAgain)
{
    testjack::SignalSource source ("velmora-signal", 8);
    ASSERT_TRUE (source.isRunning());

    for (int round = 0; round < 3; ++round)
    {
        auto mc = std::make_unique<MainComponent>();
        MainComponentTestAccess access (*mc);

        access.chooseDevice ("velmora-signal");
        auto* device = access.deviceManager().getCurrentAudioDevice();
        ASSERT_NE (device, nullptr);
        EXPECT_EQ (device->getTypeName(), "JACK");
        EXPECT_EQ (device->getActiveInputChannels().countNumberOfSetBits(), 8);

        juce::Thread::sleep (100);   // let audio callbacks run against the strip
        access.tick (50);
        mc.reset();
    }
}
