// Checks recorded WAV files against the test signal.
//   velmora-wavcheck FILE CHANNEL [BITS RATE]
// CHANNEL is the 0-based input channel the file must hold. Exits 0 when the file is a
// mono PCM WAV with a complete header, of the given bits and rate when they are given,
// holding that channel without a single discontinuity.
#include "WavChecker.h"

#include <cstdio>
#include <cstdlib>

int main (int argc, char** argv)
{
    if (argc != 3 && argc != 5)
    {
        std::fprintf (stderr, "usage: velmora-wavcheck FILE CHANNEL [BITS RATE]\n");
        return 2;
    }

    const int channel = std::atoi (argv[2]);
    const auto file = wavcheck::readWav (argv[1]);
    const auto report = wavcheck::checkWav (file, channel);
    std::printf ("%s: %s\n", argv[1], wavcheck::describe (file, report).c_str());

    bool ok = file.readable && file.isPcm && file.numChannels == 1 && file.headerMatchesFile
              && report.numFrames > 0 && report.numDiscontinuities == 0 && report.detectedChannel == channel;

    if (argc == 5)
        ok = ok && file.bitsPerSample == std::atoi (argv[3]) && (int) file.sampleRate == std::atoi (argv[4]);

    return ok ? 0 : 1;
}
