#pragma once

#include <juce_core/juce_core.h>

#include <functional>

//==============================================================================
/** The take's files on disk: where they may go, the stream each writer writes through,
    and the repair of a file whose disk writes failed.
*/
namespace TakeFiles
{
    /** Whether a take stays where the user chose it: the folder text is used as it stands,
        the take folder is that folder or one entry inside it, and every file one entry
        inside the take folder. A stored prefix can hold what typing cannot ("/", "..", a
        leading "~", which the framework reads as a home folder), and the framework's path
        clean-up drops characters and cuts long paths; each could put files elsewhere. */
    bool takeStaysInFolder (const juce::String& folderText, const juce::File& takeFolder, const juce::String& fileName);

    /** The file stream under each writer. The framework's threaded writer drops the result
        of its disk writes, so a failing disk would go unnoticed while the screen still
        says recording; this stream reports the first failure instead. Writer thread. */
    class WatchedFileStream : public juce::FileOutputStream
    {
    public:
        WatchedFileStream (const juce::File& target, std::function<void()> onFailure);

        bool write (const void* data, size_t numBytes) override;
        void flush() override;

    private:
        bool check (bool ok);

        std::function<void()> failed;
        bool reported = false;
    };

    /** Makes a WAV file's header describe the whole frames that the file really holds,
        dropping a partial last frame. After a failed disk write the framework's writer
        leaves a header that counts bytes which never reached the disk. Returns false when
        the file is not a WAV file it understands or cannot be changed. Any thread. */
    bool fitWavHeaderToData (const juce::File& file);
}
