#include "MainComponentTestAccess.h"
#include "PaintHelpers.h"

#include <gtest/gtest.h>

using testpaint::colourNear;
using Rect = juce::Rectangle<int>;

namespace
{
    class MainScreen : public ::testing::Test
    {
    protected:
        MainComponent mc;
        MainComponentTestAccess access { mc };

        Rect boundsOf (const std::string& name)   { return access.widget (name).getBounds(); }

        juce::StringArray childNames (juce::Component& parent)
        {
            juce::StringArray names;

            for (auto* child : parent.getChildren())
                for (auto& [name, widget] : access.widgets())
                    if (widget == child)
                        names.add (name);

            return names;
        }
    };

    const std::map<std::string, Rect> layoutAt800x550 {
        { "mainViewport", { 0, 0, 800, 550 } },       { "mainPanel", { 0, 0, 800, 550 } },
        { "selectDeviceLabel", { 10, 20, 100, 20 } }, { "deviceCombo", { 10, 40, 200, 20 } },
        { "sampleRateCombo", { 220, 40, 100, 20 } },  { "sampleRateLabel", { 220, 20, 100, 20 } },
        { "bitsCombo", { 330, 40, 100, 20 } },        { "resolutionLabel", { 330, 20, 100, 20 } },
        { "saveSettingsButton", { 440, 40, 150, 20 } }, { "webSiteButton", { 730, 10, 60, 49 } },
        { "folderViewport", { 10, 70, 780, 30 } },    { "folderPanel", { 0, 0, 780, 30 } },
        { "prefixPanel", { 0, 0, 200, 30 } },         { "pathPanel", { 210, 0, 580, 30 } },
        { "prefixLabel", { 0, 5, 50, 20 } },          { "prefixEditor", { 50, 5, 140, 20 } },
        { "folderEditor", { 40, 5, 410, 20 } },       { "pathLabel", { 0, 5, 40, 20 } },
        { "changeFolderButton", { 455, 5, 100, 20 } }, { "recordButton", { 10, 120, 95, 30 } },
        { "stopButton", { 115, 120, 95, 30 } },       { "elapsedCounter", { 220, 120, 140, 30 } },
        { "channelViewport", { 10, 210, 780, 180 } }, { "channelListLabel", { 10, 180, 100, 30 } },
        { "selectAllLabel", { 700, 395, 60, 20 } },   { "checkAllBox", { 760, 395, 30, 20 } },
        { "channelStrip", { 0, 0, 780, 180 } },       { "donateButton", { 700, 120, 100, 20 } },
        { "infoPanel", { 10, 490, 780, 50 } },        { "haltOverlay", { 0, 0, 800, 550 } }
    };
}

//==============================================================================
TEST_F (MainScreen, EveryWidgetSitsAtItsRectangleAt800x550)
{
    for (auto& [name, expected] : layoutAt800x550)
        EXPECT_EQ (boundsOf (name), expected) << name;
}

TEST_F (MainScreen, WidgetsFollowTheRightAndBottomEdgesWhenTheWindowGrows)
{
    mc.setSize (1000, 700);
    auto expected = layoutAt800x550;

    expected["mainViewport"] = { 0, 0, 1000, 700 };
    expected["mainPanel"] = { 0, 0, 1000, 700 };
    expected["webSiteButton"] = { 930, 10, 60, 49 };
    expected["folderViewport"] = { 10, 70, 980, 30 };
    expected["folderPanel"] = { 0, 0, 980, 30 };
    expected["pathPanel"] = { 210, 0, 780, 30 };
    expected["channelViewport"] = { 10, 210, 980, 180 };
    expected["selectAllLabel"] = { 900, 395, 60, 20 };
    expected["checkAllBox"] = { 960, 395, 30, 20 };
    expected["channelStrip"] = { 0, 0, 980, 180 };
    expected["donateButton"] = { 900, 120, 100, 20 };
    expected["infoPanel"] = { 10, 640, 980, 50 };

    for (auto& [name, rect] : expected)
        EXPECT_EQ (boundsOf (name), rect) << name;

    // The select-all box ends where the channel viewport ends.
    EXPECT_EQ (boundsOf ("checkAllBox").getRight(), 1000 - 10);
}

TEST_F (MainScreen, OverlayFollowsResizesOnlyWhileVisible)
{
    ASSERT_NE (access.haltOverlay(), nullptr);
    auto& overlay = *access.haltOverlay();

    mc.setSize (900, 600);
    EXPECT_EQ (overlay.getBounds(), Rect (0, 0, 800, 550)) << "a hidden overlay keeps its rectangle";

    overlay.setVisible (true);
    mc.setSize (950, 650);
    EXPECT_EQ (overlay.getBounds(), Rect (0, 0, 950, 650));
}

//==============================================================================
TEST_F (MainScreen, ParentTreeAndStackingOrderMatchTheScreen)
{
    EXPECT_EQ (childNames (mc).joinIntoString (","), "mainViewport,haltOverlay,tooltipWindow");
    EXPECT_EQ (static_cast<juce::Viewport&> (access.widget ("mainViewport")).getViewedComponent(), &access.widget ("mainPanel"));
    EXPECT_EQ (childNames (access.widget ("mainPanel")).joinIntoString (","),
               "webSiteButton,selectDeviceLabel,saveSettingsButton,sampleRateCombo,bitsCombo,channelListLabel,"
               "sampleRateLabel,resolutionLabel,deviceCombo,donateButton,infoPanel,elapsedCounter,recordButton,"
               "stopButton,channelViewport,folderViewport");
    EXPECT_EQ (static_cast<juce::Viewport&> (access.widget ("channelViewport")).getViewedComponent(), &access.widget ("channelStrip"));
    EXPECT_EQ (static_cast<juce::Viewport&> (access.widget ("folderViewport")).getViewedComponent(), &access.widget ("folderPanel"));
    EXPECT_EQ (childNames (access.widget ("folderPanel")).joinIntoString (","), "prefixPanel,pathPanel");
    EXPECT_EQ (childNames (access.widget ("prefixPanel")).joinIntoString (","), "prefixLabel,prefixEditor");
    EXPECT_EQ (childNames (access.widget ("pathPanel")).joinIntoString (","), "changeFolderButton,folderEditor,pathLabel");

    // Until a device opens, the select-all caption and box are nowhere on the screen.
    EXPECT_EQ (access.widget ("selectAllLabel").getParentComponent(), nullptr);
    EXPECT_EQ (access.widget ("checkAllBox").getParentComponent(), nullptr);
}

TEST_F (MainScreen, WidgetsCarryTheirTextsFontsColoursAndStates)
{
    auto label = [this] (const char* name) -> juce::Label& { return static_cast<juce::Label&> (access.widget (name)); };
    auto button = [this] (const char* name) -> juce::Button& { return static_cast<juce::Button&> (access.widget (name)); };

    EXPECT_EQ (label ("selectDeviceLabel").getText(), "Select device:");
    EXPECT_EQ (label ("selectDeviceLabel").getFont().getHeight(), 16.0f);
    EXPECT_TRUE (label ("selectDeviceLabel").getFont().isBold());
    EXPECT_EQ (label ("channelListLabel").getText(), "Channel list");
    EXPECT_EQ (label ("sampleRateLabel").getText(), "SampleRate");
    EXPECT_EQ (label ("resolutionLabel").getText(), "Resolution");
    EXPECT_EQ (label ("prefixLabel").getText(), "Prefix");
    EXPECT_EQ (label ("pathLabel").getText(), "Path");
    EXPECT_EQ (label ("selectAllLabel").getText(), "Select all");
    EXPECT_EQ (label ("selectAllLabel").findColour (juce::Label::textColourId), juce::Colour (0xffffff00));

    EXPECT_EQ (button ("saveSettingsButton").getButtonText(), "Save global settings");
    EXPECT_EQ (button ("recordButton").getButtonText(), "Record");
    EXPECT_EQ (button ("recordButton").getName(), "Record");
    EXPECT_EQ (button ("stopButton").getButtonText(), "Stop");
    EXPECT_EQ (button ("stopButton").getName(), "Stop");
    EXPECT_EQ (button ("changeFolderButton").getButtonText(), "Change folder");
    EXPECT_EQ (button ("changeFolderButton").findColour (juce::TextButton::textColourOffId), juce::Colour (0xffffff00));

    EXPECT_EQ (button ("webSiteButton").getTooltip(), "Go to WebSite");
    EXPECT_EQ (button ("donateButton").getTooltip(), "Click to donate");
    EXPECT_EQ (static_cast<juce::Label&> (access.widget ("prefixLabel")).getTooltip(), "Set recording sub-Folder");

    for (auto* name : { "webSiteButton", "donateButton", "prefixLabel" })
        EXPECT_EQ (access.widget (name).getMouseCursor(), juce::MouseCursor (juce::MouseCursor::PointingHandCursor)) << name;
    for (auto* name : { "recordButton", "deviceCombo", "changeFolderButton", "channelViewport" })
        EXPECT_EQ (access.widget (name).getMouseCursor(), juce::MouseCursor (juce::MouseCursor::NormalCursor)) << name;

    auto& bits = access.bitsCombo();
    ASSERT_EQ (bits.getNumItems(), 2);
    EXPECT_EQ (bits.getItemText (0), "16 bit");
    EXPECT_EQ (bits.getItemId (0), 16);
    EXPECT_EQ (bits.getItemText (1), "24 bit");
    EXPECT_EQ (bits.getItemId (1), 24);
    EXPECT_EQ (bits.getSelectedId(), 16);

    for (auto* name : { "sampleRateCombo", "bitsCombo", "recordButton", "stopButton" })
        EXPECT_FALSE (access.widget (name).isEnabled()) << name;
    for (auto* name : { "deviceCombo", "saveSettingsButton", "changeFolderButton", "prefixEditor", "webSiteButton", "donateButton", "folderEditor" })
        EXPECT_TRUE (access.widget (name).isEnabled()) << name;

    EXPECT_EQ (access.prefixEditor().getText(), "Track");
    EXPECT_EQ (access.prefixEditor().getFont().getHeight(), 14.0f);
    EXPECT_EQ (access.folderEditor().getFont().getHeight(), 12.0f);
    EXPECT_TRUE (access.folderEditor().isReadOnly());
    EXPECT_EQ (access.folderEditor().getText(), access.settings().defaultRecordingPath);
    EXPECT_TRUE (juce::File (access.settings().defaultRecordingPath).isDirectory()) << "created at start";
    EXPECT_EQ (access.folderEditor().getCaretPosition(), 0) << "a long path shows its beginning";
}

TEST_F (MainScreen, PrefixFieldTakesTwentyAllowedCharactersFromTheKeyboardAndThePasteboard)
{
    auto& prefix = access.prefixEditor();
    prefix.setText ({}, false);
    prefix.setCaretPosition (0);

    auto type = [&prefix] (juce::juce_wchar c) { prefix.keyPressed (juce::KeyPress (0, 0, c)); };

    for (auto c : juce::String::fromUTF8 ("Ab9-_ x/.é*"))
        type (c);

    EXPECT_EQ (prefix.getText(), "Ab9-_x");

    for (int i = 0; i < 30; ++i)
        type ('z');

    EXPECT_EQ (prefix.getText().length(), 20);
    EXPECT_EQ (prefix.getText(), "Ab9-_x" + juce::String::repeatedString ("z", 14));

    prefix.setText ({}, false);
    juce::SystemClipboard::copyTextToClipboard (juce::String::fromUTF8 ("Take 1/Mix:ÄB_ok-0123456789abcdefghijkl"));
    prefix.paste();
    EXPECT_EQ (prefix.getText(), "Take1MixB_ok-0123456");

    // Text the program sets, such as a stored prefix, is taken as it stands.
    const auto stored = juce::String::fromUTF8 ("My take: ÄÖ / 42 with a rather long name");
    prefix.setText (stored, false);
    EXPECT_EQ (prefix.getText(), stored);
}

TEST_F (MainScreen, PaintsTheDarkGreyBackgroundAndThePanelColours)
{
    const auto image = testpaint::paint (mc);

    EXPECT_TRUE (colourNear (image.getPixelAt (5, 5), juce::Colour (0xff555555), 0)) << "background";
    EXPECT_TRUE (colourNear (image.getPixelAt (400, 170), juce::Colour (0xff555555), 0)) << "background between panels";
    EXPECT_TRUE (colourNear (image.getPixelAt (12, 212), juce::Colour (0xff182947), 0)) << "channel strip";
    EXPECT_TRUE (colourNear (image.getPixelAt (788, 388), juce::Colour (0xff182947), 0)) << "channel strip";
    EXPECT_TRUE (colourNear (image.getPixelAt (205, 72), juce::Colour (0xff003366), 0)) << "prefix panel";
    EXPECT_TRUE (colourNear (image.getPixelAt (222, 72), juce::Colour (0xff003366), 0)) << "path panel";
    EXPECT_TRUE (colourNear (image.getPixelAt (215, 85), juce::Colour (0xff555555), 0)) << "gap between the two";
    EXPECT_TRUE (colourNear (image.getPixelAt (400, 535), juce::Colour (0xff90906a), 0)) << "disk figures";
    EXPECT_TRUE (colourNear (image.getPixelAt (358, 148), juce::Colour (0xff636262), 0)) << "clock panel";
}

TEST_F (MainScreen, OnlyTheDonatePictureIsTintedUnderTheMouse)
{
    auto pixelsFor = [] (juce::Button& b, juce::Button::ButtonState state)
    {
        b.setState (state);
        return testpaint::paint (b);
    };

    auto& donate = static_cast<juce::Button&> (access.widget ("donateButton"));
    const auto normal = pixelsFor (donate, juce::Button::buttonNormal);
    const auto over = pixelsFor (donate, juce::Button::buttonOver);
    const auto down = pixelsFor (donate, juce::Button::buttonDown);
    const auto p = juce::Point<int> (50, 10);
    EXPECT_NE (normal.getPixelAt (p.x, p.y), over.getPixelAt (p.x, p.y));
    EXPECT_NE (over.getPixelAt (p.x, p.y), down.getPixelAt (p.x, p.y));

    auto& site = static_cast<juce::Button&> (access.widget ("webSiteButton"));
    const auto siteNormal = pixelsFor (site, juce::Button::buttonNormal);
    const auto siteOver = pixelsFor (site, juce::Button::buttonOver);
    const auto siteDown = pixelsFor (site, juce::Button::buttonDown);

    for (int y = 0; y < 49; y += 4)
        for (int x = 0; x < 60; x += 4)
        {
            ASSERT_EQ (siteNormal.getPixelAt (x, y), siteOver.getPixelAt (x, y));
            ASSERT_EQ (siteNormal.getPixelAt (x, y), siteDown.getPixelAt (x, y));
        }
}
