// Checks recorded WAV files against the test signal.
//   velmora-wavcheck FILE CHANNEL [BITS RATE [--killed MINFRAMES]]
//   velmora-wavcheck --channel-in-file K FILE CHANNEL
// The second form checks channel K of a multichannel file (a single-file recorder's).
// CHANNEL is the 0-based input channel the file must hold. Exits 0 when the file is a
// mono PCM WAV with a complete header, of the given bits and rate when they are given,
// holding that channel without a single discontinuity. With --killed the file is one
// whose recorder was killed: its header may count fewer frames than the file holds (the
// last ones were never described), but at least MINFRAMES, all of them exact.
#include "WavChecker.h"

#include <cstdio>
#include <cstdlib>
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

    const bool killed = argc == 7 && std::string (argv[5]) == "--killed";

    if (argc != 3 && argc != 5 && ! killed)
    {
        std::fprintf (stderr, "usage: velmora-wavcheck FILE CHANNEL [BITS RATE [--killed MINFRAMES]]\n"
                              "       velmora-wavcheck --channel-in-file K FILE CHANNEL\n");
        return 2;
    }

    const int channel = std::atoi (argv[2]);
    const auto file = wavcheck::readWav (argv[1], channelInFile);
    const auto report = wavcheck::checkWav (file, channel);
    std::printf ("%s: %s\n", argv[1], wavcheck::describe (file, report).c_str());

    const bool headerOk = killed ? file.declaredDataBytes <= file.availableDataBytes
                                   && file.numFrames >= (uint64_t) std::atoll (argv[6])
                                 : file.headerMatchesFile;

    bool ok = file.readable && file.isPcm && (file.numChannels == 1 || multichannel) && headerOk
              && report.numFrames > 0 && report.numDiscontinuities == 0 && report.detectedChannel == channel;

    if (argc >= 5)
        ok = ok && file.bitsPerSample == std::atoi (argv[3]) && (int) file.sampleRate == std::atoi (argv[4]);

    return ok ? 0 : 1;
}
