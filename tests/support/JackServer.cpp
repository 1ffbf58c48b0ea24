#include "JackServer.h"
#include "TestSignal.h"

#include <jack/jack.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testjack
{
namespace
{
    void silentJackErrors (const char*) {}

    bool waitForExit (pid_t pid, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;

        while (std::chrono::steady_clock::now() < end)
        {
            int status = 0;
            const auto r = waitpid (pid, &status, WNOHANG);

            if (r == pid || (r < 0 && errno == ECHILD))
                return true;

            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }

        return false;
    }

    bool isAlive (pid_t pid)   { return kill (pid, 0) == 0; }

    /** Whether a thread of ours may take the real-time priority that the server gives
        its clients (as root, or within the user's real-time limit). A real-time server
        seldom has to skip a cycle on a busy machine; elsewhere it runs without. */
    bool realTimeAllowed()
    {
        bool allowed = false;
        std::thread probe ([&allowed]
        {
            sched_param param {};
            param.sched_priority = 10;
            allowed = pthread_setschedparam (pthread_self(), SCHED_FIFO, &param) == 0;
        });
        probe.join();
        return allowed;
    }

    /** A server of our name left behind by a crashed run of ours (not a child of this
        process): found through /proc and stopped the same way. */
    void stopLeftoverServers()
    {
        if (auto* dir = opendir ("/proc"))
        {
            while (auto* entry = readdir (dir))
            {
                const auto pid = (pid_t) std::atoi (entry->d_name);

                if (pid <= 0 || pid == getpid())
                    continue;

                std::ifstream cmdline ("/proc/" + std::string (entry->d_name) + "/cmdline");
                std::string arg, previous;
                bool isJackd = false, isOurs = false;

                for (int i = 0; std::getline (cmdline, arg, '\0'); ++i)
                {
                    if (i == 0)
                        isJackd = arg.find ("jackd") != std::string::npos;
                    else if (previous == "-n" && arg == serverName())
                        isOurs = true;

                    previous = arg;
                }

                if (isJackd && isOurs)
                {
                    kill (pid, SIGTERM);

                    for (int i = 0; i < 500 && isAlive (pid); ++i)
                        std::this_thread::sleep_for (std::chrono::milliseconds (10));
                }
            }

            closedir (dir);
        }
    }
}

bool serverAnswers()
{
    jack_set_error_function (silentJackErrors);
    jack_status_t status {};

    if (auto* c = jack_client_open ("velmora-probe", JackNoStartServer, &status))
    {
        jack_client_close (c);
        return true;
    }

    return false;
}

JackServer::JackServer (int sampleRate, int periodFrames)
    : rate (sampleRate), period (periodFrames)
{
}

JackServer::~JackServer()
{
    stop();
}

bool JackServer::start (std::string* error)
{
    auto setError = [error] (const std::string& s) { if (error != nullptr) *error = s; return false; };

    setenv ("JACK_DEFAULT_SERVER", serverName(), 1);
    setenv ("JACK_NO_START_SERVER", "1", 1);
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);

    stopLeftoverServers();

    const auto rateText = std::to_string (rate);
    const auto periodText = std::to_string (period);
    // A generous client time-out keeps a slow (sanitized) test process from being thrown
    // out of the graph; it only ever waits on clients that are late anyway. Synchronous:
    // a cycle ends only when every client has finished it, so a late recorder is never
    // still reading its inputs while the signal client writes the next cycle into them.
    std::vector<std::string> args { "jackd", realTimeAllowed() ? "--realtime" : "--no-realtime", "--sync", "--port-max", "4096", "--timeout", "20000", "-n", serverName(), "-d", "dummy",
                                    "-r", rateText, "-p", periodText, "-C", "0", "-P", "0" };
    std::vector<char*> argv;

    for (auto& a : args)
        argv.push_back (a.data());

    argv.push_back (nullptr);

    // The log is the user's own: a file of the same name left by another user's run
    // could not be opened, and the server would not start.
    const auto log = "/tmp/velmora-test-jackd-" + std::to_string (getuid()) + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2 (&actions, STDOUT_FILENO, STDERR_FILENO);

    const auto spawned = posix_spawnp (&serverPid, "jackd", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy (&actions);

    if (spawned != 0)
    {
        serverPid = -1;
        return setError ("cannot start jackd");
    }

    for (int i = 0; i < 200; ++i)
    {
        if (serverAnswers())
            return true;

        int status = 0;

        if (waitpid (serverPid, &status, WNOHANG) == serverPid)
        {
            serverPid = -1;
            return setError ("jackd exited at start; see " + log);
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }

    stop();
    return setError ("jackd did not answer within 10 s");
}

void JackServer::stop()
{
    if (serverPid <= 0)
        return;

    kill (serverPid, SIGTERM);

    if (! waitForExit (serverPid, std::chrono::seconds (10)))
    {
        kill (serverPid, SIGKILL);
        waitForExit (serverPid, std::chrono::seconds (5));
    }

    serverPid = -1;
}

//==============================================================================
SignalSource::SignalSource (const std::string& clientName, int numChannels)
{
    jack_status_t status {};
    client = jack_client_open (clientName.c_str(), JackNoStartServer, &status);

    if (client == nullptr)
        return;

    for (int c = 0; c < numChannels; ++c)
        ports.push_back (jack_port_register (client, ("out_" + std::to_string (c + 1)).c_str(),
                                             JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));

    sounding = registered = ports.size();
    jack_set_process_callback (client, process, this);

    if (jack_activate (client) != 0)
    {
        jack_client_close (client);
        client = nullptr;
    }
}

SignalSource::~SignalSource()
{
    if (client != nullptr)
    {
        jack_deactivate (client);
        jack_client_close (client);
    }
}

std::vector<std::string> SignalSource::disconnect (int channel)
{
    std::vector<std::string> destinations;
    auto* port = ports.at ((size_t) channel);

    if (auto** connections = jack_port_get_connections (port))
    {
        for (auto** c = connections; *c != nullptr; ++c)
            destinations.emplace_back (*c);

        jack_free (connections);
    }

    for (auto& d : destinations)
        jack_disconnect (client, jack_port_name (port), d.c_str());

    return destinations;
}

void SignalSource::connect (int channel, const std::vector<std::string>& destinations)
{
    for (auto& d : destinations)
        jack_connect (client, jack_port_name (ports.at ((size_t) channel)), d.c_str());
}

void SignalSource::dropPortsFrom (int channel, int silentMs)
{
    sounding = (size_t) channel;
    usleep ((useconds_t) silentMs * 1000);
    registered = (size_t) channel;
    usleep (100000);   // no cycle still at work uses the ports that go

    for (auto c = (size_t) channel; c < ports.size(); ++c)
        jack_port_unregister (client, ports[c]);
}

#if defined (__SANITIZE_THREAD__)
extern "C" void AnnotateIgnoreWritesBegin (const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd (const char* file, int line);

/** The server orders this client's writes to its port buffers before the reads of the
    clients it feeds, through a process graph that the thread sanitizer cannot see. Left
    tracked, every sample a recorder in this process reads would be reported (and
    suppressed) as a race, one at a time, which slows a test to a crawl. */
struct UntrackedWrites
{
    UntrackedWrites()  { AnnotateIgnoreWritesBegin (__FILE__, __LINE__); }
    ~UntrackedWrites() { AnnotateIgnoreWritesEnd (__FILE__, __LINE__); }
};
#else
struct UntrackedWrites {};
#endif

int SignalSource::process (uint32_t numFrames, void* arg)
{
    auto& self = *static_cast<SignalSource*> (arg);
    const auto start = self.frame.load (std::memory_order_relaxed);
    [[maybe_unused]] const UntrackedWrites untracked;

    for (size_t c = 0; c < self.registered.load(); ++c)
    {
        auto* out = static_cast<float*> (jack_port_get_buffer (self.ports[c], numFrames));

        for (uint32_t i = 0; i < numFrames; ++i)
            out[i] = c < self.sounding.load (std::memory_order_relaxed) ? testsignal::sample ((int) c, start + i) : 0.0f;
    }

    self.frame.store (start + numFrames, std::memory_order_relaxed);
    return 0;
}
}
