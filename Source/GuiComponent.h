#pragma once

#include <juce_audio_utils/juce_audio_utils.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <vector>

//==============================================================================
/** The numbered channel selection box: a red block when on, a white one when off,
    with its label in black across it.

    It toggles when a press that began on it is released, wherever the pointer is
    then, unless the box is disabled or the release is a popup-menu click.
    Message thread only.
*/
class CheckBox : public juce::ToggleButton
{
public:
    explicit CheckBox (const juce::String& name);
    ~CheckBox() override;

    void mouseUp (const juce::MouseEvent& e) override;
    void paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    /** The text drawn across the box; the owner writes it once after construction. */
    juce::String label;

    /** Modifier flags that make a release a popup-menu click: the right button or the
        control key, on every platform (JUCE itself only counts the control key on macOS). */
    static constexpr int popupMenuFlags = juce::ModifierKeys::rightButtonModifier | juce::ModifierKeys::ctrlModifier;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CheckBox)
};

//==============================================================================
/** The 24-segment bar meter of one input channel, -42 dB at the bottom to 0 dB at the
    top; the topmost lit segment fades with the fraction of it that the level reaches.
    Message thread only.
*/
class vuMeter2 : public juce::Component
{
public:
    vuMeter2();
    ~vuMeter2() override;

    /** Maps a linear amplitude (1.0 = full scale) onto the bar and repaints. */
    void setLevel (float v);

    void paint (juce::Graphics& g) override;

    std::vector<juce::Colour> colours;
    float level = 0.0f;
    float minDb = -42.0f;
    float maxDb = 0.0f;
    juce::Colour background { 0xff000000 };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (vuMeter2)
};

//==============================================================================
/** The general panel: a fill (or a picture stretched over it), an optional border
    and an optional centred text. The owner sets the fields directly.
    Message thread only.
*/
class backgroundComponent : public juce::Component
{
public:
    backgroundComponent() = default;
    ~backgroundComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    juce::Image image;
    juce::Colour borderColour { juce::Colours::transparentBlack };
    float borderThickness = 1.0f;
    bool drawBorder = false;
    juce::Colour fillColour { juce::Colours::transparentWhite };
    juce::String text;
    juce::Colour textColour;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (backgroundComponent)
};

//==============================================================================
/** The disk-figures panel: free space, recording time remaining and space occupied.
    The timer writes the figures and the three label texts. Message thread only.
*/
class infoComponent : public juce::Component
{
public:
    infoComponent();
    ~infoComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    juce::String path;
    float bytesWritten = 0.0f;
    float sampleRate = 0.0f;
    int bits = 0;
    int numChannels = 0;
    juce::Colour backgroundColour;
    juce::Label diskSpaceLabel;
    juce::Label timeRemainingLabel;
    juce::Label spaceOccupiedLabel;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (infoComponent)
};

//==============================================================================
/** The elapsed-time panel: one large yellow clock label, placed once at construction.
    Message thread only.
*/
class CounterComponent : public juce::Component
{
public:
    CounterComponent();
    ~CounterComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    juce::Label timeLabel;
    juce::Colour backgroundColour;
    juce::String text;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CounterComponent)
};

//==============================================================================
/** A piano keyboard that draws every key from one of four pictures. It keeps the
    framework keyboard's geometry and input handling and keeps its own copies of the
    range, channel mask and note state that its drawing reads. The main component owns
    one and never shows it. Message thread, except the note callbacks (any thread).
*/
class KeyboardCustom : public juce::MidiKeyboardComponent
{
public:
    KeyboardCustom (juce::MidiKeyboardState& stateToShow, Orientation keyOrientation);
    ~KeyboardCustom() override;

    void paint (juce::Graphics& g) override;
    void timerCallback() override;

    void drawWhiteNote (int midiNoteNumber, juce::Graphics& g, juce::Rectangle<float> area,
                        bool isDown, bool isOver, juce::Colour lineColour, juce::Colour textColour) override;
    void drawBlackNote (int midiNoteNumber, juce::Graphics& g, juce::Rectangle<float> area,
                        bool isDown, bool isOver, juce::Colour noteFillColour) override;

    /** Whether a note counts as down: within 0..127 and on for any channel of the mask. */
    bool isKeyDown (int note) const;

    juce::MidiKeyboardState* state = nullptr;
    juce::Image whiteKeyImage;
    juce::Image whiteKeyDownImage;
    juce::Image blackKeyImage;
    juce::Image blackKeyDownImage;
    juce::BigInteger keysCurrentlyDrawnDown;
    int rangeStart = 0;
    int rangeEnd = 127;
    int midiChannel = 1;
    int midiInChannelMask = 0xffff;
    juce::Array<int> mouseOverNotes;
    juce::Array<int> mouseDownNotes;
    std::vector<juce::uint8> whiteNotes { 0, 2, 4, 5, 7, 9, 11 };
    std::vector<juce::uint8> blackNotes { 1, 3, 6, 8, 10 };

    /** Set by the note callbacks, which may come from any thread; cleared by the timer. */
    std::atomic<bool> shouldCheckState { false };

private:
    void handleNoteOn (juce::MidiKeyboardState*, int, int, float) override;
    void handleNoteOff (juce::MidiKeyboardState*, int, int, float) override;

    void drawKey (juce::Graphics& g, juce::Rectangle<float> area, bool isDown,
                  const juce::Image& up, const juce::Image& down, int inset);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KeyboardCustom)
};
