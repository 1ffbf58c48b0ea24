#include "GuiComponent.h"
#include "PaintHelpers.h"

#include <gtest/gtest.h>

using testpaint::colourNear;
using testpaint::paint;

namespace
{
    juce::MouseEvent releaseEvent (juce::Component& c, juce::ModifierKeys mods, juce::Point<float> where = { 5.0f, 5.0f })
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), where, mods,
                                 juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                 juce::MouseInputSource::defaultRotation, juce::MouseInputSource::defaultTiltX,
                                 juce::MouseInputSource::defaultTiltY, &c, &c, now, where, now, 1, false);
    }

    /** Records the order in which a box notifies. */
    struct NotificationLog : juce::Button::Listener
    {
        explicit NotificationLog (CheckBox& b) : box (b)
        {
            box.addListener (this);
            box.onClick = [this] { events.add ("onClick"); };
            box.onStateChange = [this] { if (box.getToggleState() != lastState) { lastState = box.getToggleState(); events.add ("stateChange"); } };
        }

        ~NotificationLog() override { box.removeListener (this); }

        void buttonClicked (juce::Button*) override { events.add ("listener"); }

        CheckBox& box;
        bool lastState = false;
        juce::StringArray events;
    };

    void runMessageLoop (int ms)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
    }
}

//==============================================================================
TEST (CheckBoxRelease, LeftReleaseTogglesAndNotifiesListenerThenOnClick)
{
    CheckBox box ("cb0");
    box.setBounds (0, 0, 40, 30);
    NotificationLog log (box);

    box.mouseUp (releaseEvent (box, {}));
    EXPECT_TRUE (box.getToggleState());
    EXPECT_EQ (log.events.joinIntoString (","), "listener,onClick,stateChange");

    box.mouseUp (releaseEvent (box, {}));
    EXPECT_FALSE (box.getToggleState());
    EXPECT_EQ (log.events.size(), 6);
}

TEST (CheckBoxRelease, PopupMenuReleasesAreIgnored)
{
    CheckBox box ("cb0");
    NotificationLog log (box);

    box.mouseUp (releaseEvent (box, juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier)));
    box.mouseUp (releaseEvent (box, juce::ModifierKeys (juce::ModifierKeys::ctrlModifier)));
    box.mouseUp (releaseEvent (box, juce::ModifierKeys (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::leftButtonModifier)));

    EXPECT_FALSE (box.getToggleState());
    EXPECT_TRUE (log.events.isEmpty());

    // Shift and alt are not popup-menu clicks.
    box.mouseUp (releaseEvent (box, juce::ModifierKeys (juce::ModifierKeys::shiftModifier | juce::ModifierKeys::altModifier)));
    EXPECT_TRUE (box.getToggleState());
}

TEST (CheckBoxRelease, DisabledBoxOrDisabledParentKeepsItsState)
{
    juce::Component parent;
    CheckBox box ("cb0");
    parent.addAndMakeVisible (box);
    NotificationLog log (box);

    box.setEnabled (false);
    box.mouseUp (releaseEvent (box, {}));
    EXPECT_FALSE (box.getToggleState());

    box.setEnabled (true);
    parent.setEnabled (false);
    box.mouseUp (releaseEvent (box, {}));
    EXPECT_FALSE (box.getToggleState());
    EXPECT_TRUE (log.events.isEmpty());

    parent.setEnabled (true);
    box.mouseUp (releaseEvent (box, {}));
    EXPECT_TRUE (box.getToggleState());
}

TEST (CheckBoxRelease, ProgramSetStateNotifiesOnlyWhenAsked)
{
    CheckBox box ("cb3");
    NotificationLog log (box);

    box.setToggleState (true, juce::dontSendNotification);
    EXPECT_TRUE (box.getToggleState());
    EXPECT_FALSE (log.events.contains ("onClick"));
    EXPECT_FALSE (log.events.contains ("listener"));

    box.setToggleState (true, juce::sendNotification);   // unchanged state: nothing at all
    EXPECT_FALSE (log.events.contains ("onClick"));

    box.setToggleState (false, juce::sendNotification);
    EXPECT_TRUE (log.events.contains ("listener"));
    EXPECT_TRUE (log.events.contains ("onClick"));
}

TEST (CheckBoxRelease, ReturnKeyTogglesThroughTheBase)
{
    CheckBox box ("cb0");
    NotificationLog log (box);

    EXPECT_TRUE (static_cast<juce::Component&> (box).keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    runMessageLoop (50);

    EXPECT_TRUE (box.getToggleState());
    EXPECT_TRUE (log.events.contains ("onClick"));
}

TEST (CheckBoxRelease, PressDraggedOffAndReleasedOutsideToggles)
{
    ASSERT_NE (std::getenv ("DISPLAY"), nullptr) << "this test needs a display (the test command starts Xvfb)";

    juce::Component window;
    window.setBounds (100, 100, 200, 100);
    CheckBox box ("cb0");
    box.setBounds (10, 10, 40, 30);
    window.addAndMakeVisible (box);
    window.addToDesktop (0);
    window.setVisible (true);
    NotificationLog log (box);

    auto* peer = window.getPeer();
    ASSERT_NE (peer, nullptr);

    auto send = [peer, t = juce::Time::currentTimeMillis()] (juce::Point<float> at, juce::ModifierKeys mods, int step) mutable
    {
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, mods,
                                juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                t + step * 10);
    };

    const juce::ModifierKeys left (juce::ModifierKeys::leftButtonModifier);
    send ({ 20.0f, 20.0f }, {}, 0);
    send ({ 20.0f, 20.0f }, left, 1);
    send ({ 150.0f, 80.0f }, left, 2);   // dragged off the box
    send ({ 150.0f, 80.0f }, {}, 3);     // released outside it

    EXPECT_TRUE (box.getToggleState());
    EXPECT_EQ (log.events.joinIntoString (","), "listener,onClick,stateChange");

    window.removeFromDesktop();
}

//==============================================================================
TEST (CheckBoxPaint, OnIsRedOffIsWhiteInsetFourPixels)
{
    CheckBox box ("cb0");
    box.setBounds (0, 0, 40, 30);

    box.setToggleState (true, juce::dontSendNotification);
    auto on = paint (box);
    EXPECT_TRUE (colourNear (on.getPixelAt (4, 0), juce::Colour (0xffff0000)));
    EXPECT_TRUE (colourNear (on.getPixelAt (35, 29), juce::Colour (0xffff0000)));
    EXPECT_EQ (on.getPixelAt (3, 15).getAlpha(), 0);
    EXPECT_EQ (on.getPixelAt (36, 15).getAlpha(), 0);

    box.setToggleState (false, juce::dontSendNotification);
    auto off = paint (box);
    EXPECT_TRUE (colourNear (off.getPixelAt (4, 0), juce::Colour (0xffffffff)));
    EXPECT_TRUE (colourNear (off.getPixelAt (35, 29), juce::Colour (0xffffffff)));
    EXPECT_EQ (off.getPixelAt (0, 0).getAlpha(), 0);
}

TEST (CheckBoxPaint, SelectAllBoxFillsItsInsetBlock)
{
    CheckBox box ("checkALL");
    box.setBounds (0, 0, 30, 20);
    box.setToggleState (true, juce::dontSendNotification);
    auto image = paint (box);

    EXPECT_TRUE (colourNear (image.getPixelAt (4, 0), juce::Colour (0xffff0000)));
    EXPECT_TRUE (colourNear (image.getPixelAt (25, 19), juce::Colour (0xffff0000)));
    EXPECT_EQ (image.getPixelAt (26, 10).getAlpha(), 0);
}

TEST (CheckBoxPaint, DisabledBoxIsTranslucentWithAnOpaqueBlackLabel)
{
    juce::Component parent;
    CheckBox box ("cb0");
    box.label = "8";
    box.setBounds (0, 0, 40, 30);
    parent.addAndMakeVisible (box);
    parent.setEnabled (false);

    box.setToggleState (true, juce::dontSendNotification);
    auto on = paint (box);
    EXPECT_TRUE (colourNear (on.getPixelAt (5, 1), juce::Colour (0x99ff0000)));

    bool opaqueBlack = false;
    for (int y = 0; y < 30; ++y)
        for (int x = 10; x < 30; ++x)
            opaqueBlack = opaqueBlack || colourNear (on.getPixelAt (x, y), juce::Colour (0xff000000), 12);
    EXPECT_TRUE (opaqueBlack);

    box.setToggleState (false, juce::dontSendNotification);
    EXPECT_TRUE (colourNear (paint (box).getPixelAt (5, 1), juce::Colour (0x99ffffff)));
}

TEST (CheckBoxPaint, LabelIsCentredInAFontOfAtMostFifteenPixels)
{
    auto labelRows = [] (int height)
    {
        CheckBox box ("cb7");
        box.label = "8";
        box.setBounds (0, 0, 40, height);
        return testpaint::darkRows (paint (box), { 0, 0, 40, height });
    };

    const auto rows30 = labelRows (30);
    const auto rows40 = labelRows (40);
    const auto rows16 = labelRows (16);
    const auto glyph30 = rows30.second - rows30.first;

    ASSERT_GE (rows30.first, 0);
    EXPECT_EQ (glyph30, rows40.second - rows40.first) << "boxes 20 px and taller all use 15 px";
    EXPECT_LT (rows16.second - rows16.first, glyph30) << "a 16 px box uses 12 px";
    EXPECT_GE (glyph30, 8);
    EXPECT_LE (glyph30, 12);

    // vertically centred: as much room above as below, within a pixel
    EXPECT_LE (std::abs (rows30.first - (29 - rows30.second)), 2);
}

//==============================================================================
TEST (LevelMeter, SetLevelMapsAmplitudeOntoTheDecibelScale)
{
    vuMeter2 meter;

    meter.setLevel (0.5f);
    EXPECT_NEAR (meter.level, (20.0f * std::log10 (0.5f) + 42.0f) / 42.0f, 1e-6f);
    EXPECT_NEAR (meter.level * 24.0f, 20.56f, 0.01f);

    meter.setLevel (0.1f);
    EXPECT_NEAR (meter.level * 24.0f, 12.57f, 0.01f);

    for (float v : { 0.0f, -0.5f, 0.0079f, std::numeric_limits<float>::quiet_NaN() })
    {
        meter.setLevel (v);
        EXPECT_EQ (meter.level, 0.0f) << v;
    }

    meter.setLevel (1.0f);
    EXPECT_EQ (meter.level, 1.0f);
    meter.setLevel (5.0f);
    EXPECT_EQ (meter.level, 1.0f);
}

TEST (LevelMeter, HasEighteenGreenFourYellowTwoRedSegments)
{
    vuMeter2 meter;
    ASSERT_EQ (meter.colours.size(), 24u);
    EXPECT_EQ (meter.colours[0], juce::Colour (0xff008000));
    EXPECT_EQ (meter.colours[17], juce::Colour (0xff008000));
    EXPECT_EQ (meter.colours[18], juce::Colour (0xffffff00));
    EXPECT_EQ (meter.colours[21], juce::Colour (0xffffff00));
    EXPECT_EQ (meter.colours[22], juce::Colour (0xffff0000));
    EXPECT_EQ (meter.colours[23], juce::Colour (0xffff0000));
    EXPECT_EQ (meter.background, juce::Colour (0xff000000));
}

TEST (LevelMeter, FullScaleLightsEverySegmentWithBlackOutlines)
{
    vuMeter2 meter;
    meter.setBounds (0, 0, 30, 130);
    meter.setLevel (1.0f);
    auto image = paint (meter);
    ASSERT_EQ (meter.colours.size(), 24u);

    for (int i = 0; i < 24; ++i)
    {
        const int top = 125 - 5 * i;   // segment i covers rows top .. top + 4
        EXPECT_TRUE (colourNear (image.getPixelAt (15, top + 2), meter.colours[(size_t) i])) << "segment " << i;
        EXPECT_TRUE (colourNear (image.getPixelAt (15, top), juce::Colours::black)) << "outline of " << i;
        EXPECT_TRUE (colourNear (image.getPixelAt (15, top + 4), juce::Colours::black)) << "outline of " << i;
        EXPECT_TRUE (colourNear (image.getPixelAt (0, top + 2), juce::Colours::black));
        EXPECT_TRUE (colourNear (image.getPixelAt (29, top + 2), juce::Colours::black));
    }

    for (int y = 0; y < 10; ++y)
        EXPECT_TRUE (colourNear (image.getPixelAt (15, y), juce::Colours::black)) << "row " << y;
}

TEST (LevelMeter, PartialTopSegmentFadesByItsFraction)
{
    vuMeter2 meter;
    meter.setBounds (0, 0, 30, 130);
    meter.level = 12.5f / 24.0f;
    auto image = paint (meter);

    EXPECT_TRUE (colourNear (image.getPixelAt (15, 125 - 5 * 11 + 2), juce::Colour (0xff008000)));
    EXPECT_TRUE (colourNear (image.getPixelAt (15, 125 - 5 * 12 + 2), juce::Colour (0xff004000))) << "half of green over black";
    EXPECT_TRUE (colourNear (image.getPixelAt (15, 125 - 5 * 13 + 2), juce::Colours::black));

    meter.level = 20.75f / 24.0f;   // the top lit segment is yellow, three quarters on
    image = paint (meter);
    EXPECT_TRUE (colourNear (image.getPixelAt (15, 125 - 5 * 20 + 2), juce::Colour (0xffbfbf00)));
}

TEST (LevelMeter, WholeLevelDrawsTheNextSegmentInvisibly)
{
    vuMeter2 meter;
    meter.setBounds (0, 0, 30, 130);
    meter.level = 0.5f;
    auto image = paint (meter);

    EXPECT_TRUE (colourNear (image.getPixelAt (15, 125 - 5 * 11 + 2), juce::Colour (0xff008000)));
    EXPECT_TRUE (colourNear (image.getPixelAt (15, 125 - 5 * 12 + 2), juce::Colours::black));

    meter.setLevel (0.0f);
    image = paint (meter);
    for (int y = 0; y < 130; y += 3)
        EXPECT_TRUE (colourNear (image.getPixelAt (15, y), juce::Colours::black));
}

TEST (LevelMeter, MeterShorterThanTheSegmentCountShowsOnlyBackground)
{
    vuMeter2 meter;
    meter.setBounds (0, 0, 30, 23);
    meter.setLevel (1.0f);
    auto image = paint (meter);

    for (int y = 0; y < 23; ++y)
        EXPECT_TRUE (colourNear (image.getPixelAt (15, y), juce::Colours::black));
}

//==============================================================================
TEST (Panels, DefaultBackgroundPanelPaintsNothingVisible)
{
    backgroundComponent panel;
    panel.setBounds (0, 0, 50, 20);
    panel.text = "invisible";
    auto image = paint (panel);

    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ (image.getPixelAt (x, y).getAlpha(), 0) << x << "," << y;
}

TEST (Panels, BorderLiesInsideAndFillCoversTheInnerRectangle)
{
    backgroundComponent panel;
    panel.setBounds (0, 0, 40, 30);
    panel.drawBorder = true;
    panel.borderThickness = 3.0f;
    panel.borderColour = juce::Colour (0xffff0000);
    panel.fillColour = juce::Colour (0xff003366);
    auto image = paint (panel);

    EXPECT_TRUE (colourNear (image.getPixelAt (0, 0), juce::Colour (0xffff0000)));
    EXPECT_TRUE (colourNear (image.getPixelAt (2, 15), juce::Colour (0xffff0000)));
    EXPECT_TRUE (colourNear (image.getPixelAt (37, 27), juce::Colour (0xffff0000)));
    EXPECT_TRUE (colourNear (image.getPixelAt (3, 3), juce::Colour (0xff003366)));
    EXPECT_TRUE (colourNear (image.getPixelAt (36, 26), juce::Colour (0xff003366)));

    panel.borderThickness = 15.0f;   // half the height: the inner rectangle is empty
    image = paint (panel);
    EXPECT_TRUE (colourNear (image.getPixelAt (20, 15), juce::Colour (0xffff0000)));
}

TEST (Panels, ImageHidesBorderAndFillButNotTheText)
{
    juce::Image picture (juce::Image::ARGB, 2, 2, true);
    picture.clear (picture.getBounds(), juce::Colour (0xff00ff00));

    backgroundComponent panel;
    panel.setBounds (0, 0, 60, 30);
    panel.image = picture;
    panel.drawBorder = true;
    panel.borderColour = juce::Colour (0xffff0000);
    panel.fillColour = juce::Colour (0xff0000ff);
    panel.text = "WWW";
    panel.textColour = juce::Colour (0xff000000);
    auto image = paint (panel);

    EXPECT_TRUE (colourNear (image.getPixelAt (0, 0), juce::Colour (0xff00ff00)));
    EXPECT_TRUE (colourNear (image.getPixelAt (59, 29), juce::Colour (0xff00ff00)));
    EXPECT_GE (testpaint::darkRows (image, { 0, 0, 60, 30 }).first, 0) << "text drawn over the picture";
}

TEST (Panels, DefaultTextColourMakesTextInvisible)
{
    backgroundComponent panel;
    panel.setBounds (0, 0, 60, 30);
    panel.fillColour = juce::Colour (0xffffffff);
    panel.text = "WWW";
    auto image = paint (panel);

    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_TRUE (colourNear (image.getPixelAt (x, y), juce::Colour (0xffffffff), 0));
}

TEST (Panels, DiskFiguresPanelPlacesThreeLines)
{
    infoComponent info;
    info.setBounds (10, 490, 780, 50);

    EXPECT_EQ (info.diskSpaceLabel.getBounds(), juce::Rectangle<int> (2, 3, 200, 20));
    EXPECT_EQ (info.timeRemainingLabel.getBounds(), juce::Rectangle<int> (2, 30, 250, 20));
    EXPECT_EQ (info.spaceOccupiedLabel.getBounds(), juce::Rectangle<int> (578, 3, 200, 20));
    EXPECT_EQ (info.spaceOccupiedLabel.getJustificationType(), juce::Justification (juce::Justification::centredRight));
    EXPECT_EQ (info.diskSpaceLabel.getJustificationType(), juce::Justification (juce::Justification::centredLeft));
    EXPECT_EQ (info.getNumChildComponents(), 3);

    info.setSize (100, 50);
    EXPECT_EQ (info.spaceOccupiedLabel.getX(), -102);
}

TEST (Panels, DiskFiguresPanelShowsOnlyItsBackgroundUntilFilled)
{
    infoComponent info;
    info.setBounds (0, 0, 780, 50);
    info.backgroundColour = juce::Colour (0xff90906a);
    auto image = paint (info);

    for (int y = 0; y < 50; y += 7)
        for (int x = 0; x < 780; x += 13)
            ASSERT_TRUE (colourNear (image.getPixelAt (x, y), juce::Colour (0xff90906a), 0)) << x << "," << y;
}

TEST (Panels, ClockLabelIsSizedForItsFirstTextAndNeverMoves)
{
    CounterComponent counter;
    const juce::Font font (24.0f, juce::Font::plain);

    EXPECT_EQ (counter.text, "00:00:00.000");
    EXPECT_EQ (counter.timeLabel.getText(), "00:00:00.000");
    EXPECT_EQ (counter.timeLabel.getBounds(),
               juce::Rectangle<int> (0, 0, (int) std::ceil (font.getStringWidthFloat ("00:00:00.000")), 30));
    EXPECT_EQ (counter.timeLabel.getFont().getHeight(), 24.0f);
    EXPECT_EQ (counter.timeLabel.findColour (juce::Label::textColourId), juce::Colour (0xffffff00));

    const auto bounds = counter.timeLabel.getBounds();
    counter.setBounds (220, 120, 140, 30);
    counter.setSize (400, 90);
    EXPECT_EQ (counter.timeLabel.getBounds(), bounds);
}

TEST (Panels, ClockPanelFillsItsBackgroundWithYellowDigits)
{
    CounterComponent counter;
    counter.setBounds (0, 0, 140, 30);
    counter.backgroundColour = juce::Colour (0xff636262);
    auto image = paint (counter);

    EXPECT_TRUE (colourNear (image.getPixelAt (139, 29), juce::Colour (0xff636262), 0));

    int yellow = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 140; ++x)
            if (colourNear (image.getPixelAt (x, y), juce::Colour (0xffffff00), 30))
                ++yellow;

    EXPECT_GT (yellow, 50);
}
