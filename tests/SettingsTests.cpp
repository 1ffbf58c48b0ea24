#include "MainComponentTestAccess.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

namespace
{
    juce::File settingsFile()
    {
        return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
                   .getChildFile ("Olvarin Audioware").getChildFile ("Velmora Recorder").getChildFile ("Settings.xml");
    }

    void writeSettings (const juce::String& text)
    {
        settingsFile().getParentDirectory().createDirectory();
        settingsFile().replaceWithText (text);
    }

    juce::String file (std::initializer_list<std::pair<const char*, const char*>> pairs)
    {
        juce::String xml ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vrSettings>\n");
        int id = 0;

        for (auto& [obj, value] : pairs)
            xml << "  <SETTING ID=\"" << id++ << "\" Obj=\"" << obj << "\" Value=\"" << value << "\"/>\n";

        return xml + "</vrSettings>\n";
    }

    /** A main component started with the settings file as it is now. */
    struct Started
    {
        MainComponent mc;
        MainComponentTestAccess access { mc };

        int storedRate()    { return (int) access.sampleRateCombo().getSelectedIdAsValue().getValue(); }
    };
}

//==============================================================================
TEST (SettingsLoad, FirstStartKeepsTheDefaultsAndOpensNoDevice)
{
    Started s;
    EXPECT_EQ (s.access.prefixEditor().getText(), "Track");
    EXPECT_EQ (s.access.folderEditor().getText(), s.access.settings().defaultRecordingPath);
    EXPECT_EQ (s.access.bitsCombo().getSelectedId(), 16);
    EXPECT_EQ (s.access.deviceCombo().getSelectedId(), 0);
    EXPECT_EQ (s.access.deviceManager().getCurrentAudioDevice(), nullptr);
    EXPECT_TRUE (s.access.settings().values.empty());
    EXPECT_FALSE (settingsFile().exists()) << "nothing is written at start";
}

TEST (SettingsLoad, PairsApplyInFileOrderAndTheLastOneWins)
{
    writeSettings (file ({ { "prefixTB", "First" }, { "bitsCombo", "24" }, { "prefixTB", "Second" },
                           { "folderTB", "/tmp/somewhere else" }, { "SRcombo", "96000" }, { "bitsCombo", "16" },
                           { "bitsCombo", "24" }, { "Unknown", "x" }, { "PrefixTB", "wrong case" } }));
    Started s;

    EXPECT_EQ (s.access.prefixEditor().getText(), "Second");
    EXPECT_EQ (s.access.folderEditor().getText(), "/tmp/somewhere else");
    EXPECT_EQ (s.access.bitsCombo().getSelectedId(), 24);
    EXPECT_EQ (s.storedRate(), 96000) << "kept as the wanted rate although the list is empty";
    EXPECT_EQ (s.access.sampleRateCombo().getNumItems(), 0);
    EXPECT_EQ (s.access.settings().values.size(), 9u);
}

TEST (SettingsLoad, TagsIgnoreCaseButAttributeNamesDoNot)
{
    writeSettings ("<?xml version=\"1.0\"?>\n<VRSETTINGS>\n  <setting Obj=\"prefixTB\" Value=\"Cased\"/>\n"
                   "  <SETTING obj=\"bitsCombo\" Value=\"24\"/>\n  <Other Obj=\"prefixTB\" Value=\"no\"/>\n"
                   "  <group><SETTING Obj=\"prefixTB\" Value=\"nested\"/></group>\n</VRSETTINGS>\n");
    Started s;

    EXPECT_EQ (s.access.prefixEditor().getText(), "Cased");
    EXPECT_EQ (s.access.bitsCombo().getSelectedId(), 16) << "a lower-case obj is no key";
}

TEST (SettingsLoad, AnotherRootElementIsIgnored)
{
    writeSettings ("<?xml version=\"1.0\"?>\n<settings><SETTING Obj=\"prefixTB\" Value=\"No\"/></settings>\n");
    Started s;
    EXPECT_EQ (s.access.prefixEditor().getText(), "Track");
    EXPECT_TRUE (s.access.settings().values.empty());
}

TEST (SettingsLoad, MissingValueAppliesAnEmptyOne)
{
    writeSettings ("<vrSettings><SETTING Obj=\"prefixTB\"/><SETTING Obj=\"SRcombo\"/><SETTING Obj=\"bitsCombo\"/>"
                   "<SETTING Obj=\"deviceAsioCombo\"/><SETTING Obj=\"folderTB\"/></vrSettings>");
    Started s;

    EXPECT_EQ (s.access.prefixEditor().getText(), "");
    EXPECT_EQ (s.access.folderEditor().getText(), "");
    EXPECT_EQ (s.storedRate(), 44100);
    EXPECT_EQ (s.access.bitsCombo().getSelectedId(), 0);
    EXPECT_EQ (s.access.deviceCombo().getSelectedId(), 0);
}

TEST (SettingsLoad, StoredPrefixIsTakenUnfiltered)
{
    writeSettings (file ({ { "prefixTB", "My take: &amp; 42 with a name far longer than twenty" } }));
    Started s;
    EXPECT_EQ (s.access.prefixEditor().getText(), "My take: & 42 with a name far longer than twenty");
}

TEST (SettingsLoad, DeviceBeyondTheListOpensNothing)
{
    writeSettings (file ({ { "deviceAsioCombo", "4000" }, { "SRcombo", "48000" } }));
    Started s;
    EXPECT_EQ (s.access.deviceManager().getCurrentAudioDevice(), nullptr);
    EXPECT_TRUE (s.access.channelBoxes().isEmpty());
    EXPECT_FALSE (s.access.recordButton().isEnabled());
    EXPECT_FALSE (s.access.sampleRateCombo().isEnabled());
}

//==============================================================================
TEST (SettingsNumbers, RateIsReadLikeAtoi)
{
    EXPECT_EQ (SettingsFile::leadingInteger ("48000"), 48000);
    EXPECT_EQ (SettingsFile::leadingInteger ("48000.7"), 48000);
    EXPECT_EQ (SettingsFile::leadingInteger ("4.8e4"), 4);
    EXPECT_EQ (SettingsFile::leadingInteger ("  +96000Hz"), 96000);
    EXPECT_EQ (SettingsFile::leadingInteger ("-44100"), -44100);
    EXPECT_EQ (SettingsFile::leadingInteger (""), 0);
    EXPECT_EQ (SettingsFile::leadingInteger ("abc"), 0);
    EXPECT_EQ (SettingsFile::leadingInteger ("0"), 0);
    EXPECT_EQ (SettingsFile::leadingInteger ("99999999999999999999"), std::numeric_limits<int>::max());
    EXPECT_EQ (SettingsFile::leadingInteger ("-99999999999999999999"), std::numeric_limits<int>::min());
}

TEST (SettingsNumbers, IdsAcceptFractionsAndExponentsTruncatedTowardZero)
{
    EXPECT_EQ (SettingsFile::truncatedNumber ("2"), 2);
    EXPECT_EQ (SettingsFile::truncatedNumber (" 2.9"), 2);
    EXPECT_EQ (SettingsFile::truncatedNumber ("-1.5"), -1);
    EXPECT_EQ (SettingsFile::truncatedNumber ("2.4e1"), 24);
    EXPECT_EQ (SettingsFile::truncatedNumber ("abc"), 0);
    EXPECT_EQ (SettingsFile::truncatedNumber (""), 0);
    EXPECT_EQ (SettingsFile::truncatedNumber ("1e30"), std::numeric_limits<int>::max());
    EXPECT_EQ (SettingsFile::truncatedNumber ("-1e30"), std::numeric_limits<int>::min());
}

TEST (SettingsLoad, RateTextsBecomeTheWantedRate)
{
    const std::pair<const char*, int> cases[] { { "0", 44100 }, { "", 44100 }, { "48000.7", 48000 }, { "4.8e4", 4 },
                                                 { "-96000", -96000 }, { "x", 44100 } };

    for (auto& [text, rate] : cases)
    {
        writeSettings (file ({ { "SRcombo", text } }));
        Started s;
        EXPECT_EQ (s.storedRate(), rate) << "'" << text << "'";
    }
}

//==============================================================================
TEST (SettingsFileReader, BrokenFilesGiveNoPairs)
{
    const auto dir = juce::File::createTempFile ("velmora-settings");
    dir.createDirectory();
    const auto f = dir.getChildFile ("Settings.xml");

    auto pairsOf = [&f] (const juce::String& text) { f.replaceWithText (text); return SettingsFile::read (f); };
    const auto good = file ({ { "prefixTB", "A" }, { "bitsCombo", "24" } });

    EXPECT_EQ (pairsOf (good).size(), 2u);
    EXPECT_TRUE (pairsOf ("").empty());
    EXPECT_TRUE (pairsOf (good.substring (0, good.length() / 2)).empty()) << "truncated";
    EXPECT_TRUE (pairsOf ("not xml at all <<<>>>").empty());
    EXPECT_TRUE (SettingsFile::read (dir.getChildFile ("missing.xml")).empty());

    juce::MemoryBlock binary;
    juce::Random random (3);
    for (int i = 0; i < 100000; ++i)
        binary.append (&(const juce::uint8&) (juce::uint8) random.nextInt (256), 1);
    f.replaceWithData (binary.getData(), binary.getSize());
    EXPECT_TRUE (SettingsFile::read (f).empty()) << "binary";

    // Deep enough to exhaust the stack of a recursive parser.
    juce::String deep ("<vrSettings>");
    deep << juce::String::repeatedString ("<a>", 200000) << juce::String::repeatedString ("</a>", 200000) << "</vrSettings>";
    EXPECT_TRUE (pairsOf (deep).empty()) << "deeply nested";

    // Markup that only looks deep: the depth count skips comments, CDATA and quoted values.
    const auto tricky = "<vrSettings><!-- <a><a><a> --><![CDATA[<b><b>]]>"
                        "<SETTING Obj=\"prefixTB\" Value=\"/&gt;&lt;x&gt;\"/></vrSettings>";
    ASSERT_EQ (pairsOf (tricky).size(), 1u);

    // Entities that expand without end would exhaust the stack; no file of ours declares any.
    EXPECT_TRUE (pairsOf ("<!DOCTYPE vrSettings [<!ENTITY a \"&xa;\">]><vrSettings><SETTING Obj=\"prefixTB\" Value=\"&a;\"/></vrSettings>").empty());
    EXPECT_TRUE (pairsOf ("<!DOCTYPE vrSettings [<!ENTITY a \"&a;&a;\">]><vrSettings><SETTING Obj=\"prefixTB\" Value=\"&a;\"/></vrSettings>").empty());
    EXPECT_TRUE (pairsOf ("<!doctype vrSettings><vrSettings><SETTING Obj=\"prefixTB\" Value=\"A\"/></vrSettings>").empty());

    // Larger than any settings file: refused unread.
    juce::String big (file ({ { "prefixTB", "Big" } }));
    big << "<!--" << juce::String::repeatedString ("0123456789abcdef", 17 * 1024 * 1024 / 16) << "-->";
    EXPECT_TRUE (pairsOf (big).empty()) << "oversized";

    dir.deleteRecursively();
}

TEST (SettingsFileReader, RandomDamageNeverCrashesOrHangs)
{
    const auto dir = juce::File::createTempFile ("velmora-fuzz");
    dir.createDirectory();
    const auto f = dir.getChildFile ("Settings.xml");
    const auto good = file ({ { "prefixTB", "Take" }, { "folderTB", "/tmp/x" }, { "deviceAsioCombo", "2" },
                              { "SRcombo", "48000" }, { "bitsCombo", "24" } });
    const juce::String pieces[] { "<", ">", "/>", "</", "\"", "'", "=", "&", "&amp;", "<!--", "-->", "<![CDATA[", "]]>",
                                  "<SETTING Obj=\"prefixTB\" Value=\"", "<vrSettings>", "</vrSettings>", "\0", "\xff",
                                  "<!DOCTYPE vrSettings [", "<!ENTITY a \"&a;\">", "<!ENTITY b \"&b;&b;\">", "]>", "&a;", "&b;" };
    juce::Random random (42);

    for (int round = 0; round < 3000; ++round)
    {
        auto text = good;

        for (int edits = 1 + random.nextInt (6); --edits >= 0;)
        {
            const auto at = random.nextInt (text.length() + 1);

            switch (random.nextInt (4))
            {
                case 0:  text = text.substring (0, at); break;
                case 1:  text = text.substring (0, at) + text.substring (at + 1 + random.nextInt (8)); break;
                case 2:  text = text.substring (0, at) + pieces[random.nextInt (juce::numElementsInArray (pieces))] + text.substring (at); break;
                default: text = text.substring (0, at) + juce::String::charToString ((juce::juce_wchar) (1 + random.nextInt (0x2ff))) + text.substring (at); break;
            }
        }

        f.replaceWithText (text);
        const auto pairs = SettingsFile::read (f);
        ASSERT_LE (pairs.size(), 64u) << text;
    }

    dir.deleteRecursively();
}

//==============================================================================
TEST (SettingsSave, EachSaveAppendsFivePairsAndWritesTheFrameworkFormat)
{
    Started s;
    juce::StringArray shown;
    s.access.dialogs().inform = [&shown] (const juce::String& title) { shown.add (title); };

    s.access.prefixEditor().setText ("One", false);
    s.mc.buttonClicked (&static_cast<juce::Button&> (s.access.widget ("saveSettingsButton")));
    s.access.prefixEditor().setText ("Two", false);
    s.mc.buttonClicked (&static_cast<juce::Button&> (s.access.widget ("saveSettingsButton")));
    s.access.prefixEditor().setText ("Three", false);
    s.access.bitsCombo().setSelectedId (24, juce::dontSendNotification);
    s.mc.buttonClicked (&static_cast<juce::Button&> (s.access.widget ("saveSettingsButton")));

    EXPECT_EQ (shown.joinIntoString (";"), "Settings saved.;Settings saved.;Settings saved.");

    const auto text = settingsFile().loadFileAsString();
    const auto folder = s.access.settings().defaultRecordingPath;
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<vrSettings>\r\n"
                                  "  <SETTING ID=\"0\" Obj=\"prefixTB\" Value=\"One\"/>\r\n"
                                  "  <SETTING ID=\"1\" Obj=\"folderTB\" Value=\"" + folder + "\"/>\r\n"
                                  "  <SETTING ID=\"2\" Obj=\"deviceAsioCombo\" Value=\"0\"/>\r\n"
                                  "  <SETTING ID=\"3\" Obj=\"SRcombo\" Value=\"0\"/>\r\n"
                                  "  <SETTING ID=\"4\" Obj=\"bitsCombo\" Value=\"16\"/>\r\n")) << text;
    EXPECT_TRUE (text.endsWith ("  <SETTING ID=\"14\" Obj=\"bitsCombo\" Value=\"24\"/>\r\n</vrSettings>\r\n")) << text;

    const auto pairs = SettingsFile::read (settingsFile());
    ASSERT_EQ (pairs.size(), 15u);
    EXPECT_EQ (pairs[10].second, "Three");

    // A new start applies all fifteen and ends with the third save's values; "0" for the
    // rate becomes 44100.
    Started next;
    EXPECT_EQ (next.access.prefixEditor().getText(), "Three");
    EXPECT_EQ (next.access.bitsCombo().getSelectedId(), 24);
    EXPECT_EQ (next.storedRate(), 44100);
}

TEST (SettingsSave, ASaveThatCannotWriteKeepsTheOldFileAndSaysSo)
{
    const auto folder = settingsFile().getParentDirectory();
    ASSERT_TRUE (folder.createDirectory());
    if (mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root: " << strerror (errno);

    settingsFile().replaceWithText (file ({ { "prefixTB", "Kept" } }));
    const auto old = settingsFile().loadFileAsString();

    {   // fill the disk to the last byte
        juce::FileOutputStream filler (folder.getChildFile ("filler"));
        juce::HeapBlock<char> block (4096, true);
        while (filler.write (block, 4096)) {}
    }

    {
        Started s;
        juce::StringArray shown, warned;
        s.access.dialogs().inform = [&shown] (const juce::String& title) { shown.add (title); };
        s.access.dialogs().warnAsync = [&warned] (const juce::String& t, const juce::String& m) { warned.add (t + "|" + m); };
        s.access.prefixEditor().setText (juce::String::repeatedString ("Long", 20000), false);
        s.mc.buttonClicked (&static_cast<juce::Button&> (s.access.widget ("saveSettingsButton")));

        EXPECT_TRUE (shown.isEmpty());
        EXPECT_EQ (warned.joinIntoString (";"), "Error|Unable to write on disk.");
        EXPECT_EQ (settingsFile().loadFileAsString(), old);
    }

    umount (folder.getFullPathName().toRawUTF8());
}

//==============================================================================
TEST (ChangeFolder, PickedFolderIsRememberedAndACancelRestoresIt)
{
    Started s;
    juce::File offered;
    bool pick = true;
    const auto picked = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("velmora picked");

    s.access.dialogs().browseForFolder = [&] (const juce::File& start, juce::File& result)
    {
        offered = start;
        result = picked;
        return pick;
    };

    auto& changeFolder = static_cast<juce::Button&> (s.access.widget ("changeFolderButton"));

    pick = false;   // cancelled before any pick: nothing changes
    s.mc.buttonClicked (&changeFolder);
    EXPECT_EQ (offered, juce::File (s.access.settings().defaultRecordingPath));
    EXPECT_EQ (s.access.folderEditor().getText(), s.access.settings().defaultRecordingPath);
    EXPECT_EQ (s.access.currentFile(), juce::File::getCurrentWorkingDirectory());

    pick = true;
    s.mc.buttonClicked (&changeFolder);
    EXPECT_EQ (s.access.folderEditor().getText(), picked.getFullPathName());
    EXPECT_EQ (s.access.currentFile(), picked);

    s.access.folderEditor().setText ({}, false);   // an empty field starts at the program itself
    pick = false;
    s.mc.buttonClicked (&changeFolder);
    EXPECT_EQ (offered, juce::File::getSpecialLocation (juce::File::currentApplicationFile));
    EXPECT_EQ (s.access.folderEditor().getText(), picked.getFullPathName()) << "the earlier pick again";
}
