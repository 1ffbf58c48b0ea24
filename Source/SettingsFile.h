#pragma once

#include <juce_core/juce_core.h>

#include <utility>
#include <vector>

//==============================================================================
/** Reading Settings.xml, with the guards that keep a damaged or hostile file from
    stopping the program: such a file reads as no pairs at all, as a missing one does.
    Any thread.
*/
namespace SettingsFile
{
    using Pairs = std::vector<std::pair<juce::String, juce::String>>;

    /** The (key, value) pairs of a settings file, in file order: the Obj and Value of every
        SETTING child of a vrSettings root (tags matched ignoring case). Empty for a missing,
        unreadable, malformed, oversized or too deeply nested file, and for one that
        declares a document type or entities. */
    Pairs read (const juce::File& file);

    /** Reads a decimal integer the way the C library's atoi does (leading blanks, a sign,
        digits), saturating instead of overflowing. */
    int leadingInteger (const juce::String& text);

    /** Reads a decimal number with fraction and exponent, truncated toward zero and held
        within the int range. */
    int truncatedNumber (const juce::String& text);
}
