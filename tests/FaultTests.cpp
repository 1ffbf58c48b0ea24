// Faults under a running take and bad stored input, on the private JACK server: the
// recording folder going away or refusing writes, the device going away, and prefixes or
// folders that would put files somewhere else than the chosen folder.
#include "JackTest.h"
#include "MainComponentTestAccess.h"
#include "TakeGaps.h"
#include "UiDriver.h"
#include "WavChecker.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace
{
    /** Every file below a folder, as paths relative to it, sorted and joined by commas. */
    std::string filesBelow (const juce::File& root)
    {
        juce::StringArray names;

        for (auto& f : root.findChildFiles (juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
            names.add (f.getRelativePathFrom (root));

        names.sort (false);
        return names.joinIntoString (",").toStdString();
    }

    bool shell (const juce::String& command)
    {
        return std::system ((command + " >/dev/null 2>&1").toRawUTF8()) == 0;
    }

    juce::String quoted (const juce::File& f)   { return "'" + f.getFullPathName() + "'"; }

    class Faults : public JackTest
    {
    protected:
        void SetUp() override
        {
            JackTest::SetUp();

            if (HasFatalFailure())
                return;

            source = std::make_unique<testjack::SignalSource> ("velmora-signal", 8);
            ASSERT_TRUE (source->isRunning());
            root = juce::File::createTempFile ("velmora-faults");
            ASSERT_TRUE (root.createDirectory());
            folder = root.getChildFile ("rec");
            ASSERT_TRUE (folder.createDirectory());
        }

        void TearDown() override
        {
            closeRecorder();
            source.reset();

            for (auto& m : mounts)
                umount2 (m.getFullPathName().toRawUTF8(), MNT_DETACH);

            previousDirectory.setAsCurrentWorkingDirectory();
            root.deleteRecursively();
        }

        /** Starts the recorder on the signal client. Without a folder it keeps the one the
            settings file gave. */
        void openRecorder (const juce::File& recordingFolder)
        {
            mc = std::make_unique<MainComponent>();
            access = std::make_unique<MainComponentTestAccess> (*mc);
            ui = std::make_unique<UiDriver> (*mc);

            access->dialogs().askYesNo = [this] (const juce::String& title, const juce::String& message)
            {
                questions.add (title + "|" + message);
                return true;
            };
            access->dialogs().warnAsync = [this] (const juce::String& title, const juce::String& message)
            {
                warnings.add (title + "|" + message);
            };

            if (recordingFolder != juce::File())
                access->folderEditor().setText (recordingFolder.getFullPathName(), false);

            access->chooseDevice ("velmora-signal");
            ASSERT_NE (access->deviceManager().getCurrentAudioDevice(), nullptr);
            gaps.attach (*mc, access->deviceManager());
        }

        void openRecorder()   { openRecorder (folder); }

        void closeRecorder()
        {
            gaps.detach();
            ui.reset();
            access.reset();
            mc.reset();
        }

        /** A settings file that stores a prefix and a folder, as a save would. */
        static void storeSettings (const juce::String& prefix, const juce::String& folderText)
        {
            juce::XmlElement xml ("vrSettings");
            int id = 0;

            for (auto [key, value] : { std::pair { "prefixTB", prefix }, std::pair { "folderTB", folderText } })
            {
                auto* setting = xml.createNewChildElement ("SETTING");
                setting->setAttribute ("ID", id++);
                setting->setAttribute ("Obj", key);
                setting->setAttribute ("Value", value);
            }

            const Settings settings;
            ASSERT_TRUE (settings.settingsFolder.createDirectory());
            ASSERT_TRUE (xml.writeTo (settings.settingsFile));
        }

        void record (std::initializer_list<int> channels, int bits = 16)
        {
            for (auto c : channels)
            {
                ASSERT_LT (c, access->channelBoxes().size());
                ui->click (*access->channelBoxes()[c]);
            }

            access->bitsCombo().setSelectedId (bits, juce::dontSendNotification);
            ui->click (access->recordButton());
        }

        void waitForCleanUp()
        {
            for (int i = 0; i < 3000 && access->writersBusy() != 0; ++i)
                juce::Thread::sleep (10);

            ASSERT_EQ (access->writersBusy(), 0) << "the clean-up hangs";
            access->tick (50);
        }

        void stopAndWait()
        {
            ui->click (access->stopButton());
            waitForCleanUp();
        }

        /** The take was refused with the alert, and the controls are back. */
        void expectRefused()
        {
            EXPECT_EQ (warnings.joinIntoString (";").toStdString(), "Error|Unable to write on disk.");
            EXPECT_FALSE (mc->isRecording);
            EXPECT_TRUE (access->threadedWriters().isEmpty());
            EXPECT_TRUE (access->recordButton().isEnabled());
            EXPECT_FALSE (access->stopButton().isEnabled());
            EXPECT_TRUE (access->deviceCombo().isEnabled());
            ASSERT_NE (access->haltOverlay(), nullptr);
            EXPECT_FALSE (access->haltOverlay()->isVisible());
        }

        /** A complete mono PCM WAV holding the channel's signal without a gap, from the first
            frame of the take's other files to their last; its frames. */
        uint64_t expectComplete (const juce::File& file, int channel, int bits)
        {
            const auto wav = wavcheck::readWav (file.getFullPathName().toStdString());
            const auto report = wavcheck::checkWav (wav, channel);
            const auto what = file.getFileName() + ": " + juce::String (wavcheck::describe (wav, report));

            EXPECT_TRUE (wav.readable && wav.isPcm && wav.headerMatchesFile) << what;
            EXPECT_EQ (wav.numChannels, 1) << what;
            EXPECT_EQ (wav.bitsPerSample, bits) << what;
            expectExactSignal (file, report, channel, what);
            return wav.numFrames;
        }

        void expectExactSignal (const juce::File& file, const wavcheck::SignalReport& report, int channel, const juce::String& what,
                                wavcheck::TakeEnd end = wavcheck::TakeEnd::normal)
        {
            gaps.expectNoGapOfOurs (file, report, what, end);

            if (testjack::framesAreExact || report.numFrames > 1000)
            {
                EXPECT_EQ (report.detectedChannel, channel) << what;
            }
        }

        /** A small file system of its own at a new folder under root. */
        bool mountTmpfs (const juce::File& at, const char* options = "size=8m")
        {
            if (! at.createDirectory() || mount ("tmpfs", at.getFullPathName().toRawUTF8(), "tmpfs", 0, options) != 0)
                return false;

            mounts.add (at);
            return true;
        }

        std::unique_ptr<testjack::SignalSource> source;
        juce::File root, folder;
        juce::File previousDirectory { juce::File::getCurrentWorkingDirectory() };
        juce::Array<juce::File> mounts;
        std::unique_ptr<MainComponent> mc;
        std::unique_ptr<MainComponentTestAccess> access;
        std::unique_ptr<UiDriver> ui;
        TakeGaps gaps;
        juce::StringArray questions, warnings;
    };
}

//==============================================================================
// The recording folder during a take

TEST_F (Faults, FolderRemovedDuringATakeLeavesNothingAndTheProgramGoesOn)
{
    ASSERT_NO_FATAL_FAILURE (openRecorder());
    ASSERT_NO_FATAL_FAILURE (record ({ 0, 3 }));
    juce::Thread::sleep (1000);

    // The open files live on, unlinked, until the writers close them; nothing reports it.
    ASSERT_TRUE (folder.deleteRecursively());
    juce::Thread::sleep (1000);
    access->tick (500);   // the disk figures of a path that is gone
    EXPECT_TRUE (mc->isRecording);

    stopAndWait();
    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
    EXPECT_FALSE (folder.exists());
    EXPECT_EQ (filesBelow (root), "") << "what is left";

    // The next take makes the folder anew.
    ui->click (access->recordButton());
    juce::Thread::sleep (300);
    stopAndWait();
    expectComplete (folder.getChildFile ("Track/Track01.wav"), 0, 16);
    expectComplete (folder.getChildFile ("Track/Track04.wav"), 3, 16);
}

TEST_F (Faults, FolderMovedAwayDuringATakeKeepsEveryFileWhereItWent)
{
    ASSERT_NO_FATAL_FAILURE (openRecorder());
    ASSERT_NO_FATAL_FAILURE (record ({ 1, 6 }, 24));
    juce::Thread::sleep (1000);

    // What a file manager's "move to trash" does: a rename on the same file system.
    const auto trash = root.getChildFile ("Trash");
    ASSERT_TRUE (folder.moveFileTo (trash));
    juce::Thread::sleep (1000);
    stopAndWait();

    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
    const auto frames = expectComplete (trash.getChildFile ("Track/Track02.wav"), 1, 24);
    expectComplete (trash.getChildFile ("Track/Track07.wav"), 6, 24);

    if (testjack::framesAreExact)
    {
        EXPECT_GT (frames, 48000u * 3 / 2) << "the whole take, before and after the move";
    }
}

TEST_F (Faults, FolderMadeReadOnlyDuringATakeDoesNotTouchTheTake)
{
    const auto disk = root.getChildFile ("disk");

    if (! mountTmpfs (disk))
        GTEST_SKIP() << "mounting a tmpfs needs root: " << strerror (errno);

    ASSERT_NO_FATAL_FAILURE (openRecorder (disk));
    ASSERT_NO_FATAL_FAILURE (record ({ 2, 5 }));
    juce::Thread::sleep (700);

    // Permissions are checked when a file is opened, so a folder made read-only keeps the
    // files already open writable, for root and for anyone else.
    ASSERT_TRUE (disk.getChildFile ("Track").setReadOnly (true, true));

    // A read-only remount is refused while files are open for writing, for root too.
    const auto remount = mount ("tmpfs", disk.getFullPathName().toRawUTF8(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr);
    const auto remountError = errno;
    EXPECT_NE (remount, 0) << "the file system went read-only under open files";
    EXPECT_EQ (remountError, EBUSY);

    juce::Thread::sleep (700);
    access->tick (50);
    EXPECT_TRUE (mc->isRecording);
    stopAndWait();

    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
    expectComplete (disk.getChildFile ("Track/Track03.wav"), 2, 16);
    expectComplete (disk.getChildFile ("Track/Track06.wav"), 5, 16);
}

TEST_F (Faults, DiskThatStopsTakingWritesEndsTheTakeWithValidFiles)
{
    // A file system that the kernel cuts off under the take, as after a disk error: every
    // later write and every header repair fails. ext4 on a loop device, then shut down.
    const auto image = root.getChildFile ("disk.img");
    const auto disk = root.getChildFile ("disk");

    if (! shell ("truncate -s 32M " + quoted (image)) || ! shell ("mkfs.ext4 -q -F " + quoted (image))
        || ! disk.createDirectory() || ! shell ("mount -o loop " + quoted (image) + " " + quoted (disk)))
        GTEST_SKIP() << "needs mkfs.ext4, loop devices and root";

    mounts.add (disk);
    ASSERT_NO_FATAL_FAILURE (openRecorder (disk));
    ASSERT_NO_FATAL_FAILURE (record ({ 0, 1, 2, 3, 4, 5, 6, 7 }, 24));
    juce::Thread::sleep (2500);

    {
        const int fd = open (disk.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE (fd, 0);
        constexpr unsigned long shutDown = _IOR ('X', 125, __u32);   // EXT4_IOC_SHUTDOWN
        __u32 flags = 0;                                             // write back what it has first
        ASSERT_EQ (ioctl (fd, shutDown, &flags), 0) << strerror (errno);
        close (fd);
    }

    for (int i = 0; i < 1000 && ! access->diskWriteError(); ++i)
        juce::Thread::sleep (10);

    ASSERT_TRUE (access->diskWriteError()) << "writes fail without a report";
    access->tick (50);
    EXPECT_EQ (warnings.joinIntoString (";").toStdString(), "Disk write error|There was an error while writing on disk.\n"
                                              "Make sure your disk is fast enough to record 8 channels.");
    waitForCleanUp();
    EXPECT_TRUE (access->recordButton().isEnabled());
    closeRecorder();

    // What survives, seen after mounting the disk again.
    ASSERT_EQ (umount (disk.getFullPathName().toRawUTF8()), 0);
    mounts.clear();
    ASSERT_TRUE (shell ("mount -o loop " + quoted (image) + " " + quoted (disk)));
    mounts.add (disk);

    for (int c = 0; c < 8; ++c)
    {
        const auto file = disk.getChildFile ("Track/Track0" + juce::String (c + 1) + ".wav");
        const auto wav = wavcheck::readWav (file.getFullPathName().toStdString());
        const auto report = wavcheck::checkWav (wav, c);
        const auto what = file.getFileName() + ": " + juce::String (wavcheck::describe (wav, report));

        // The header cannot be brought up to date on a disk that takes no writes: it counts
        // the audio up to its last update (every second), never more than the file holds.
        EXPECT_TRUE (wav.readable && wav.isPcm) << what;
        EXPECT_LE (wav.declaredDataBytes, wav.availableDataBytes) << what;
        expectExactSignal (file, report, c, what, wavcheck::TakeEnd::cut);

        if (testjack::framesAreExact)
        {
            EXPECT_GE (wav.declaredDataBytes / 3, 48000u) << what;
        }

        if (c == 0)
            std::printf ("the file holds %llu frames, its header counts %llu\n", (unsigned long long) (wav.availableDataBytes / 3),
                         (unsigned long long) (wav.declaredDataBytes / 3));
    }
}

//==============================================================================
// The device during a take

TEST_F (Faults, ServerGoneDuringATakeEndsTheTakeAsStopDoes)
{
    ASSERT_NO_FATAL_FAILURE (openRecorder());
    ASSERT_NO_FATAL_FAILURE (record ({ 0, 7 }));
    juce::Thread::sleep (1000);
    server.stop();

    for (int i = 0; i < 500 && mc->isRecording; ++i)
    {
        juce::Thread::sleep (10);
        access->tick (50);
    }

    ASSERT_FALSE (mc->isRecording) << "the take goes on without its device";
    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
    EXPECT_TRUE (access->recordButton().isEnabled());
    EXPECT_FALSE (access->stopButton().isEnabled());
    waitForCleanUp();
    ASSERT_NE (access->haltOverlay(), nullptr);
    EXPECT_FALSE (access->haltOverlay()->isVisible());

    const auto frames = expectComplete (folder.getChildFile ("Track/Track01.wav"), 0, 16);
    expectComplete (folder.getChildFile ("Track/Track08.wav"), 7, 16);
    std::printf ("kept %llu frames of %u that the signal client sent\n", (unsigned long long) frames, source->framesWritten());

    // The clock keeps the take's length.
    access->tick (20);
    const auto shown = access->elapsedCounter().text;
    juce::Thread::sleep (300);
    access->tick (20);
    EXPECT_EQ (access->elapsedCounter().text, shown);

    // The silent device takes no new take, and the finished files are left alone.
    ui->click (access->recordButton());
    EXPECT_FALSE (mc->isRecording);
    EXPECT_TRUE (questions.isEmpty());
    EXPECT_TRUE (access->threadedWriters().isEmpty());
    stopAndWait();
    EXPECT_EQ (expectComplete (folder.getChildFile ("Track/Track01.wav"), 0, 16), frames);
}

//==============================================================================
// Stored prefixes and folders

TEST_F (Faults, StoredPrefixThatLeadsOutOfTheFolderIsRefused)
{
    // Relative paths resolve against the working directory: keep it under root too.
    const auto elsewhere = root.getChildFile ("cwd");
    ASSERT_TRUE (elsewhere.createDirectory());
    ASSERT_TRUE (elsewhere.setAsCurrentWorkingDirectory());

    for (auto prefix : { juce::String ("../escaped"), juce::String ("../../escaped"), juce::String (".."), juce::String ("."),
                         juce::String ("a/b"), root.getChildFile ("absolute").getFullPathName(),
                         juce::String ("~"), juce::String ("~root"), juce::String ("Track/../../escaped") })
    {
        SCOPED_TRACE (prefix);
        storeSettings (prefix, folder.getFullPathName());
        ASSERT_NO_FATAL_FAILURE (openRecorder ({}));
        ASSERT_EQ (access->prefixEditor().getText(), prefix) << "the stored prefix is taken as it stands";

        ASSERT_NO_FATAL_FAILURE (record ({ 0, 1 }));
        expectRefused();
        EXPECT_EQ (filesBelow (root), "");

        closeRecorder();
        warnings.clear();
    }
}

TEST_F (Faults, StoredFolderThatCannotBeUsedAsItStandsIsRefused)
{
    // Relative texts would resolve against the working directory: keep it under root.
    const auto elsewhere = root.getChildFile ("cwd");
    ASSERT_TRUE (elsewhere.createDirectory());
    ASSERT_TRUE (elsewhere.setAsCurrentWorkingDirectory());

    // Past the longest path the system takes: the take folder cannot be made.
    juce::String deeper;
    for (int i = 0; i < 25; ++i)
        deeper << "/" << juce::String::repeatedString ("e", 200);

    for (auto text : { juce::String ("rec"), juce::String ("relative/rec"), folder.getFullPathName() + "/../escaped",
                       folder.getFullPathName() + "/./here", folder.getFullPathName() + deeper })
    {
        SCOPED_TRACE (text.substring (0, 80) + " (" + juce::String (text.length()) + " characters)");
        const auto before = filesBelow (root);
        const auto foldersBefore = root.findChildFiles (juce::File::findDirectories, true).size();

        storeSettings ("Track", text);
        ASSERT_NO_FATAL_FAILURE (openRecorder ({}));
        ASSERT_NO_FATAL_FAILURE (record ({ 0 }));
        expectRefused();
        EXPECT_EQ (filesBelow (root), before);
        EXPECT_EQ (root.findChildFiles (juce::File::findDirectories, true).size(), foldersBefore) << "no folder made";

        closeRecorder();
        warnings.clear();
    }
}

TEST_F (Faults, FoldersWithCharactersThePathCleanUpWouldDropRecordInPlace)
{
    // Ordinary Linux names: a home such as /home/user@corp.example, a folder picked in
    // the chooser, and a long path the system accepts.
    juce::String deep;
    for (int i = 0; i < 6; ++i)
        deep << "/" << juce::String::repeatedString ("d", 200);

    int channel = 0;

    for (auto chosen : { root.getChildFile ("Gig #1, live"), root.getChildFile ("user@corp.example/a;b:c*d?e|f<g>h\"i^j"),
                         root.getChildFile ("long" + deep) })
    {
        SCOPED_TRACE (chosen.getFullPathName().substring (0, 80));
        storeSettings ("Take", chosen.getFullPathName());
        ASSERT_NO_FATAL_FAILURE (openRecorder ({}));
        ASSERT_NO_FATAL_FAILURE (record ({ channel }));
        juce::Thread::sleep (300);
        stopAndWait();

        EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
        const auto file = chosen.getChildFile ("Take").getChildFile ("Take0" + juce::String (channel + 1) + ".wav");
        ASSERT_TRUE (file.existsAsFile()) << filesBelow (root);
        expectComplete (file, channel, 16);

        closeRecorder();
        ++channel;
    }
}

TEST_F (Faults, StoredNamesWithSpacesAndLettersBeyondAsciiRecordInPlace)
{
    const auto chosen = root.getChildFile (juce::CharPointer_UTF8 ("Aufnahmen \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"));
    const juce::String prefix (juce::CharPointer_UTF8 ("Sp\xc3\xa4t Probe"));
    storeSettings (prefix, chosen.getFullPathName());
    ASSERT_NO_FATAL_FAILURE (openRecorder ({}));

    ASSERT_NO_FATAL_FAILURE (record ({ 4 }));
    juce::Thread::sleep (500);
    stopAndWait();

    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
    EXPECT_EQ (filesBelow (root), (chosen.getFileName() + "/" + prefix + "/" + prefix + "05.wav").toStdString());
    expectComplete (chosen.getChildFile (prefix).getChildFile (prefix + "05.wav"), 4, 16);
}

TEST_F (Faults, StoredFolderThatDoesNotExistYetIsMade)
{
    const auto chosen = root.getChildFile ("not/there/yet");
    storeSettings ("Take", chosen.getFullPathName());
    ASSERT_NO_FATAL_FAILURE (openRecorder ({}));

    ASSERT_NO_FATAL_FAILURE (record ({ 3 }));
    juce::Thread::sleep (500);
    stopAndWait();

    EXPECT_TRUE (warnings.isEmpty()) << warnings.joinIntoString ("\n");
    EXPECT_EQ (filesBelow (root), "not/there/yet/Take/Take04.wav");
    expectComplete (chosen.getChildFile ("Take/Take04.wav"), 3, 16);
}

TEST_F (Faults, FolderWithoutWritePermissionGivesTheAlertAndNoTake)
{
    const auto disk = root.getChildFile ("disk");

    if (! mountTmpfs (disk))
        GTEST_SKIP() << "mounting a tmpfs needs root: " << strerror (errno);

    // One take folder there already, one to be made; then the whole disk read-only, which
    // stops root as well as anyone else.
    ASSERT_TRUE (disk.getChildFile ("Old").createDirectory());
    ASSERT_EQ (mount ("tmpfs", disk.getFullPathName().toRawUTF8(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << strerror (errno);

    for (auto prefix : { "Old", "New" })
    {
        SCOPED_TRACE (prefix);
        storeSettings (prefix, disk.getFullPathName());
        ASSERT_NO_FATAL_FAILURE (openRecorder ({}));
        ASSERT_NO_FATAL_FAILURE (record ({ 0, 5 }));
        expectRefused();

        // Nothing to finalise, nothing ticking.
        access->tick (500);
        EXPECT_EQ (access->bytesWritten(), 0);
        closeRecorder();
        warnings.clear();
    }

    EXPECT_EQ (filesBelow (root), "");
}

//==============================================================================
// A ticked channel whose file cannot be made: the take does not start, rather than run
// without that channel; and an old file that cannot be replaced is never appended to.
TEST_F (Faults, TickedChannelWhoseFileCannotBeMadeKeepsTheTakeFromStarting)
{
    const auto take = folder.getChildFile ("Track");
    ASSERT_TRUE (take.createDirectory());

    // An old take pinned in place: it cannot be removed (a mount point), but can be written.
    const auto pinned = root.getChildFile ("pinned.wav");
    ASSERT_TRUE (pinned.replaceWithText ("the old take"));
    ASSERT_TRUE (take.getChildFile ("Track02.wav").replaceWithText ("placeholder"));
    const auto target = take.getChildFile ("Track02.wav").getFullPathName();

    if (mount (pinned.getFullPathName().toRawUTF8(), target.toRawUTF8(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "a bind mount needs root: " << strerror (errno);

    mounts.add (juce::File (target));

    // A folder, with something in it, where a file should go.
    ASSERT_TRUE (take.getChildFile ("Track07.wav").getChildFile ("notes.txt").create().wasOk());

    for (auto channels : { std::vector<int> { 0, 1, 4 }, std::vector<int> { 0, 4, 6 } })
    {
        SCOPED_TRACE (channels[2]);
        ASSERT_NO_FATAL_FAILURE (openRecorder());

        for (auto c : channels)
            ui->click (*access->channelBoxes()[c]);

        ui->click (access->recordButton());

        EXPECT_EQ (questions.size(), 1) << "asked once before overwriting";
        expectRefused();
        EXPECT_EQ (take.getChildFile ("Track02.wav").loadFileAsString(), "the old take") << "nothing appended";
        EXPECT_EQ (filesBelow (take), "Track02.wav,Track07.wav/notes.txt") << "no file of the refused take is left";

        closeRecorder();
        questions.clear();
        warnings.clear();
    }
}

// "Yes" to the question, then a channel whose file cannot be made: the refused take puts
// back every old file it had set aside, byte for byte, and leaves nothing of its own.
TEST_F (Faults, RefusedTakeLeavesEveryOldFileAsItWas)
{
    const auto take = folder.getChildFile ("Track");
    ASSERT_TRUE (take.getChildFile ("Track07.wav").getChildFile ("notes.txt").create().wasOk());

    for (auto name : { "Track01.wav", "Track05.wav" })
        ASSERT_TRUE (take.getChildFile (name).replaceWithText (juce::String ("old take ") + name));

    const auto before = filesBelow (take);
    ASSERT_NO_FATAL_FAILURE (openRecorder());
    ASSERT_NO_FATAL_FAILURE (record ({ 0, 4, 6 }));

    EXPECT_EQ (questions.size(), 1);
    expectRefused();
    EXPECT_EQ (filesBelow (take), before);

    for (auto name : { "Track01.wav", "Track05.wav" })
        EXPECT_EQ (take.getChildFile (name).loadFileAsString(), juce::String ("old take ") + name);
}
