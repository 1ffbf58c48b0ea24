// Checks recorded WAV files against the test signal.
//   velmora-wavcheck FILE CHANNEL [BITS RATE] [--killed MINFRAMES] [--skipped CYCLES PERIOD]
//   velmora-wavcheck --take FOLDER [BITS RATE] [--killed MINFRAMES] [--skipped CYCLES PERIOD]
//   velmora-wavcheck --channel-in-file K FILE CHANNEL
// CHANNEL is the 0-based input channel the file must hold. Exits 0 when the file is a
// mono PCM WAV with a complete header, of the given bits and rate when they are given,
// holding that channel without a single discontinuity. With --killed the file is one
// whose recorder was killed: its header may count fewer frames than the file holds (the
// last ones were never described), but at least MINFRAMES. The file is judged by the
// rule of WavChecker.h against the other WAV files of its folder, the take's: it starts
// at their first frame and holds as many frames (unless killed, which ends each file
// where it stops), and its gaps are excused only with --skipped, when the server skipped
// CYCLES cycles of PERIOD frames during the take.
// The --take form judges every file of a folder that way, reading each file once: a file
// whose name ends in NN must hold input NN. It prints a verdict per file and exits 0 when
// there are files and none is refused.
// The --channel-in-file form checks channel K of a multichannel file (a single-file
// recorder's), which is a take alone.
#include "WavChecker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
    using wavcheck::Expectations;

    int usage()
    {
        std::fprintf (stderr, "usage: velmora-wavcheck FILE CHANNEL [BITS RATE] [--killed MINFRAMES] [--skipped CYCLES PERIOD]\n"
                              "       velmora-wavcheck --take FOLDER [BITS RATE] [--killed MINFRAMES] [--skipped CYCLES PERIOD]\n"
                              "       velmora-wavcheck --channel-in-file K FILE CHANNEL\n");
        return 2;
    }

    /** Reads [BITS RATE] and the options from argv[first] on; false when they make no sense. */
    bool parse (int argc, char** argv, int first, Expectations& e)
    {
        if (first + 1 < argc && argv[first][0] != '-')
            e.bits = std::atoi (argv[first]), e.rate = std::atoi (argv[first + 1]), first += 2;

        for (int i = first; i < argc; i += 2)
        {
            const std::string option (argv[i]);

            if (option == "--killed" && i + 1 < argc)
                e.minFrames = std::atoll (argv[i + 1]);
            else if (option == "--skipped" && i + 2 < argc)
                e.skipped = std::atoi (argv[i + 1]), e.period = std::atoi (argv[++i + 1]);
            else
                return false;
        }

        return true;
    }

    /** Prints what the file holds and why it is refused, if it is; true when it passes. */
    bool print (const std::string& path, const wavcheck::WavFile& file, const wavcheck::SignalReport& report,
                const wavcheck::FileVerdict& verdict, const char* prefix)
    {
        std::printf ("%s%s: %s\n", verdict.ok ? prefix : (*prefix != 0 ? "REFUSED " : ""), path.c_str(),
                     wavcheck::describe (file, report).c_str());

        if (! verdict.gaps.excused)
            std::printf ("%s\n", verdict.gaps.reason.c_str());

        return verdict.ok;
    }

    int checkFolder (const std::string& folder, const Expectations& e)
    {
        const auto files = wavcheck::readTake (folder);
        const auto verdicts = wavcheck::judgeTake (files, e);
        int refused = 0;

        for (size_t i = 0; i < files.size(); ++i)
            refused += print (files[i].path, files[i].wav, files[i].report, verdicts[i], "ok ") ? 0 : 1;

        std::printf ("%d of %zu files refused\n", refused, files.size());
        return refused == 0 && ! files.empty() ? 0 : 1;
    }
}

int main (int argc, char** argv)
{
    Expectations e;

    if (argc >= 3 && std::strcmp (argv[1], "--take") == 0)
        return parse (argc, argv, 3, e) ? checkFolder (argv[2], e) : usage();

    int channelInFile = 0;
    e.multichannel = argc == 5 && std::strcmp (argv[1], "--channel-in-file") == 0;

    if (e.multichannel)
    {
        channelInFile = std::atoi (argv[2]);
        argv += 2;
        argc -= 2;
    }

    if (argc < 3 || ! parse (argc, argv, 3, e))
        return usage();

    const auto file = wavcheck::readWav (argv[1], channelInFile);
    const int channel = std::atoi (argv[2]);
    const auto report = wavcheck::checkWav (file, channel);
    const auto folder = std::filesystem::absolute (argv[1]).parent_path().string();
    const auto take = e.multichannel ? std::vector<wavcheck::SignalReport>() : wavcheck::checkTake (folder);

    return print (argv[1], file, report, wavcheck::judgeFile (file, report, channel, take, e), "") ? 0 : 1;
}
