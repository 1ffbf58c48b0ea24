#pragma once

#include <juce_core/juce_core.h>

#include <functional>

//==============================================================================
/** The take's files on disk: where they may go, the stream each writer writes through,
    and the repair of a file whose disk writes failed.
*/
namespace TakeFiles
{
    /** The folder named after the prefix inside the recording folder, with both texts
        used exactly as they stand; a non-existent File when the take would land anywhere
        else. A stored prefix can hold what typing cannot ("/", ".", "..", a leading "~",
        which the framework reads as a home folder), and a stored folder can be relative
        or climb out through "..". Characters that the framework's path clean-up would
        drop ("#", "@", ",", ";", ":" and others) are ordinary in a Linux name and kept. */
    juce::File takeFolderInside (const juce::String& folderText, const juce::String& prefix);

    /** The file stream under each writer: a 32768-byte buffer in front of a new file, that
        reports the first write that fails. The framework's threaded writer drops the
        result of its disk writes, so a failing disk would go unnoticed while the screen
        still says recording. The framework's own buffered stream would not do: it writes
        its buffer out on a seek and when it is deleted, where the writer finalising a
        file cannot see the result, so a disk that fills just then would lose the file's
        last buffer and header without a word; nor would its file stream, which closes
        without a sync and drops the result of the close. Writer thread, then the thread
        deleting the writer. */
    class WatchedFileStream : public juce::OutputStream
    {
    public:
        /** Makes the file; it is not opened when its name is taken already, so that a
            take is never appended to an old file. */
        WatchedFileStream (const juce::File& target, std::function<void()> onFailure);

        /** Writes out what is still buffered, brings the file to the disk and closes it. A
            failure of any of them is reported like any other: on network and user-space
            file systems a write error may show only at the sync or the close, and until
            the sync a power cut can take the end of the take. */
        ~WatchedFileStream() override;

        bool openedOk() const noexcept   { return fd >= 0; }

        void flush() override;
        bool setPosition (juce::int64 newPosition) override;
        juce::int64 getPosition() override;
        bool write (const void* data, size_t numBytes) override;

        static constexpr size_t bufferSize = 32768;

    private:
        bool writeOutBuffer();
        bool writeToFile (const void* data, size_t numBytes);
        bool check (bool ok);

        int fd = -1;                   // unbuffered: each write reaches the file system
        juce::int64 filePosition = 0;
        juce::HeapBlock<char> buffer { bufferSize };
        size_t bytesInBuffer = 0;
        std::function<void()> failed;
        bool reported = false;

        JUCE_DECLARE_NON_COPYABLE (WatchedFileStream)
    };

    /** Makes a WAV file's header describe the whole frames that the file really holds,
        dropping a partial last frame. After a failed disk write the framework's writer
        leaves a header that counts bytes which never reached the disk. Returns false when
        the file is not a WAV file it understands or cannot be changed. Any thread. */
    bool fitWavHeaderToData (const juce::File& file);
}
