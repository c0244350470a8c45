// quorvel-render: MIDI files to 32-bit float WAV files without a window, through the host's
// opcode entry point exactly as the render dialog drives it. Files render one after another;
// a file that fails is reported and the others still render. Each WAV file is written under a
// temporary name beside it and takes its place only once it is complete, so a failed or
// interrupted render never destroys a good file.
#include "engineapi/EngineOpcodes.h"
#include "cli/RenderConsole.h"
#include "offline/RenderSequence.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace vantor;
namespace fs = std::filesystem;

const char* kUsage =
    "Usage: quorvel-render [options] INPUT.mid... -o OUT\n"
    "Renders each MIDI file through the installed instrument to a 32-bit float WAV file.\n"
    "\n"
    "  -o, --output OUT        output: a .wav file (any case) for a single input, otherwise a\n"
    "                          folder (created if needed) that receives NAME.wav for each INPUT\n"
    "  -r, --rate HZ           sample rate: 22050, 44100, 48000 (the default), 64000, 88200,\n"
    "                          96000 or 192000\n"
    "  -b, --block FRAMES      block size (default 512)\n"
    "  --max-duration SECONDS  refuse a file that plays longer (default 21600, 6 hours; 0: no limit)\n"
    "  -h, --help              this text\n"
    "\n"
    "A WAV file is replaced only by a complete render: a failed or interrupted one leaves it as it\n"
    "was. A render past the 4 GiB limit of WAV continues in NAME (2).wav, NAME (3).wav ...\n"
    "\n"
    "Exit status: 0 when every file rendered, 1 when any file failed, 2 for bad usage (nothing is\n"
    "rendered), 130 when interrupted (Ctrl-C).\n";

constexpr double kDefaultMaxSeconds = 6 * 3600.0;
constexpr int kInterruptedStatus = 130;

std::atomic<bool> interruptRequested{false};

// Paths are UTF-8 text; on Windows a narrow std::string path would be read in the ANSI code page.
fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string fromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, 0, 0.0f);
}

bool parseNumber(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

bool isWavName(const std::string& path) {
    std::string extension = fromPath(toPath(path).extension());
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".wav";
}

// Part n of a render past the WAV size limit: "take.wav" -> "take (2).wav".
std::string partName(const std::string& output, size_t index) {
    if (index == 0) return output;
    const fs::path path = toPath(output);
    fs::path name = path.stem();
    name += " (" + std::to_string(index + 1) + ")";
    name += path.extension();
    return fromPath(path.parent_path() / name);
}

// A WAV file whose header was completed: RIFF and data sizes that agree with the file's size.
bool completeWav(const std::string& path) {
    std::ifstream in(toPath(path), std::ios::binary);
    unsigned char head[44];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
    const auto u32 = [&](int at) {
        return uint32_t(head[at]) | uint32_t(head[at + 1]) << 8 | uint32_t(head[at + 2]) << 16 |
               uint32_t(head[at + 3]) << 24;
    };
    std::error_code ec;
    const uintmax_t size = fs::file_size(toPath(path), ec);
    return !ec && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0 &&
           std::memcmp(head + 36, "data", 4) == 0 && u32(4) + 8ull == size && u32(40) + 44ull == size;
}

void removeFiles(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        std::error_code ec;
        fs::remove(toPath(file), ec);
    }
}

// Puts the finished parts in place of the output and its numbered parts. On failure the
// temporary files are gone and `error` says why.
bool commit(const std::vector<std::string>& parts, const std::string& output, std::string& error) {
    for (const std::string& part : parts)
        if (!completeWav(part)) {
            error = "the WAV file written was not complete";
            removeFiles(parts);
            return false;
        }
    for (size_t i = 0; i < parts.size(); ++i) {
        std::error_code ec;
        fs::rename(toPath(parts[i]), toPath(partName(output, i)), ec);
        if (ec) {
            error = "cannot replace \"" + partName(output, i) + "\": " + ec.message();
            removeFiles(std::vector<std::string>(parts.begin() + static_cast<long>(i), parts.end()));
            return false;
        }
    }
    return true;
}

struct Job {
    std::string input;
    std::string output;
};

// Refuses, before anything renders, two inputs written to one file and an output that is one of
// the inputs.
bool checkJobs(const std::vector<Job>& jobs) {
    std::map<std::string, const Job*> outputs;
    std::map<std::string, std::string> inputs;
    for (const Job& job : jobs)
        inputs.emplace(pathIdentity(toPath(job.input)), job.input);
    for (const Job& job : jobs) {
        const std::string key = pathIdentity(toPath(job.output));
        if (auto found = outputs.find(key); found != outputs.end()) {
            std::fprintf(stderr,
                         "quorvel-render: %s and %s would both be written to %s; nothing was rendered\n",
                         found->second->input.c_str(), job.input.c_str(), job.output.c_str());
            return false;
        }
        if (auto input = inputs.find(key); input != inputs.end()) {
            std::fprintf(stderr, "quorvel-render: the output %s is also an input; nothing was rendered\n",
                         job.output.c_str());
            return false;
        }
        outputs.emplace(key, &job);
    }
    return true;
}

std::string filesText(const std::vector<std::string>& files, const std::string& output) {
    std::string text;
    for (size_t i = 0; i < files.size() || i == 0; ++i)
        text += (i ? ", " : "") + partName(output, i);
    return text;
}

} // namespace

int vantor::renderMain(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
    int rate = 48000, block = 512;
    double maxSeconds = kDefaultMaxSeconds;
    std::string output;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quorvel-render: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i].c_str();
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "-o" || a == "--output") {
            output = value("-o");
        } else if (a == "-r" || a == "--rate") {
            // The rates the host's stream description takes; any other would be changed silently.
            const int rates[] = {22050, 44100, 48000, 64000, 88200, 96000, 192000};
            if (!parseNumber(value("--rate"), 22050, 192000, rate) ||
                std::find(std::begin(rates), std::end(rates), rate) == std::end(rates)) {
                std::fprintf(stderr,
                             "quorvel-render: the rate must be 22050, 44100, 48000, 64000, 88200, 96000 or "
                             "192000 Hz\n");
                return 2;
            }
        } else if (a == "-b" || a == "--block") {
            if (!parseNumber(value("--block"), 16, 8192, block)) {
                std::fprintf(stderr, "quorvel-render: the block size must be a number of frames from 16 to 8192\n");
                return 2;
            }
        } else if (a == "--max-duration") {
            const char* text = value("--max-duration");
            char* end = nullptr;
            maxSeconds = std::strtod(text, &end);
            if (!end || *end || !(maxSeconds >= 0) || maxSeconds > 1e9) {
                std::fprintf(stderr, "quorvel-render: the maximum duration must be a number of seconds\n");
                return 2;
            }
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "quorvel-render: unknown option %s (see --help)\n", a.c_str());
            return 2;
        } else {
            inputs.push_back(a);
        }
    }
    if (inputs.empty() || output.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::error_code ec;
    const bool toFile = isWavName(output) && !fs::is_directory(toPath(output), ec);
    std::vector<Job> jobs;
    for (const std::string& input : inputs)
        jobs.push_back({input, toFile ? output : fromPath(toPath(output) / toPath(input).stem()) + ".wav"});
    if (!checkJobs(jobs)) return 2;
    const fs::path folder = toFile ? toPath(output).parent_path() : toPath(output);
    std::error_code folderError; // `ec` may hold the answer about a missing output
    if (!folder.empty()) fs::create_directories(folder, folderError);
    if (folderError) {
        std::fprintf(stderr, "quorvel-render: cannot create the folder %s: %s\n", fromPath(folder).c_str(),
                     folderError.message().c_str());
        return 1;
    }

    watchForInterrupt(interruptRequested);
    AppArgumentList arguments{argv.empty() ? std::string() : argv[0]};
    call(VE_ENGINE_APP_ARGUMENTS_SET, &arguments);
    // No audio device library at all, and every failure comes back here to be reported.
    if (call(VE_ENGINE_INITIALIZE, nullptr, nullptr, kStartWithoutDevices | kStartCallerReports) !=
        kEngineOk) {
        std::fprintf(stderr, "quorvel-render: the host could not start (see its log)\n");
        return 1;
    }
    int32_t gotRate = 0, gotBlock = 0;
    if (call(VE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, rate, block) != kEngineOk ||
        call(VE_ENGINE_AUDIODEVICE_SETTINGS_GET, &gotRate, &gotBlock) != kEngineOk || gotRate != rate ||
        gotBlock != block) {
        std::fprintf(stderr, "quorvel-render: %d Hz with blocks of %d frames is not supported\n", rate, block);
        call(VE_ENGINE_SHUTDOWN);
        return 1;
    }
    char engineFailure[1024] = {};
    if (call(VE_ENGINE_INSTRUMENT_ADD, engineFailure, nullptr, 0, sizeof engineFailure) != kEngineOk) {
        std::fprintf(stderr, "quorvel-render: %s\n",
                     engineFailure[0] ? engineFailure : "the instrument could not be loaded (see the log)");
        call(VE_ENGINE_SHUTDOWN);
        return 1;
    }

    const bool terminal = stderrIsTerminal();
    // Beside the output, and this process's own: a parallel run never writes into it.
    const std::string temporary = "." + std::to_string(processId()) + ".tmp";
    int failures = 0;
    bool interrupted = false;
    for (const Job& job : jobs) {
        if (interruptRequested.load()) {
            interrupted = true;
            break;
        }
        RenderRequest request;
        request.midiPath = job.input;
        request.wavPath = job.output + temporary;
        request.shownWavPath = job.output;
        request.interrupt = &interruptRequested;
        request.maxSeconds = maxSeconds;
        if (terminal)
            request.progress = [&](double p) {
                const int width = 40;
                const int filled = static_cast<int>(p * width);
                std::fprintf(stderr, "\r%-.30s [%s%s] %3d%%", job.input.c_str(),
                             std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                             static_cast<int>(p * 100));
                std::fflush(stderr);
            };
        RenderOutcome outcome;
        if (!fs::is_regular_file(toPath(job.input), ec))
            outcome.error = "no such file \"" + job.input + "\"";
        else
            outcome = renderMidiFile(&engineOpcode, request);
        if (terminal) std::fputs("\r\033[K", stderr);
        if (outcome.status == RenderStatus::Interrupted) {
            removeFiles(outcome.files);
            std::fprintf(stderr, "quorvel-render: %s: interrupted; %s was not changed\n", job.input.c_str(),
                         job.output.c_str());
            interrupted = true;
            break;
        }
        if (outcome.ok() && !commit(outcome.files, job.output, outcome.error))
            outcome.status = RenderStatus::Failed;
        if (!outcome.ok()) {
            removeFiles(outcome.files);
            ++failures;
            std::fprintf(stderr, "quorvel-render: %s: %s\n", job.input.c_str(), outcome.error.c_str());
            continue;
        }
        std::printf("%s -> %s: %.2f s of audio for %.2f s of music in %.2f s (%.1f x real time)\n",
                    job.input.c_str(), filesText(outcome.files, job.output).c_str(), outcome.audioSeconds,
                    outcome.expectedSeconds, outcome.wallSeconds,
                    outcome.wallSeconds > 0 ? outcome.audioSeconds / outcome.wallSeconds : 0.0);
        std::fflush(stdout);
    }
    call(VE_ENGINE_SHUTDOWN);
    if (interrupted) {
        interruptHandled();
        return kInterruptedStatus;
    }
    return failures ? 1 : 0;
}
