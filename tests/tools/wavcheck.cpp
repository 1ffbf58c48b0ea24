// Checks recorded WAV files against the test signal.
//   velmora-wavcheck FILE CHANNEL [BITS RATE] [--killed MINFRAMES] [--skipped CYCLES PERIOD]
//   velmora-wavcheck --channel-in-file K FILE CHANNEL
// The second form checks channel K of a multichannel file (a single-file recorder's).
// CHANNEL is the 0-based input channel the file must hold. Exits 0 when the file is a
// mono PCM WAV with a complete header, of the given bits and rate when they are given,
// holding that channel without a single discontinuity. With --killed the file is one
// whose recorder was killed: its header may count fewer frames than the file holds (the
// last ones were never described), but at least MINFRAMES. The file is judged by the
// rule of WavChecker.h against the other WAV files of its folder, the take's: it starts
// at their first frame and holds as many frames (unless killed, which ends each file
// where it stops), and its gaps are excused only with --skipped, when the server skipped
// CYCLES cycles of PERIOD frames during the take. A multichannel file is a take alone.
#include "WavChecker.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main (int argc, char** argv)
{
    int channelInFile = 0;
    const bool multichannel = argc == 5 && std::string (argv[1]) == "--channel-in-file";

    if (multichannel)
    {
        channelInFile = std::atoi (argv[2]);
        argv += 2;
        argc -= 2;
    }

    const int positional = argc >= 5 && argv[3][0] != '-' ? 5 : 3;
    long long minFrames = -1;
    int skipped = 0, period = 0;
    bool usage = argc < 3;

    for (int i = positional; i < argc && ! usage; i += 2)
    {
        const std::string option (argv[i]);

        if (option == "--killed" && i + 1 < argc)
            minFrames = std::atoll (argv[i + 1]);
        else if (option == "--skipped" && i + 2 < argc)
            skipped = std::atoi (argv[i + 1]), period = std::atoi (argv[++i + 1]);
        else
            usage = true;
    }

    if (usage)
    {
        std::fprintf (stderr, "usage: velmora-wavcheck FILE CHANNEL [BITS RATE] [--killed MINFRAMES] [--skipped CYCLES PERIOD]\n"
                              "       velmora-wavcheck --channel-in-file K FILE CHANNEL\n");
        return 2;
    }

    const int channel = std::atoi (argv[2]);
    const auto file = wavcheck::readWav (argv[1], channelInFile);
    const auto report = wavcheck::checkWav (file, channel);
    std::printf ("%s: %s\n", argv[1], wavcheck::describe (file, report).c_str());

    const auto folder = std::filesystem::absolute (argv[1]).parent_path().string();
    const auto gaps = wavcheck::judgeGaps (report, multichannel ? std::vector<wavcheck::SignalReport>() : wavcheck::checkTake (folder),
                                           period, skipped, minFrames >= 0 ? wavcheck::TakeEnd::cut : wavcheck::TakeEnd::normal);
    if (! gaps.excused)
        std::printf ("%s\n", gaps.reason.c_str());

    const bool headerOk = minFrames >= 0 ? file.declaredDataBytes <= file.availableDataBytes && file.numFrames >= (uint64_t) minFrames
                                         : file.headerMatchesFile;

    bool ok = file.readable && file.isPcm && (file.numChannels == 1 || multichannel) && headerOk
              && report.numFrames > 0 && gaps.excused && report.detectedChannel == channel;

    if (positional == 5)
        ok = ok && file.bitsPerSample == std::atoi (argv[3]) && (int) file.sampleRate == std::atoi (argv[4]);

    return ok ? 0 : 1;
}
