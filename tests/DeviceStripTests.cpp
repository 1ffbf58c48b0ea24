#include "JackTest.h"
#include "MainComponentTestAccess.h"
#include "TestSignal.h"
#include "UiDriver.h"

#include <gtest/gtest.h>

namespace
{
    class DeviceStrip : public JackTest
    {
    protected:
        void SetUp() override
        {
            JackTest::SetUp();

            if (HasFatalFailure())
                return;

            eight = std::make_unique<testjack::SignalSource> ("velmora-signal", 8);
            many = std::make_unique<testjack::SignalSource> ("velmora-wide", 24);
            ASSERT_TRUE (eight->isRunning() && many->isRunning());
            mc = std::make_unique<MainComponent>();
            access = std::make_unique<MainComponentTestAccess> (*mc);
        }

        void TearDown() override
        {
            access.reset();
            mc.reset();
        }

        std::unique_ptr<testjack::SignalSource> eight, many;
        std::unique_ptr<MainComponent> mc;
        std::unique_ptr<MainComponentTestAccess> access;
    };
}

TEST_F (DeviceStrip, DeviceListHoldsEveryJackClientWithOutputsNumberedAcrossTypes)
{
    auto& combo = access->deviceCombo();
    juce::StringArray names;

    for (int i = 0; i < combo.getNumItems(); ++i)
    {
        EXPECT_EQ (combo.getItemId (i), i + 1) << "ids run on across the device types";
        names.add (combo.getItemText (i));
    }

    EXPECT_TRUE (names.contains ("velmora-signal"));
    EXPECT_TRUE (names.contains ("velmora-wide"));
    EXPECT_FALSE (names.contains ("Velmora Recorder")) << "our own client is not an input";
    EXPECT_EQ (combo.getSelectedId(), 0) << "nothing chosen without a settings file";
    EXPECT_EQ (access->deviceManager().getCurrentAudioDevice(), nullptr);
}

/** The channel count of a signal client of the fixture: 8 or 24. */
class DeviceStripColumns : public DeviceStrip, public ::testing::WithParamInterface<int> {};

TEST_P (DeviceStripColumns, ChoosingADeviceBuildsOneColumnPerInput)
{
    const auto channels = GetParam();
    access->chooseDevice (channels == 8 ? "velmora-signal" : "velmora-wide");

    auto* device = access->deviceManager().getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getActiveInputChannels().countNumberOfSetBits(), channels);
    EXPECT_EQ (device->getActiveOutputChannels().countNumberOfSetBits(), 0);
    ASSERT_EQ (access->channelBoxes().size(), channels);
    ASSERT_EQ (access->vuMeters().size(), channels);
    EXPECT_EQ (access->meterLevels().size(), channels);
    EXPECT_EQ (access->envFollowers().size(), channels);
    EXPECT_EQ (access->numInputChannels(), channels);

    for (int i = 0; i < channels; ++i)
    {
        auto* box = access->channelBoxes()[i];
        EXPECT_EQ (box->getName(), "cb" + juce::String (i));
        EXPECT_EQ (box->label, juce::String (i + 1));
        EXPECT_EQ (box->getBounds(), juce::Rectangle<int> (40 * i, 3, 40, 30));
        EXPECT_EQ (box->getParentComponent(), &access->channelStrip());
        EXPECT_FALSE (box->getToggleState());
        EXPECT_EQ (access->vuMeters()[i]->getBounds(), juce::Rectangle<int> (40 * i + 5, 45, 30, 130));
    }

    const bool scrolls = channels * 40 > 780;
    EXPECT_EQ (access->channelStrip().getWidth(), scrolls ? channels * 40 : 780);
    EXPECT_EQ (access->channelStrip().getHeight(), 180);
    EXPECT_EQ (access->channelViewport().getHorizontalScrollBar().isVisible(), scrolls);
    EXPECT_FALSE (access->channelViewport().getVerticalScrollBar().isVisible());
    EXPECT_EQ (access->channelViewport().getScrollBarThickness(), 10);

    EXPECT_TRUE (access->bitsCombo().isEnabled());
    EXPECT_TRUE (access->sampleRateCombo().isEnabled());
    EXPECT_FALSE (access->recordButton().isEnabled());
    EXPECT_EQ (access->widget ("checkAllBox").getParentComponent(), &access->widget ("mainPanel"));
    EXPECT_EQ (access->widget ("checkAllBox").getBounds(), juce::Rectangle<int> (760, 395, 30, 20));
}

INSTANTIATE_TEST_SUITE_P (Clients, DeviceStripColumns,
                          ::testing::Values (8, 24), [] (const auto& p) { return std::to_string (p.param) + "Inputs"; });

TEST_F (DeviceStrip, RateListShowsTheRunningRateAndADeviceChoiceRefillsIt)
{
    access->chooseDevice ("velmora-signal");
    auto& rates = access->sampleRateCombo();
    ASSERT_EQ (rates.getNumItems(), 1);
    EXPECT_EQ (rates.getItemText (0), "48000");
    EXPECT_EQ (rates.getItemId (0), 48000);
    EXPECT_EQ (rates.getSelectedId(), 48000);
    EXPECT_EQ (access->currentSampleRate(), 48000);

    // Choosing the rate the device already runs at changes nothing: same boxes, same ticks.
    ASSERT_EQ (access->channelBoxes().size(), 8);
    UiDriver ui (*mc);
    ui.click (*access->channelBoxes()[2]);
    auto* box = access->channelBoxes()[2];
    rates.setSelectedId (48000, juce::sendNotificationSync);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    EXPECT_EQ (access->channelBoxes()[2], box);
    EXPECT_TRUE (box->getToggleState());

    // Another device: the list is cleared, refilled and selected again.
    access->chooseDevice ("velmora-wide");
    juce::MessageManager::getInstance()->runDispatchLoopUntil (100);   // the clear's asynchronous notice
    ASSERT_EQ (rates.getNumItems(), 1);
    EXPECT_EQ (rates.getSelectedId(), 48000);
    EXPECT_EQ (access->channelBoxes().size(), 24);
}

TEST_F (DeviceStrip, TickedBoxesMakeTheSelectionAndEnableRecord)
{
    access->chooseDevice ("velmora-signal");
    ASSERT_EQ (access->channelBoxes().size(), 8);
    UiDriver ui (*mc);

    ui.click (*access->channelBoxes()[2]);
    ui.click (*access->channelBoxes()[0]);
    EXPECT_EQ (access->selectedChannels(), juce::Array<int> ({ 0, 2 }));
    EXPECT_EQ (access->numSelectedChannels(), 2);
    EXPECT_TRUE (access->recordButton().isEnabled());

    ui.click (*access->channelBoxes()[0]);
    ui.click (*access->channelBoxes()[2]);
    EXPECT_TRUE (access->selectedChannels().isEmpty());
    EXPECT_FALSE (access->recordButton().isEnabled());

    // Select all ticks every box without a click of its own; a new device starts unticked
    // while the select-all box keeps its tick.
    ui.click (access->checkAllBox());
    EXPECT_EQ (access->numSelectedChannels(), 8);
    access->chooseDevice ("velmora-wide");
    EXPECT_TRUE (access->checkAllBox().getToggleState());
    EXPECT_EQ (access->numSelectedChannels(), 0);

    for (auto* box : access->channelBoxes())
        EXPECT_FALSE (box->getToggleState());
}

TEST_F (DeviceStrip, MetersMoveWithTheSignal)
{
    access->chooseDevice ("velmora-signal");
    juce::Thread::sleep (300 * testjack::slowdown);
    access->tick (50);
    ASSERT_EQ (access->meterLevels().size(), 8);
    ASSERT_EQ (access->vuMeters().size(), 8);

    for (int c = 0; c < 8; ++c)
    {
        EXPECT_GT (access->meterLevels()[c]->load(), 0.1f) << "channel " << c;
        EXPECT_GT (access->vuMeters()[c]->level, 0.5f) << "channel " << c;
    }
}

TEST_F (DeviceStrip, LevelSlotsHoldTheEnvelopeOfEachChannelsSamples)
{
    access->chooseDevice ("velmora-signal");
    access->deviceManager().closeAudioDevice();   // from here on only this test feeds blocks
    ASSERT_EQ (access->meterLevels().size(), 8);

    const auto coefficients = CEnvFollower::coefficientsFor (48000.0f);
    std::vector<CEnvFollower> reference (8, CEnvFollower (coefficients));
    juce::AudioBuffer<float> block (8, 256);
    uint32_t frame = 0;

    for (int b = 0; b < 40; ++b, frame += 256)
    {
        for (int c = 0; c < 8; ++c)
            for (int i = 0; i < 256; ++i)
            {
                // a burst on the even channels, decaying silence on the odd ones after a while
                const float s = (c % 2 == 0 || b < 10) ? testsignal::sample (c, frame + (uint32_t) i) * 0.5f : 0.0f;
                block.setSample (c, i, s);
                reference[(size_t) c].process (s);
            }

        mc->getNextAudioBlock (juce::AudioSourceChannelInfo (&block, 0, 256));

        for (int c = 0; c < 8; ++c)
            ASSERT_EQ (access->meterLevels()[c]->load(), reference[(size_t) c].envelope) << "block " << b << " channel " << c;

        EXPECT_EQ (block.getMagnitude (0, 256), 0.0f) << "the recorder plays nothing";
    }
}

TEST_F (DeviceStrip, ReopeningWhileAudioRunsIsClean)
{
    // Each reopening is a JACK client's whole life, many times longer in a sanitizer
    // build; there the sanitizer checks every round, so fewer rounds are enough.
    const int reopenings = testjack::slowdown == 1 ? 200 : 20;

    for (int i = 0; i < reopenings; ++i)
        access->chooseDevice (i % 2 == 0 ? "velmora-signal" : "velmora-wide");

    ASSERT_EQ (access->channelBoxes().size(), 24);
    juce::Thread::sleep (200 * testjack::slowdown);
    access->tick (50);

    if (testjack::framesAreExact)
    {
        ASSERT_EQ (access->meterLevels().size(), 24);
        EXPECT_GT (access->meterLevels()[23]->load(), 0.0f) << "audio still arrives";
    }
}

TEST_F (DeviceStrip, SavedDeviceAndRateOpenAtTheNextStart)
{
    auto save = [this]
    {
        access->dialogs().inform = [] (const juce::String&) {};
        mc->buttonClicked (&static_cast<juce::Button&> (access->widget ("saveSettingsButton")));
    };

    access->chooseDevice ("velmora-signal");
    access->prefixEditor().setText ("First", false);
    save();
    access->chooseDevice ("velmora-wide");
    access->bitsCombo().setSelectedId (24, juce::dontSendNotification);
    save();
    access->prefixEditor().setText ("Third", false);
    save();

    access.reset();
    mc.reset();
    mc = std::make_unique<MainComponent>();
    access = std::make_unique<MainComponentTestAccess> (*mc);

    auto* device = access->deviceManager().getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (access->deviceCombo().getText(), "velmora-wide");
    EXPECT_EQ (access->channelBoxes().size(), 24);
    EXPECT_EQ (access->sampleRateCombo().getSelectedId(), 48000);
    EXPECT_EQ (access->prefixEditor().getText(), "Third");
    EXPECT_EQ (access->bitsCombo().getSelectedId(), 24);
    EXPECT_TRUE (access->bitsCombo().isEnabled());
}
