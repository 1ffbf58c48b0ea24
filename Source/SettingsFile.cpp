#include "SettingsFile.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace SettingsFile
{
    namespace
    {
        /** Settings files are a few kilobytes; anything this big is not one of ours. */
        constexpr juce::int64 largestSettingsFile = 16 * 1024 * 1024;

        /** The framework's parser descends one call per element level; a hostile file nested
            deeply enough would exhaust the stack. Our files nest two levels. */
        constexpr int deepestSettingsNesting = 64;

        /** The deepest element nesting of an XML text, found without parsing it. Comments,
            CDATA, declarations and quoted attribute values are skipped as the parser skips them. */
        int nestingDepth (const juce::String& text)
        {
            auto p = text.getCharPointer();
            int depth = 0, deepest = 0;

            auto skipPast = [&p] (const char* end)
            {
                const auto length = (int) std::strlen (end);

                while (! p.isEmpty() && p.compareUpTo (juce::CharPointer_ASCII (end), length) != 0)
                    ++p;

                for (int i = 0; i < length && ! p.isEmpty(); ++i)
                    ++p;
            };

            while (! p.isEmpty())
            {
                if (*p != '<')
                {
                    ++p;
                    continue;
                }

                if (p.compareUpTo (juce::CharPointer_ASCII ("<!--"), 4) == 0)      { skipPast ("-->"); continue; }
                if (p.compareUpTo (juce::CharPointer_ASCII ("<![CDATA["), 9) == 0) { skipPast ("]]>"); continue; }

                ++p;
                const auto first = *p;
                juce::juce_wchar previous = 0, quote = 0;

                while (! p.isEmpty() && (quote != 0 || *p != '>'))
                {
                    const auto c = *p;

                    if (quote != 0)      { if (c == quote) quote = 0; }
                    else if (c == '"' || c == '\'') quote = c;

                    previous = c;
                    ++p;
                }

                if (first == '/')
                    --depth;
                else if (first != '!' && first != '?' && previous != '/')
                    deepest = juce::jmax (deepest, ++depth);
            }

            return deepest;
        }

        /** A file we write never has a document type declaration. Through one, a file can
            declare entities, which the framework's parser expands recursively: an entity
            that refers to itself exhausts the stack at every start. */
        bool declaresEntities (const juce::String& text)
        {
            return text.containsIgnoreCase ("<!DOCTYPE") || text.containsIgnoreCase ("<!ENTITY");
        }
    }

    Pairs read (const juce::File& file)
    {
        Pairs pairs;

        if (! file.existsAsFile() || file.getSize() > largestSettingsFile)
            return pairs;

        const auto text = file.loadFileAsString();

        if (nestingDepth (text) > deepestSettingsNesting || declaresEntities (text))
            return pairs;

        const auto root = juce::XmlDocument (text).getDocumentElement();

        if (root == nullptr || ! root->hasTagName ("vrSettings"))
            return pairs;

        for (auto* setting : root->getChildIterator())
        {
            if (! setting->hasTagName ("SETTING"))
                continue;

            try
            {
                pairs.emplace_back (setting->getStringAttribute ("Obj"), setting->getStringAttribute ("Value"));
            }
            catch (const std::exception&)
            {
                // An element that cannot be kept is passed over; the walk goes on.
            }
        }

        return pairs;
    }

    int leadingInteger (const juce::String& text)
    {
        auto p = text.getCharPointer();

        while (juce::CharacterFunctions::isWhitespace (*p))
            ++p;

        const bool negative = *p == '-';

        if (*p == '-' || *p == '+')
            ++p;

        juce::int64 value = 0;

        while (juce::CharacterFunctions::isDigit (*p))
        {
            value = juce::jmin ((juce::int64) std::numeric_limits<int>::max() + 1, value * 10 + (*p - '0'));
            ++p;
        }

        return (int) juce::jlimit ((juce::int64) std::numeric_limits<int>::min(), (juce::int64) std::numeric_limits<int>::max(),
                                   negative ? -value : value);
    }

    int truncatedNumber (const juce::String& text)
    {
        const auto value = text.getDoubleValue();

        if (std::isnan (value))
            return 0;

        // Truncate first, then hold the value where an int can carry it.
        return (int) juce::jlimit ((double) std::numeric_limits<int>::min(), (double) std::numeric_limits<int>::max(), std::trunc (value));
    }
}
