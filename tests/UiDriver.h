#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Puts a component on the test display and clicks its children through the window's
    peer, so that the framework dispatches the mouse as it does for a user. */
class UiDriver
{
public:
    explicit UiDriver (juce::Component& top) : window (top)
    {
        window.addToDesktop (0);
        window.setVisible (true);
    }

    ~UiDriver()
    {
        window.removeFromDesktop();
    }

    void click (juce::Component& target, juce::ModifierKeys buttons = juce::ModifierKeys::leftButtonModifier)
    {
        const auto at = window.getLocalPoint (&target, target.getLocalBounds().getCentre()).toFloat();
        send (at, {});
        send (at, buttons);
        send (at, {});
    }

private:
    void send (juce::Point<float> at, juce::ModifierKeys mods)
    {
        if (auto* peer = window.getPeer())
            peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, mods,
                                    juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                                    (time += 20));
    }

    juce::Component& window;
    juce::int64 time = juce::Time::currentTimeMillis();
};
