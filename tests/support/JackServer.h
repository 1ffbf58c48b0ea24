#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace testjack
{
    /** The project's own JACK server name; tests never touch another server. Another
        fixed name of ours may be given in VELMORA_TEST_JACK_SERVER, so that a second
        checkout's tests can run beside these. */
    inline const char* serverName()
    {
        const auto* name = std::getenv ("VELMORA_TEST_JACK_SERVER");
        return name != nullptr && *name != '\0' ? name : "velmora-test";
    }

    /** A private JACK server on the dummy backend, with no ports of its own.

        JACK keeps only eight server slots, and a killed server holds its slot until a
        server of the same name starts again, so the name is fixed and the server is
        always stopped with SIGTERM and waited for. Tests that use it must not run in
        parallel (CTest resource lock "jack").
    */
    class JackServer
    {
    public:
        JackServer (int sampleRate = 48000, int periodFrames = defaultPeriod);

        /** Sanitized builds run several times slower; a longer period keeps them from
            missing the server's deadlines, which would drop frames for their own reasons. */
       #ifdef VELMORA_TEST_JACK_PERIOD
        static constexpr int defaultPeriod = VELMORA_TEST_JACK_PERIOD;
       #else
        static constexpr int defaultPeriod = 256;
       #endif
        ~JackServer();

        /** Starts jackd, points this process's clients at it and waits until it answers. */
        bool start (std::string* error = nullptr);

        /** SIGTERM, then waits for the process to exit. */
        void stop();

        pid_t pid() const noexcept  { return serverPid; }

    private:
        int rate, period;
        pid_t serverPid = -1;
    };

    /** Whether a test may expect every frame: under ThreadSanitizer the process runs so
        slowly that it misses the server's deadlines now and then, and JACK drops the
        frames of a missed cycle. Such builds check the hand-overs, not the timing. */
   #if defined (__SANITIZE_THREAD__)
    constexpr bool framesAreExact = false;
   #else
    constexpr bool framesAreExact = true;
   #endif

    /** How many times longer a test waits for audio to arrive in this build. */
   #if defined (__SANITIZE_THREAD__)
    constexpr int slowdown = 10;
   #elif defined (__SANITIZE_ADDRESS__)
    constexpr int slowdown = 3;
   #else
    constexpr int slowdown = 1;
   #endif

    /** True when a client can connect to the private server right now. */
    bool serverAnswers();

    /** A JACK client that writes the test signal of TestSignal.h on N output ports
        named out_1 ... out_N. */
    class SignalSource
    {
    public:
        SignalSource (const std::string& clientName, int numChannels);
        ~SignalSource();

        bool isRunning() const noexcept            { return client != nullptr; }
        uint32_t framesWritten() const noexcept    { return frame.load(); }

        /** Cuts every connection of a channel's port, as a patchbay does; returns the
            ports it fed, for connect. */
        std::vector<std::string> disconnect (int channel);
        void connect (int channel, const std::vector<std::string>& destinations);

        /** Lowers the channel count as a program does: the ports from `channel` on give
            silence for `silentMs`, then go. */
        void dropPortsFrom (int channel, int silentMs);

    private:
        static int process (uint32_t numFrames, void* self);

        jack_client_t* client = nullptr;
        std::vector<jack_port_t*> ports;
        std::atomic<size_t> sounding { 0 }, registered { 0 };   // ports written with the signal, and at all
        std::atomic<uint32_t> frame { 0 };
    };
}
