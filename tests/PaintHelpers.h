#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>

namespace testpaint
{
    /** Paints a component, children included, into a transparent ARGB image of its size. */
    inline juce::Image paint (juce::Component& c)
    {
        juce::Image image (juce::Image::ARGB, juce::jmax (1, c.getWidth()), juce::jmax (1, c.getHeight()), true);
        juce::Graphics g (image);
        c.paintEntireComponent (g, false);
        return image;
    }

    inline ::testing::AssertionResult colourNear (juce::Colour actual, juce::Colour expected, int tolerance = 2)
    {
        auto near = [tolerance] (int a, int b) { return std::abs (a - b) <= tolerance; };

        if (near (actual.getAlpha(), expected.getAlpha()) && near (actual.getRed(), expected.getRed())
            && near (actual.getGreen(), expected.getGreen()) && near (actual.getBlue(), expected.getBlue()))
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "pixel " << actual.toDisplayString (true)
                                             << " expected " << expected.toDisplayString (true);
    }

    /** Rows [top, bottom] that hold pixels darker than the threshold in an area; -1 when none. */
    inline std::pair<int, int> darkRows (const juce::Image& image, juce::Rectangle<int> area, int threshold = 100)
    {
        int top = -1, bottom = -1;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
            {
                const auto p = image.getPixelAt (x, y);

                if (p.getAlpha() > 200 && p.getBrightness() * 255.0f < (float) threshold)
                {
                    if (top < 0)
                        top = y;

                    bottom = y;
                }
            }

        return { top, bottom };
    }
}
