#include "MainComponentTestAccess.h"

#include <gtest/gtest.h>

namespace
{
    constexpr juce::int64 GiB = 1024LL * 1024 * 1024;

    juce::String remaining (juce::int64 freeBytes, float written, float rate, int bits, int channels)
    {
        return MainComponent::diskFigureTexts (freeBytes, written, rate, bits, channels).timeRemaining;
    }
}

TEST (DiskFigures, TextsForTwoChannelsAt48kHz24BitWithTenGibibytesFree)
{
    const auto texts = MainComponent::diskFigureTexts (10 * GiB, 0.0f, 48000.0f, 24, 2);
    EXPECT_EQ (texts.diskSpace, "Disk space: 10240.00 Mb");
    EXPECT_EQ (texts.timeRemaining, "Time remaining (rec): 10.36 Hours");
    EXPECT_EQ (texts.spaceOccupied, "Space occupied: 0.00 Mb");
}

TEST (DiskFigures, RemainingTimeChangesUnitAtOneMinuteAndOneHour)
{
    // 16 bit, 48 kHz, one channel: 96000 bytes a second.
    EXPECT_EQ (remaining (96000LL * 30, 0, 48000, 16, 1), "Time remaining (rec): 30 Sec");
    EXPECT_EQ (remaining (96000LL * 60, 0, 48000, 16, 1), "Time remaining (rec): 1.00 Min");
    EXPECT_EQ (remaining (96000LL * 3600, 0, 48000, 16, 1), "Time remaining (rec): 1.00 Hours");
    EXPECT_EQ (remaining (96000LL * 90, 96000.0f * 30, 48000, 16, 1), "Time remaining (rec): 1.50 Min")
        << "the free space the volume reports already excludes the take's bytes";
    EXPECT_EQ (remaining (96000, 0, 48000, 16, 1), "Time remaining (rec): 1 Sec");
    EXPECT_EQ (remaining (96000LL * 7, 0, 48000, 16, 3), "Time remaining (rec): 2.33333 Sec");
}

TEST (DiskFigures, NothingToRecordOrNothingKnownAboutTheDisk)
{
    EXPECT_EQ (remaining (10 * GiB, 0, 48000, 24, 0), "Time remaining (rec): ...");
    EXPECT_EQ (remaining (10 * GiB, 0, 0, 24, 2), "Time remaining (rec): ...");

    const auto unknownDisk = MainComponent::diskFigureTexts (0, 0.0f, 48000.0f, 16, 1);
    EXPECT_EQ (unknownDisk.diskSpace, "Disk space: ");
    EXPECT_EQ (unknownDisk.timeRemaining, "Time remaining (rec): 0 Sec");

    EXPECT_EQ (MainComponent::diskFigureTexts (GiB, 1.5f * 1024 * 1024, 48000.0f, 16, 1).spaceOccupied, "Space occupied: 1.50 Mb");
}

TEST (Clock, ShowsHoursMinutesSecondsAndTruncatedTenths)
{
    EXPECT_EQ (MainComponent::clockText (0.0f), "00:00:00.0");
    EXPECT_EQ (MainComponent::clockText (3723.47f), "01:02:03.4");
    EXPECT_EQ (MainComponent::clockText (59.99f), "00:00:59.9");
    EXPECT_EQ (MainComponent::clockText (360000.0f), "100:00:00.0") << "more than 99 hours in full";
}

TEST (TimerDuties, ClockMetersAndDiskFiguresRunOnCallbacks20And50And500)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (2, 48000.0);
    ASSERT_EQ (access.meterLevels().size(), 2);
    ASSERT_EQ (access.vuMeters().size(), 2);
    access.meterLevels()[0]->store (0.5f);

    access.tick (19);
    EXPECT_EQ (access.elapsedCounter().timeLabel.getText(), "00:00:00.000");
    access.tick (1);
    EXPECT_EQ (access.elapsedCounter().timeLabel.getText(), "00:00:00.0");
    EXPECT_EQ (access.elapsedCounter().text, "00:00:00.0");

    access.tick (29);
    EXPECT_EQ (access.vuMeters()[0]->level, 0.0f);
    access.tick (1);
    EXPECT_NEAR (access.vuMeters()[0]->level, (20.0f * std::log10 (0.5f) + 42.0f) / 42.0f, 1e-6f);

    access.tick (449);
    EXPECT_TRUE (access.infoPanel().diskSpaceLabel.getText().isEmpty());
    access.tick (1);
    EXPECT_TRUE (access.infoPanel().diskSpaceLabel.getText().startsWith ("Disk space: "));
    EXPECT_EQ (access.infoPanel().timeRemainingLabel.getText(), "Time remaining (rec): ...");
    EXPECT_EQ (access.infoPanel().spaceOccupiedLabel.getText(), "Space occupied: 0.00 Mb");
    EXPECT_EQ (access.infoPanel().path, access.currentFile().getFullPathName());

    // They recur every 20, 50 and 500 callbacks.
    access.meterLevels()[0]->store (1.0f);
    access.tick (49);
    EXPECT_LT (access.vuMeters()[0]->level, 1.0f);
    access.tick (1);
    EXPECT_EQ (access.vuMeters()[0]->level, 1.0f);
}
