#include "GuiComponent.h"
#include "VelmoraResources.h"

#include <cmath>

//==============================================================================
CheckBox::CheckBox (const juce::String& name)
    : juce::ToggleButton (name)
{
}

CheckBox::~CheckBox() = default;

void CheckBox::mouseUp (const juce::MouseEvent& e)
{
    if (! isEnabled())
        return;

    if (e.mods.testFlags (popupMenuFlags))
        return;

    // The base's release handling is bypassed on purpose: a press that began on the
    // box toggles it even when the pointer has been dragged off before the release.
    setToggleState (! getToggleState(), juce::sendNotification);
}

void CheckBox::paintButton (juce::Graphics& g, bool, bool)
{
    const auto w = getWidth();
    const auto h = getHeight();

    g.setFont (juce::jmin (0.75f * (float) h, 15.0f));

    auto fill = getToggleState() ? juce::Colour (0xffff0000) : juce::Colour (0xffffffff);

    if (! isEnabled())
        fill = fill.withAlpha ((juce::uint8) 0x99);

    g.setColour (fill);
    g.fillRect (4, 0, w - 8, h);

    g.setColour (juce::Colour (0xff000000));
    g.drawText (label, juce::Rectangle<float> (0.0f, 0.0f, (float) w, (float) h), juce::Justification::centred, true);
}

//==============================================================================
vuMeter2::vuMeter2()
{
    colours.insert (colours.end(), 18, juce::Colours::green);
    colours.insert (colours.end(), 4, juce::Colours::yellow);
    colours.insert (colours.end(), 2, juce::Colours::red);

    // paint covers every pixel with the opaque background first, so nothing behind a
    // meter needs drawing when the timer repaints it twenty times a second.
    setOpaque (true);
}

vuMeter2::~vuMeter2() = default;

void vuMeter2::setLevel (float v)
{
    // A NaN from a misbehaving source would make the segment count undefined in paint.
    const auto amplitude = std::isnan (v) ? 0.0f : juce::jlimit (0.0f, 1.0f, v);
    const auto dB = juce::jlimit (minDb, maxDb, 20.0f * std::log10 (amplitude));
    level = (dB - minDb) / (maxDb - minDb);
    repaint();
}

void vuMeter2::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto n = (int) colours.size();
    const auto segH = h / n;
    const auto lit = (float) n * level;
    const auto litInt = (int) lit;

    g.setColour (background);
    g.fillRect (getLocalBounds());

    auto drawSegment = [&] (int index, float opacity)
    {
        const juce::Rectangle<int> segment (0, h - (index + 1) * segH, w, segH);
        g.setColour (colours[(size_t) index]);

        if (opacity < 1.0f)
            g.setOpacity (opacity);

        g.fillRect (segment);
        g.setColour (background);
        g.drawRect (segment.toFloat(), 1.0f);
    };

    for (int i = 0; i < litInt; ++i)
        drawSegment (i, 1.0f);

    if (litInt < n)
        drawSegment (litInt, lit - (float) litInt);
}

//==============================================================================
backgroundComponent::~backgroundComponent() = default;

void backgroundComponent::paint (juce::Graphics& g)
{
    const juce::Rectangle<float> area (0.0f, 0.0f, (float) getWidth(), (float) getHeight());

    if (image.isValid())
    {
        g.drawImage (image, area, juce::RectanglePlacement::stretchToFit, false);
    }
    else
    {
        auto inner = area;

        if (drawBorder)
        {
            g.setColour (borderColour);
            g.drawRect (area, borderThickness);
            const auto t = borderThickness;
            inner = { t, t, juce::jmax (0.0f, area.getWidth() - 2.0f * t), juce::jmax (0.0f, area.getHeight() - 2.0f * t) };
        }

        g.setColour (fillColour);
        g.fillRect (inner);
    }

    if (text.isNotEmpty())
    {
        g.setColour (textColour);
        g.drawText (text, area, juce::Justification::centred, true);
    }
}

void backgroundComponent::resized() {}

//==============================================================================
infoComponent::infoComponent()
{
    addAndMakeVisible (diskSpaceLabel);
    addAndMakeVisible (timeRemainingLabel);
    spaceOccupiedLabel.setJustificationType (juce::Justification::centredRight);
    addAndMakeVisible (spaceOccupiedLabel);
}

infoComponent::~infoComponent() = default;

void infoComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);
}

void infoComponent::resized()
{
    diskSpaceLabel.setBounds (2, 3, 200, 20);
    timeRemainingLabel.setBounds (2, 30, 250, 20);
    spaceOccupiedLabel.setBounds (getScreenBounds().getWidth() - 202, diskSpaceLabel.getY(), 200, 20);
}

//==============================================================================
CounterComponent::CounterComponent()
{
    text = "00:00:00.000";
    addAndMakeVisible (timeLabel);
    timeLabel.setColour (juce::Label::textColourId, juce::Colours::yellow);

    const juce::Font font (24.0f, juce::Font::plain);
    timeLabel.setFont (font);
    timeLabel.setBounds (0, 0, (int) std::ceil (font.getStringWidthFloat (text)), 30);
    timeLabel.setText (text, juce::dontSendNotification);
}

CounterComponent::~CounterComponent() = default;

void CounterComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);
}

// The clock label keeps the place it was given at construction, whatever the panel's size.
void CounterComponent::resized() {}

//==============================================================================
KeyboardCustom::KeyboardCustom (juce::MidiKeyboardState& stateToShow, Orientation keyOrientation)
    : juce::MidiKeyboardComponent (stateToShow, keyOrientation)
{
    whiteKeyImage = juce::ImageCache::getFromMemory (BinaryData::whiteKeyUp_png, BinaryData::whiteKeyUp_pngSize);
    whiteKeyDownImage = juce::ImageCache::getFromMemory (BinaryData::whiteKeyDown_png, BinaryData::whiteKeyDown_pngSize);
    blackKeyImage = juce::ImageCache::getFromMemory (BinaryData::blackKeyUp_png, BinaryData::blackKeyUp_pngSize);
    blackKeyDownImage = juce::ImageCache::getFromMemory (BinaryData::blackKeyDown_png, BinaryData::blackKeyDown_pngSize);
    setKeyWidth (20.0f);
    state = &stateToShow;
}

KeyboardCustom::~KeyboardCustom() = default;

bool KeyboardCustom::isKeyDown (int note) const
{
    return note >= 0 && note <= 127 && state->isNoteOnForChannels (midiInChannelMask, note);
}

void KeyboardCustom::paint (juce::Graphics& g)
{
    g.fillAll (findColour (whiteNoteColourId));

    const auto lineColour = findColour (keySeparatorLineColourId);
    const auto textColour = findColour (textLabelColourId);

    for (int octave = 0; octave < 128; octave += 12)
        for (auto offset : whiteNotes)
            if (const auto n = octave + offset; n >= rangeStart && n <= rangeEnd)
                drawWhiteNote (n, g, getRectangleForKey (n), isKeyDown (n), mouseOverNotes.contains (n), lineColour, textColour);

    const auto blackColour = findColour (blackNoteColourId);

    for (int octave = 0; octave < 128; octave += 12)
        for (auto offset : blackNotes)
            if (const auto n = octave + offset; n >= rangeStart && n <= rangeEnd)
                drawBlackNote (n, g, getRectangleForKey (n), isKeyDown (n), mouseOverNotes.contains (n), blackColour);
}

void KeyboardCustom::drawWhiteNote (int, juce::Graphics& g, juce::Rectangle<float> area, bool isDown, bool,
                                    juce::Colour, juce::Colour)
{
    drawKey (g, area, isDown, whiteKeyImage, whiteKeyDownImage, 1);
}

void KeyboardCustom::drawBlackNote (int, juce::Graphics& g, juce::Rectangle<float> area, bool isDown, bool, juce::Colour)
{
    drawKey (g, area, isDown, blackKeyImage, blackKeyDownImage, 3);
}

/** A black key-shaped background, then the up picture over the whole key, or the down
    picture inset from both sides and cropped by twice the inset on the right. */
void KeyboardCustom::drawKey (juce::Graphics& g, juce::Rectangle<float> area, bool isDown,
                              const juce::Image& up, const juce::Image& down, int inset)
{
    g.setColour (juce::Colours::black);
    g.fillRect (area);

    const auto i = (float) inset;

    if (! isDown)
        g.drawImage (up, (int) area.getX(), (int) area.getY(), (int) area.getWidth(), (int) area.getHeight(),
                     0, 0, up.getWidth(), up.getHeight(), false);
    else
        g.drawImage (down, (int) (area.getX() + i), (int) area.getY(), (int) (area.getWidth() - 2.0f * i), (int) area.getHeight(),
                     0, 0, up.getWidth() - 2 * inset, down.getHeight(), false);
}

void KeyboardCustom::handleNoteOn (juce::MidiKeyboardState*, int, int, float)
{
    shouldCheckState = true;
}

void KeyboardCustom::handleNoteOff (juce::MidiKeyboardState*, int, int, float)
{
    shouldCheckState = true;
}

void KeyboardCustom::timerCallback()
{
    if (! shouldCheckState)
        return;

    shouldCheckState = false;

    for (int n = rangeStart; n <= rangeEnd; ++n)
    {
        const auto down = isKeyDown (n);

        if (down != keysCurrentlyDrawnDown[n])
        {
            keysCurrentlyDrawnDown.setBit (n, down);
            repaint (getRectangleForKey (n).getSmallestIntegerContainer());
        }
    }
}
