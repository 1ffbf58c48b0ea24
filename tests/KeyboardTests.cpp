#include "GuiComponent.h"
#include "MainComponentTestAccess.h"
#include "PaintHelpers.h"

#include <gtest/gtest.h>

using testpaint::colourNear;

namespace
{
    /** Counts the keys drawn and remembers their areas. */
    struct CountingKeyboard : KeyboardCustom
    {
        using KeyboardCustom::KeyboardCustom;

        void drawWhiteNote (int n, juce::Graphics& g, juce::Rectangle<float> area, bool down, bool over,
                            juce::Colour line, juce::Colour text) override
        {
            whites.add (n);
            whiteAfterBlack = whiteAfterBlack || ! blacks.isEmpty();
            KeyboardCustom::drawWhiteNote (n, g, area, down, over, line, text);
        }

        void drawBlackNote (int n, juce::Graphics& g, juce::Rectangle<float> area, bool down, bool over, juce::Colour fill) override
        {
            blacks.add (n);
            KeyboardCustom::drawBlackNote (n, g, area, down, over, fill);
        }

        juce::Array<int> whites, blacks;
        bool whiteAfterBlack = false;
    };

    bool isBlack (juce::Colour c)   { return c.getAlpha() == 255 && c.getBrightness() < 0.02f; }
}

TEST (ImageKeyboard, DrawsAllWhiteKeysThenAllBlackKeysFromThePictures)
{
    juce::MidiKeyboardState state;
    CountingKeyboard keyboard (state, juce::MidiKeyboardComponent::horizontalKeyboard);
    keyboard.setBounds (0, 0, 75 * 20, 100);
    const auto image = testpaint::paint (keyboard);

    EXPECT_EQ (keyboard.whites.size(), 75);
    EXPECT_EQ (keyboard.blacks.size(), 53);
    EXPECT_FALSE (keyboard.whiteAfterBlack);
    EXPECT_EQ (keyboard.getKeyWidth(), 20.0f);

    // Up pictures, stretched to the keys: the white key picture is near white in its
    // middle, the black one dark.
    const auto c4 = keyboard.getRectangleForKey (60).getCentre().toInt();
    EXPECT_GT (image.getPixelAt (c4.x, 90).getBrightness(), 0.8f);
    const auto cSharp4 = keyboard.getRectangleForKey (61).getCentre().toInt();
    EXPECT_LT (image.getPixelAt (cSharp4.x, 20).getBrightness(), 0.35f);
}

TEST (ImageKeyboard, DownKeysAreInsetAndLeaveABlackBorder)
{
    juce::MidiKeyboardState state;
    KeyboardCustom keyboard (state, juce::MidiKeyboardComponent::horizontalKeyboard);
    juce::Image image (juce::Image::ARGB, 100, 100, true);
    juce::Graphics g (image);

    keyboard.drawWhiteNote (60, g, { 20.0f, 0.0f, 20.0f, 100.0f }, true, false, {}, {});
    EXPECT_TRUE (isBlack (image.getPixelAt (20, 50)));
    EXPECT_FALSE (isBlack (image.getPixelAt (21, 50)));
    EXPECT_FALSE (isBlack (image.getPixelAt (38, 50)));
    EXPECT_TRUE (isBlack (image.getPixelAt (39, 50)));

    image.clear (image.getBounds());
    keyboard.drawBlackNote (61, g, { 34.0f, 0.0f, 14.0f, 70.0f }, true, false, {});
    EXPECT_TRUE (isBlack (image.getPixelAt (36, 35)));
    EXPECT_FALSE (isBlack (image.getPixelAt (37, 35)));
    EXPECT_FALSE (isBlack (image.getPixelAt (44, 35)));
    EXPECT_TRUE (isBlack (image.getPixelAt (45, 35)));
    EXPECT_TRUE (isBlack (image.getPixelAt (47, 35)));
    EXPECT_EQ (image.getPixelAt (48, 35).getAlpha(), 0) << "nothing outside the key";

    // The down picture is cropped by twice the inset: its source is 98 and 94 columns wide.
    juce::Image cropped (juce::Image::ARGB, 98, 476, true);
    {
        juce::Graphics cg (cropped);
        keyboard.drawWhiteNote (60, cg, { -1.0f, 0.0f, 100.0f, 476.0f }, true, false, {}, {});
    }
    for (int y = 40; y < 400; y += 37)
        for (int x = 0; x < 98; x += 13)
            ASSERT_EQ (cropped.getPixelAt (x, y), keyboard.whiteKeyDownImage.getPixelAt (x, y)) << x << "," << y;
}

TEST (ImageKeyboard, NotesOnAnyChannelCountAndOnlyChangesAreTracked)
{
    juce::MidiKeyboardState state;
    KeyboardCustom keyboard (state, juce::MidiKeyboardComponent::horizontalKeyboard);

    state.noteOn (16, 60, 1.0f);
    EXPECT_TRUE (keyboard.shouldCheckState);
    keyboard.timerCallback();
    EXPECT_FALSE (keyboard.shouldCheckState);
    EXPECT_TRUE (keyboard.keysCurrentlyDrawnDown[60]);
    EXPECT_TRUE (keyboard.isKeyDown (60));

    state.noteOn (3, 64, 1.0f);
    state.noteOff (3, 64, 0.0f);   // on and off before the timer: nothing to redraw
    keyboard.timerCallback();
    EXPECT_FALSE (keyboard.keysCurrentlyDrawnDown[64]);
    EXPECT_EQ (keyboard.keysCurrentlyDrawnDown.countNumberOfSetBits(), 1);

    state.noteOff (16, 60, 0.0f);
    keyboard.timerCallback();
    EXPECT_TRUE (keyboard.keysCurrentlyDrawnDown.isZero());
    EXPECT_FALSE (keyboard.isKeyDown (-1));
    EXPECT_FALSE (keyboard.isKeyDown (128));
}

TEST (ImageKeyboard, TheFrameworkSettersLeaveItsOwnCopiesAlone)
{
    juce::MidiKeyboardState state;
    CountingKeyboard keyboard (state, juce::MidiKeyboardComponent::horizontalKeyboard);
    keyboard.setBounds (0, 0, 1500, 100);

    keyboard.setAvailableRange (48, 72);
    keyboard.setMidiChannel (5);
    keyboard.setMidiChannelsToDisplay (1 << 4);
    EXPECT_EQ (keyboard.rangeStart, 0);
    EXPECT_EQ (keyboard.rangeEnd, 127);
    EXPECT_EQ (keyboard.midiInChannelMask, 0xffff);

    testpaint::paint (keyboard);
    EXPECT_EQ (keyboard.whites.size(), 75);
    EXPECT_EQ (keyboard.blacks.size(), 53);

    state.noteOn (1, 100, 1.0f);   // a channel and a note the framework would now ignore
    keyboard.timerCallback();
    EXPECT_TRUE (keyboard.keysCurrentlyDrawnDown[100]);
}

TEST (ImageKeyboard, MainComponentOwnsOneThatIsNeverShown)
{
    MainComponent mc;
    const auto keyboards = [&mc]
    {
        int n = 0;
        std::function<void (juce::Component&)> walk = [&] (juce::Component& c)
        {
            for (auto* child : c.getChildren())
            {
                n += dynamic_cast<KeyboardCustom*> (child) != nullptr ? 1 : 0;
                walk (*child);
            }
        };
        walk (mc);
        return n;
    }();

    EXPECT_EQ (keyboards, 0) << "no keyboard anywhere on the screen";

    MainComponentTestAccess access (mc);
    auto* keyboard = access.keyboard();
    ASSERT_NE (keyboard, nullptr);
    EXPECT_EQ (keyboard->getParentComponent(), nullptr);
    EXPECT_FALSE (keyboard->isVisible());
    EXPECT_TRUE (keyboard->getBounds().isEmpty());
    EXPECT_EQ (keyboard->state, &access.keyboardState());
    EXPECT_EQ (keyboard->getOrientation(), juce::MidiKeyboardComponent::horizontalKeyboard);
}
