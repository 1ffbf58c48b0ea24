#include "TakeFiles.h"

#include <climits>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace TakeFiles
{
    juce::File takeFolderInside (const juce::String& folderText, const juce::String& prefix)
    {
        // A relative text would be resolved against the working directory.
        if (! juce::File::isAbsolutePath (folderText))
            return {};

        const auto parts = juce::StringArray::fromTokens (folderText, "/", {});

        if (parts.contains (".") || parts.contains (".."))
            return {};

        const juce::File folder (folderText);
        const auto takeFolder = folder.getChildFile (prefix);

        if (takeFolder.getParentDirectory() != folder || takeFolder.getFileName() != prefix)
            return {};

        // Longer names than the system takes would fail only after some of the folders
        // had been made: refused before anything is.
        const auto longestFile = takeFolder.getChildFile (prefix + "0000.wav").getFullPathName();

        if (longestFile.getNumBytesAsUTF8() >= PATH_MAX)
            return {};

        for (const auto& part : juce::StringArray::fromTokens (longestFile, "/", {}))
            if (part.getNumBytesAsUTF8() > NAME_MAX)
                return {};

        return takeFolder;
    }

    //==============================================================================
    WatchedFileStream::WatchedFileStream (const juce::File& target, std::function<void()> onFailure)
        : fd (::open (target.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)),
          failed (std::move (onFailure)) {}

    WatchedFileStream::~WatchedFileStream()
    {
        if (! openedOk())
            return;

        writeOutBuffer();
        check (::fsync (fd) == 0);
        check (::close (fd) == 0);   // closed by now whatever it returns: never retried
    }

    void WatchedFileStream::flush()
    {
        if (writeOutBuffer())
            check (::fsync (fd) == 0);
    }

    bool WatchedFileStream::setPosition (juce::int64 newPosition)
    {
        if (newPosition == getPosition())
            return true;

        writeOutBuffer();

        if (::lseek (fd, (off_t) newPosition, SEEK_SET) != (off_t) newPosition)
            return false;

        filePosition = newPosition;
        return true;
    }

    juce::int64 WatchedFileStream::getPosition()
    {
        return filePosition + (juce::int64) bytesInBuffer;
    }

    bool WatchedFileStream::write (const void* data, size_t numBytes)
    {
        if (! openedOk())
            return false;

        if (bytesInBuffer + numBytes > bufferSize && ! writeOutBuffer())
            return false;

        if (numBytes >= bufferSize)
            return check (writeToFile (data, numBytes));

        memcpy (buffer + bytesInBuffer, data, numBytes);
        bytesInBuffer += numBytes;
        return true;
    }

    bool WatchedFileStream::writeOutBuffer()
    {
        if (bytesInBuffer == 0)
            return true;

        const auto ok = writeToFile (buffer, bytesInBuffer);
        bytesInBuffer = 0;
        return check (ok);
    }

    bool WatchedFileStream::writeToFile (const void* data, size_t numBytes)
    {
        const auto written = ::write (fd, data, numBytes);

        if (written > 0)
            filePosition += written;

        return written == (ssize_t) numBytes;
    }

    bool WatchedFileStream::check (bool ok)
    {
        if (! ok && ! reported)
        {
            reported = true;
            failed();
        }

        return ok;
    }

    //==============================================================================
    namespace
    {
        juce::uint32 readLE32 (const juce::uint8* p) { return juce::ByteOrder::littleEndianInt (p); }

        /** Where the sizes of a RIFF or RF64 WAV file live, found by walking its chunks. */
        struct WavLayout
        {
            bool isRf64 = false;
            juce::int64 ds64Body = -1, dataSizeField = -1, dataStart = -1;
            int blockAlign = 0;
        };

        bool findLayout (juce::FileInputStream& in, WavLayout& layout)
        {
            juce::uint8 header[12];

            if (in.read (header, 12) != 12 || std::memcmp (header + 8, "WAVE", 4) != 0)
                return false;

            layout.isRf64 = std::memcmp (header, "RF64", 4) == 0;

            if (! layout.isRf64 && std::memcmp (header, "RIFF", 4) != 0)
                return false;

            for (juce::int64 pos = 12; pos + 8 <= in.getTotalLength();)
            {
                juce::uint8 chunk[8];
                in.setPosition (pos);

                if (in.read (chunk, 8) != 8)
                    return false;

                const juce::int64 size = readLE32 (chunk + 4);

                if (std::memcmp (chunk, "ds64", 4) == 0)
                    layout.ds64Body = pos + 8;

                if (std::memcmp (chunk, "fmt ", 4) == 0)
                {
                    juce::uint8 fmt[16];

                    if (in.read (fmt, 16) != 16)
                        return false;

                    layout.blockAlign = juce::ByteOrder::littleEndianShort (fmt + 12);
                }

                if (std::memcmp (chunk, "data", 4) == 0)
                {
                    layout.dataSizeField = pos + 4;
                    layout.dataStart = pos + 8;
                    return layout.blockAlign > 0 && (! layout.isRf64 || layout.ds64Body > 0);
                }

                pos += 8 + size + (size & 1);
            }

            return false;
        }
    }

    bool fitWavHeaderToData (const juce::File& file)
    {
        WavLayout layout;
        {
            juce::FileInputStream in (file);

            if (! in.openedOk() || ! findLayout (in, layout))
                return false;
        }

        const auto available = file.getSize() - layout.dataStart;
        const auto dataBytes = available - available % layout.blockAlign;

        juce::FileOutputStream out (file);

        if (! out.openedOk() || ! out.setPosition (layout.dataStart + dataBytes))
            return false;

        // Shrinking needs no new space on the disk, so it works on a full one too.
        if (out.truncate().failed())
            return false;

        const auto riffBytes = layout.dataStart + dataBytes - 8;

        if (layout.isRf64)
        {
            out.setPosition (layout.ds64Body);
            out.writeInt64 (riffBytes);
            out.writeInt64 (dataBytes);
            out.writeInt64 (dataBytes / layout.blockAlign);
        }
        else
        {
            out.setPosition (4);
            out.writeInt ((int) (juce::uint32) riffBytes);
            out.setPosition (layout.dataSizeField);
            out.writeInt ((int) (juce::uint32) dataBytes);
        }

        out.flush();
        return out.getStatus().wasOk();
    }
}
