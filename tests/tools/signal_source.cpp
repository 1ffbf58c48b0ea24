// A JACK client that writes the test signal on N output ports until SIGTERM or SIGINT.
//   velmora-signal [--name NAME] [--channels N]
// It waits up to ten seconds for the server to answer, so it can start with the server.
#include "JackServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main (int argc, char** argv)
{
    std::string name = "velmora-signal";
    int channels = 8;

    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (std::strcmp (argv[i], "--name") == 0)          name = argv[i + 1];
        else if (std::strcmp (argv[i], "--channels") == 0) channels = std::atoi (argv[i + 1]);
    }

    sigset_t stopSignals;
    sigemptyset (&stopSignals);
    sigaddset (&stopSignals, SIGTERM);
    sigaddset (&stopSignals, SIGINT);
    pthread_sigmask (SIG_BLOCK, &stopSignals, nullptr);   // before JACK starts its threads

    for (int i = 0; i < 200 && ! testjack::serverAnswers(); ++i)
        usleep (50000);

    testjack::SignalSource source (name, channels);

    if (! source.isRunning())
    {
        std::fprintf (stderr, "velmora-signal: cannot open JACK client %s\n", name.c_str());
        return 1;
    }

    std::printf ("ready %s %d\n", name.c_str(), channels);
    std::fflush (stdout);

    int received = 0;
    sigwait (&stopSignals, &received);
    return 0;
}
