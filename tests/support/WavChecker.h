#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads mono or multichannel PCM WAV files (RIFF and RF64) without JUCE, so that the
// recorder's files are checked by code that does not share its writer, and checks the
// test signal of TestSignal.h for dropped, repeated and foreign frames.
namespace wavcheck
{
    struct WavFile
    {
        bool readable = false;          // the file opened and has a RIFF/RF64 WAVE header with fmt and data
        std::string error;
        int formatTag = 0;              // 1 = PCM, 0xFFFE = extensible
        bool isPcm = false;             // plain or extensible PCM
        int numChannels = 0;
        uint32_t sampleRate = 0;
        int bitsPerSample = 0;
        uint64_t declaredDataBytes = 0; // what the header says
        uint64_t availableDataBytes = 0;// what the file holds after the data chunk's start
        bool headerMatchesFile = false; // the header accounts for every byte of audio in the file
        uint64_t numFrames = 0;         // frames actually present (whole frames only)
        std::vector<int32_t> samples; // integer samples of the channel read, full bit depth
    };

    /** Reads a file and the samples of one of its channels (the first unless asked). */
    WavFile readWav (const std::string& path, int channelInFile = 0);

    struct Discontinuity
    {
        uint64_t index;     // frame of the file where the signal breaks
        int framesSkipped;  // > 0 dropped, <= 0 repeated or went back; a foreign frame shows as either
    };

    struct SignalReport
    {
        uint64_t numFrames = 0;
        int firstFrame = -1;              // the signal's frame (modulo 65536) at sample 0; -1 with no frames
        int detectedChannel = -1;         // channel whose step the signal follows most often
        uint64_t numDiscontinuities = 0;  // corrupt samples count here too
        uint64_t corruptSamples = 0;
        std::vector<Discontinuity> first; // at most the first 16
    };

    /** Checks 16-bit codes of the test signal against the given channel. */
    SignalReport checkCodes (const std::vector<uint16_t>& codes, int expectedChannel);

    /** Turns full-depth integer samples into codes; counts the samples whose bits below
        the 16-bit code (24-bit files) are not where the signal puts them. */
    std::vector<uint16_t> codesFromSamples (const std::vector<int32_t>& samples, int bitsPerSample, uint64_t* corruptSamples);

    uint16_t codeFromFloat (float sample) noexcept;

    /** Reads a file and checks its first channel; corrupt samples count as discontinuities. */
    SignalReport checkWav (const WavFile& file, int expectedChannel);

    std::string describe (const WavFile& file, const SignalReport& report);

    /** Whether a file's gaps are the server's doing: cycles that it skipped, so that the
        recorder's callback never got them. One callback feeds every file of a take, so
        such a gap is a forward jump of whole periods at the same frame of every file, and
        a take has no more of them than cycles the server counted as skipped while it ran
        (one hold of the recorder can miss many periods in one gap and be counted as fewer
        cycles, so gaps are counted, not periods). A repeated or foreign frame, a corrupt
        sample, or a gap that another file of the take lacks, is never the server's.

        For the same reason every file of a take that ended normally starts at the same
        frame of the signal and holds as many frames as the others: a file that lacks its
        head or its tail is refused, gaps or not. A cut take (killed, or ended by a writer
        that took no more: a full, dead or slow disk) is not held to that: each of its
        files ends where its own writing stopped. */
    struct GapVerdict
    {
        bool excused = true;   // also when there is no gap
        std::string reason;    // why not, or what was excused
    };

    /** Normal: Stop, a quit, a signal, or the server or the display going. */
    enum class TakeEnd { normal, cut };

    GapVerdict judgeGaps (const SignalReport& file, const std::vector<SignalReport>& take, int periodFrames,
                          int skippedCycles, TakeEnd end = TakeEnd::normal);

    /** Every WAV file in a take's folder, each checked against the channel it follows. */
    std::vector<SignalReport> checkTake (const std::string& folder);

    struct TakeFile
    {
        std::string path;
        int channel = -1;      // the input the file's name gives: a name ending in NN holds input NN
        WavFile wav;           // without its samples
        SignalReport report;   // against that channel, or the one its signal follows when the name gives none
    };

    /** Every WAV file in a take's folder in name order, each read once, several at a time:
        a take of hundreds of long files is judged in about the time it takes to read it. */
    std::vector<TakeFile> readTake (const std::string& folder);

    /** What a file must be besides its signal; a bits or rate of 0 is any. */
    struct Expectations
    {
        int bits = 0, rate = 0;
        long long minFrames = -1;     // >= 0: the recorder was killed; its header may count fewer frames, but this many
        int skipped = 0, period = 0;  // cycles the server skipped during the take, of this many frames
        bool multichannel = false;    // a single-file recorder's file, a take alone
    };

    struct FileVerdict
    {
        bool ok = false;   // a complete PCM file of the expected format holding its channel, its gaps excused
        GapVerdict gaps;
    };

    /** A file's verdict: its header and format, its channel, and its gaps by judgeGaps. */
    FileVerdict judgeFile (const WavFile& file, const SignalReport& report, int channel,
                           const std::vector<SignalReport>& take, const Expectations& expected);

    /** Every file of a take that readTake read, each judged against all of them. */
    std::vector<FileVerdict> judgeTake (const std::vector<TakeFile>& take, const Expectations& expected);
}
