// The take's files on disk: a write that fails is seen even where the framework's own
// stream would hide it, as the files are finalised.
#include "MainComponentTestAccess.h"
#include "TestSignal.h"
#include "WavChecker.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

//==============================================================================
// The disk fills after the take's last header update, while the last buffers still wait
// in the streams: they go to the disk only as Stop finalises the files.
TEST (LastFlush, ADiskThatFillsAsTheTakeStopsGivesOneAlertAndFilesWhoseHeadersFit)
{
    const auto disk = juce::File::createTempFile ("velmora-last-flush");
    ASSERT_TRUE (disk.createDirectory());

    if (mount ("tmpfs", disk.getFullPathName().toRawUTF8(), "tmpfs", 0, "size=1m") != 0)
    {
        const auto error = errno;
        disk.deleteRecursively();
        GTEST_SKIP() << "mounting a small tmpfs needs root: " << strerror (error);
    }

    juce::StringArray warnings;
    {
        MainComponent mc;
        MainComponentTestAccess access (mc);
        access.dialogs().warnAsync = [&warnings] (const juce::String& title, const juce::String& message)
        {
            warnings.add (title + "|" + message);
        };

        access.buildStrip (2, 48000.0);
        ASSERT_NO_THROW (access.startTakeInFolder (16, disk));

        // 1.2 seconds: the header is brought up to date after the first second.
        juce::AudioBuffer<float> block (2, 256);
        for (uint32_t frame = 0; frame < 48000 * 6 / 5; frame += 256)
        {
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 256; ++i)
                    block.setSample (c, i, testsignal::sample (c, frame + (uint32_t) i));

            // At the pace of a device, roughly: the feed's ring holds one second, and a
            // block waits for room in it while the feed's thread gets no turn.
            while (! access.takeFeed().reserve (256).fits)
                juce::Thread::sleep (1);

            mc.getNextAudioBlock (juce::AudioSourceChannelInfo (&block, 0, 256));

            if ((frame / 256) % 20 == 19)
                juce::Thread::sleep (50);
        }

        const auto first = disk.getChildFile ("Track01.wav");
        for (int i = 0; i < 500 && first.getSize() < 44100 * 2; ++i)
            juce::Thread::sleep (10);
        ASSERT_GE (first.getSize(), 44100 * 2) << "the first second reached the disk";
        juce::Thread::sleep (100);

        juce::FileOutputStream filler (disk.getChildFile ("filler"), 0);
        const std::vector<char> chunk (4096);
        while (filler.write (chunk.data(), chunk.size())) {}

        EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
        mc.buttonClicked (&access.stopButton());

        for (int i = 0; i < 500 && access.writersBusy() != 0; ++i)
            juce::Thread::sleep (10);
        ASSERT_EQ (access.writersBusy(), 0);
        access.tick (50);
    }

    EXPECT_EQ (warnings.joinIntoString (";"), "Disk write error|There was an error while writing on disk.\n"
                                              "Make sure your disk is fast enough to record 2 channels.");

    for (int c = 0; c < 2; ++c)
    {
        const auto name = "Track0" + juce::String (c + 1) + ".wav";
        const auto wav = wavcheck::readWav (disk.getChildFile (name).getFullPathName().toStdString());
        const auto report = wavcheck::checkWav (wav, c);
        const auto what = name + ": " + juce::String (wavcheck::describe (wav, report));

        EXPECT_TRUE (wav.readable && wav.headerMatchesFile) << what;
        EXPECT_GE (wav.numFrames, 44100u) << what;
        EXPECT_EQ (report.detectedChannel, c) << what;
        EXPECT_EQ (report.numDiscontinuities, 0u) << what;
    }

    umount2 (disk.getFullPathName().toRawUTF8(), MNT_DETACH);
    disk.deleteRecursively();
}

//==============================================================================
// A disk that takes every write into its cache and fails only as the cache goes to the
// disk, as network storage can: ext4 on an image that lies on a full tmpfs. The take
// gets its one alert from the sync at Stop.
TEST (LastFlush, ADiskThatFailsOnlyWhenSyncedGivesTheTakeItsAlert)
{
    const auto root = juce::File::createTempFile ("velmora-sync");
    const auto backing = root.getChildFile ("backing"), disk = root.getChildFile ("disk");
    const auto image = "'" + backing.getChildFile ("disk.img").getFullPathName() + "' ";
    const auto run = [] (const juce::String& command) { return std::system ((command + " >/dev/null 2>&1").toRawUTF8()) == 0; };
    const std::shared_ptr<void> unmount (nullptr, [&] (void*)
    {
        umount2 (disk.getFullPathName().toRawUTF8(), MNT_DETACH);
        umount2 (backing.getFullPathName().toRawUTF8(), MNT_DETACH);
        root.deleteRecursively();
    });

    if (! backing.createDirectory() || ! disk.createDirectory()
        || mount ("tmpfs", backing.getFullPathName().toRawUTF8(), "tmpfs", 0, "size=64m") != 0
        || ! run ("truncate -s 16M " + image) || ! run ("mkfs.ext4 -q -F -O ^has_journal -E lazy_itable_init=0 " + image)
        || ! run ("mount -o loop " + image + "'" + disk.getFullPathName() + "'"))
        GTEST_SKIP() << "needs root, mkfs.ext4 and loop devices";

    run ("dd if=/dev/zero bs=4k of='" + backing.getChildFile ("filler").getFullPathName() + "'");   // until the tmpfs is full
    juce::StringArray warnings;
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.dialogs().warnAsync = [&warnings] (const juce::String& title, const juce::String&) { warnings.add (title); };
    access.buildStrip (2, 48000.0);
    ASSERT_NO_THROW (access.startTakeInFolder (16, disk));

    juce::AudioBuffer<float> block (2, 256);
    block.clear();
    for (int b = 0; b < 40; ++b)
        mc.getNextAudioBlock (juce::AudioSourceChannelInfo (&block, 0, 256));

    mc.buttonClicked (&access.stopButton());
    for (int i = 0; i < 500 && access.writersBusy() != 0; ++i)
        juce::Thread::sleep (10);

    access.tick (50);
    EXPECT_EQ (warnings.joinIntoString (";"), "Disk write error");
}
