#include "WavChecker.h"
#include "TestSignal.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace wavcheck
{
namespace
{
    uint32_t le32 (const unsigned char* p) { return (uint32_t) p[0] | ((uint32_t) p[1] << 8) | ((uint32_t) p[2] << 16) | ((uint32_t) p[3] << 24); }
    uint16_t le16 (const unsigned char* p) { return (uint16_t) (p[0] | (p[1] << 8)); }
    uint64_t le64 (const unsigned char* p) { return (uint64_t) le32 (p) | ((uint64_t) le32 (p + 4) << 32); }

    WavFile fail (WavFile f, const std::string& why) { f.error = why; return f; }

    int32_t sampleAt (const unsigned char* p, int bytes)
    {
        switch (bytes)
        {
            case 1:  return (int32_t) p[0] - 128;
            case 2:  return (int16_t) le16 (p);
            case 3:  return (int32_t) ((uint32_t) p[0] << 8 | (uint32_t) p[1] << 16 | (uint32_t) p[2] << 24) >> 8;
            default: return (int32_t) le32 (p);
        }
    }
}

WavFile readWav (const std::string& path, int channelInFile)
{
    WavFile f;
    std::ifstream in (path, std::ios::binary);

    if (! in)
        return fail (f, "cannot open " + path);

    // In one go: the tool reads every file of a take for each file it checks.
    in.seekg (0, std::ios::end);
    std::vector<unsigned char> bytes ((size_t) std::max<std::streamoff> (0, in.tellg()));
    in.seekg (0);
    in.read (reinterpret_cast<char*> (bytes.data()), (std::streamsize) bytes.size());
    bytes.resize ((size_t) in.gcount());

    if (bytes.size() < 12 || std::memcmp (bytes.data() + 8, "WAVE", 4) != 0)
        return fail (f, "not a WAVE file");

    const bool isRf64 = std::memcmp (bytes.data(), "RF64", 4) == 0;

    if (! isRf64 && std::memcmp (bytes.data(), "RIFF", 4) != 0)
        return fail (f, "not a RIFF file");

    uint64_t rf64DataSize = 0;
    bool haveFormat = false;
    size_t pos = 12;

    while (pos + 8 <= bytes.size())
    {
        const auto* chunk = bytes.data() + pos;
        const uint64_t chunkSize = le32 (chunk + 4);
        const auto body = pos + 8;

        if (std::memcmp (chunk, "ds64", 4) == 0 && body + 24 <= bytes.size())
        {
            rf64DataSize = le64 (bytes.data() + body + 8);
        }
        else if (std::memcmp (chunk, "fmt ", 4) == 0 && body + 16 <= bytes.size())
        {
            const auto* fmt = bytes.data() + body;
            f.formatTag = le16 (fmt);
            f.numChannels = le16 (fmt + 2);
            f.sampleRate = le32 (fmt + 4);
            f.bitsPerSample = le16 (fmt + 14);
            f.isPcm = f.formatTag == 1;

            // WAVE_FORMAT_EXTENSIBLE: PCM when the sub-format GUID starts with 1.
            if (f.formatTag == 0xFFFE && chunkSize >= 40 && body + 40 <= bytes.size())
                f.isPcm = le16 (fmt + 24) == 1;

            haveFormat = true;
        }
        else if (std::memcmp (chunk, "data", 4) == 0)
        {
            if (! haveFormat)
                return fail (f, "data chunk before fmt chunk");

            f.declaredDataBytes = (isRf64 && chunkSize == 0xFFFFFFFFu) ? rf64DataSize : chunkSize;
            f.availableDataBytes = bytes.size() - body;
            f.headerMatchesFile = f.declaredDataBytes <= f.availableDataBytes
                                  && f.availableDataBytes - f.declaredDataBytes <= 1;

            const int bytesPerSample = f.bitsPerSample / 8;
            const uint64_t blockAlign = (uint64_t) bytesPerSample * (uint64_t) f.numChannels;

            if (bytesPerSample < 1 || bytesPerSample > 4 || blockAlign == 0)
                return fail (f, "unsupported sample format");

            if (channelInFile < 0 || channelInFile >= f.numChannels)
                return fail (f, "no such channel in the file");

            const auto usable = std::min (f.declaredDataBytes, f.availableDataBytes);
            f.numFrames = usable / blockAlign;
            f.samples.resize ((size_t) f.numFrames);

            for (uint64_t i = 0; i < f.numFrames; ++i)
                f.samples[(size_t) i] = sampleAt (bytes.data() + body + i * blockAlign
                                                           + (uint64_t) channelInFile * (uint64_t) bytesPerSample, bytesPerSample);

            f.readable = true;
            return f;
        }

        pos = body + chunkSize + (chunkSize & 1);
    }

    return fail (f, haveFormat ? "no data chunk" : "no fmt chunk");
}

uint16_t codeFromFloat (float sample) noexcept
{
    return (uint16_t) (int16_t) std::floor (std::max (-32768.0f, std::min (32767.0f, sample * 32768.0f)));
}

std::vector<uint16_t> codesFromSamples (const std::vector<int32_t>& samples, int bitsPerSample, uint64_t* corruptSamples)
{
    const int shift = bitsPerSample - 16;
    std::vector<uint16_t> codes;
    codes.reserve (samples.size());
    uint64_t corrupt = 0;

    for (auto s : samples)
    {
        // The bits below the code sit in the middle of the step (TestSignal.h).
        const auto half = shift > 0 ? 1 << (shift - 1) : 0;
        const auto below = shift > 0 ? s & ((1 << shift) - 1) : 0;

        if (shift > 0 && std::abs (below - half) > 1)
            ++corrupt;

        codes.push_back ((uint16_t) (shift >= 0 ? s >> shift : s << -shift));
    }

    if (corruptSamples != nullptr)
        *corruptSamples = corrupt;

    return codes;
}

SignalReport checkCodes (const std::vector<uint16_t>& codes, int expectedChannel)
{
    SignalReport r;
    r.numFrames = codes.size();
    r.firstFrame = codes.empty() ? -1 : testsignal::frameOf (expectedChannel, codes[0]);
    std::vector<uint64_t> stepCounts (65536);
    const auto inverse = testsignal::inverse (testsignal::step (expectedChannel));

    for (size_t i = 1; i < codes.size(); ++i)
    {
        const auto step = (uint16_t) (codes[i] - codes[i - 1]);
        ++stepCounts[step];

        // The channel's offset cancels: frames advance by the step over the channel's own.
        const auto advance = (uint16_t) ((uint32_t) step * inverse);
        if (advance == 1)
            continue;

        ++r.numDiscontinuities;

        if (r.first.size() < 16)
            r.first.push_back ({ (uint64_t) i, advance < 32768 ? (int) advance - 1 : (int) advance - 65537 });
    }

    const auto best = (int) (std::max_element (stepCounts.begin(), stepCounts.end()) - stepCounts.begin());

    if (stepCounts[(size_t) best] > 0 && (best & 1) != 0)
        r.detectedChannel = (best - 1) / 2;

    return r;
}

SignalReport checkWav (const WavFile& file, int expectedChannel)
{
    uint64_t corrupt = 0;
    auto report = checkCodes (codesFromSamples (file.samples, file.bitsPerSample, &corrupt), expectedChannel);
    report.numDiscontinuities += corrupt;
    report.corruptSamples = corrupt;
    return report;
}

std::string describe (const WavFile& file, const SignalReport& report)
{
    std::ostringstream s;

    if (! file.readable)
        return "unreadable: " + file.error;

    s << (file.isPcm ? "PCM" : "not PCM") << " tag 0x" << std::hex << file.formatTag << std::dec
      << ", " << file.numChannels << " ch, " << file.sampleRate << " Hz, " << file.bitsPerSample << " bit, "
      << file.numFrames << " frames, header " << (file.headerMatchesFile ? "complete" : "incomplete")
      << ", channel " << report.detectedChannel << ", " << report.numDiscontinuities << " discontinuities";

    for (auto& d : report.first)
        s << "\n  at frame " << d.index << ": " << (d.framesSkipped > 0 ? "dropped " : "moved ") << d.framesSkipped;

    return s.str();
}

namespace
{
    std::string unlikeTheTake (const SignalReport& file, const std::vector<SignalReport>& take)
    {
        for (auto& other : take)
        {
            if (other.firstFrame != file.firstFrame)
                return "starts at frame " + std::to_string (file.firstFrame) + " of the signal, another file of the take at "
                       + std::to_string (other.firstFrame);

            if (other.numFrames != file.numFrames)
                return "holds " + std::to_string (file.numFrames) + " frames, another file of the take "
                       + std::to_string (other.numFrames);
        }

        return {};
    }

    bool sharedByEveryFile (const Discontinuity& gap, const std::vector<SignalReport>& take)
    {
        return std::all_of (take.begin(), take.end(), [&gap] (const SignalReport& other)
        {
            return std::any_of (other.first.begin(), other.first.end(), [&gap] (const Discontinuity& d)
            {
                return d.index == gap.index && d.framesSkipped == gap.framesSkipped;
            });
        });
    }

    std::string refusal (const SignalReport& file, const std::vector<SignalReport>& take, int periodFrames,
                         int skippedCycles)
    {
        if (file.corruptSamples > 0)
            return "corrupt samples";

        if (file.numDiscontinuities > file.first.size())
            return "more gaps than are listed";

        if (take.empty())
            return "no files of the take to compare";

        for (auto& gap : file.first)
        {
            if (gap.framesSkipped <= 0 || periodFrames <= 0 || gap.framesSkipped % periodFrames != 0)
                return "at frame " + std::to_string (gap.index) + " the signal does not jump ahead by whole periods";

            if (! sharedByEveryFile (gap, take))
                return "the gap at frame " + std::to_string (gap.index) + " is not in every file of the take";
        }

        if (file.numDiscontinuities > (uint64_t) std::max (0, skippedCycles))
            return std::to_string (file.numDiscontinuities) + " gaps, more than the skipped cycles";

        return {};
    }
}

GapVerdict judgeGaps (const SignalReport& file, const std::vector<SignalReport>& take, int periodFrames,
                      int skippedCycles, TakeEnd end)
{
    if (const auto why = end == TakeEnd::normal ? unlikeTheTake (file, take) : std::string(); ! why.empty())
        return { false, "the file " + why };

    if (file.numDiscontinuities == 0)
        return {};

    const auto why = refusal (file, take, periodFrames, skippedCycles);
    const auto skipped = "the server skipped " + std::to_string (skippedCycles) + " cycles during the take";

    if (! why.empty())
        return { false, "gaps not excused: " + why + "; " + skipped };

    // Printed for every excuse, so that a run shows how often the rule let a gap pass.
    GapVerdict verdict { true, "EXCUSED " + std::to_string (file.numDiscontinuities) + " gaps of whole periods in all "
                                   + std::to_string (take.size()) + " files; " + skipped };
    std::printf ("%s\n", verdict.reason.c_str());
    return verdict;
}

namespace
{
    std::vector<std::string> wavFilesIn (const std::string& folder)
    {
        std::vector<std::string> paths;
        std::error_code error;

        for (auto& entry : std::filesystem::directory_iterator (folder, error))
            if (entry.path().extension() == ".wav")
                paths.push_back (entry.path().string());

        std::sort (paths.begin(), paths.end());
        return paths;
    }

    int channelInName (const std::string& path)
    {
        const auto stem = std::filesystem::path (path).stem().string();
        const auto digits = stem.find_last_not_of ("0123456789") + 1;
        return digits < stem.size() && stem.size() - digits <= 6 ? std::stoi (stem.substr (digits)) - 1 : -1;
    }

    /** A file checked against a channel; with none given, against the one it follows. */
    TakeFile checkFile (const std::string& path, int channel)
    {
        TakeFile f { path, channel, readWav (path), {} };
        f.report = checkWav (f.wav, std::max (0, channel));

        if (channel < 0 && f.report.detectedChannel > 0)
            f.report = checkWav (f.wav, f.report.detectedChannel);

        std::vector<int32_t>().swap (f.wav.samples);   // a take's samples would not fit in memory
        return f;
    }
}

std::vector<SignalReport> checkTake (const std::string& folder)
{
    std::vector<SignalReport> take;

    for (auto& path : wavFilesIn (folder))
        take.push_back (checkFile (path, -1).report);

    return take;
}

std::vector<TakeFile> readTake (const std::string& folder)
{
    const auto paths = wavFilesIn (folder);
    std::vector<TakeFile> take (paths.size());
    std::atomic<size_t> next { 0 };
    std::vector<std::thread> readers (std::max (1u, std::min (std::thread::hardware_concurrency(), 8u)));

    for (auto& reader : readers)
        reader = std::thread ([&]
        {
            for (auto i = next++; i < paths.size(); i = next++)
                take[i] = checkFile (paths[i], channelInName (paths[i]));
        });

    for (auto& reader : readers)
        reader.join();

    return take;
}

FileVerdict judgeFile (const WavFile& file, const SignalReport& report, int channel,
                       const std::vector<SignalReport>& take, const Expectations& e)
{
    FileVerdict v;
    v.gaps = judgeGaps (report, take, e.period, e.skipped, e.minFrames >= 0 ? TakeEnd::cut : TakeEnd::normal);
    const bool headerOk = e.minFrames >= 0 ? file.declaredDataBytes <= file.availableDataBytes && file.numFrames >= (uint64_t) e.minFrames
                                           : file.headerMatchesFile;
    v.ok = file.readable && file.isPcm && (file.numChannels == 1 || e.multichannel) && headerOk
           && report.numFrames > 0 && v.gaps.excused && channel >= 0 && report.detectedChannel == channel
           && (e.bits == 0 || file.bitsPerSample == e.bits) && (e.rate == 0 || (int) file.sampleRate == e.rate);
    return v;
}

std::vector<FileVerdict> judgeTake (const std::vector<TakeFile>& take, const Expectations& expected)
{
    std::vector<SignalReport> reports;
    std::vector<FileVerdict> verdicts;

    for (auto& f : take)
        reports.push_back (f.report);

    for (auto& f : take)
        verdicts.push_back (judgeFile (f.wav, f.report, f.channel, reports, expected));

    return verdicts;
}
}
