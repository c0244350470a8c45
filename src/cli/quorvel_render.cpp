// quorvel-render: MIDI files to 32-bit float WAV files without a window, through the host's
// opcode entry point exactly as the render dialog drives it. Files render one after another;
// a file that fails is reported and the others still render.
#include "engineapi/EngineOpcodes.h"
#include "cli/RenderConsole.h"
#include "offline/RenderSequence.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace vantor;

const char* kUsage =
    "Usage: quorvel-render [options] INPUT.mid... -o OUT\n"
    "Renders each MIDI file through the installed instrument to a 32-bit float WAV file.\n"
    "\n"
    "  -o, --output OUT      output: a .wav file for a single input, otherwise a folder\n"
    "                        (created if needed) that receives NAME.wav for each INPUT\n"
    "  -r, --rate HZ         sample rate (default 48000)\n"
    "  -b, --block FRAMES    block size (default 512)\n"
    "  -h, --help            this text\n"
    "\n"
    "Exit status: 0 when every file rendered, 1 when any file failed, 2 for bad usage.\n";

// Paths are UTF-8 text; on Windows a narrow std::string path would be read in the ANSI code page.
std::filesystem::path toPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string fromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0) {
    return engineOpcode(opcode, p1, p2, i1, i2, 0, 0.0f);
}

// Frames of a stereo 32-bit float WAV file, from its data chunk; -1 when unreadable.
double wavSeconds(const std::string& path, int rate) {
    std::ifstream in(toPath(path), std::ios::binary);
    char riff[12];
    if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0) return -1.0;
    char head[8];
    while (in.read(head, 8)) {
        uint32_t size = 0;
        std::memcpy(&size, head + 4, 4);
        if (std::memcmp(head, "data", 4) == 0) return static_cast<double>(size) / 8.0 / rate;
        in.seekg(size + (size & 1), std::ios::cur);
    }
    return -1.0;
}

// A Standard MIDI File starts with its header chunk (or the RIFF wrapper of an RMID file); the
// player is lenient with anything else, so the check is made here.
bool looksLikeMidi(const std::string& path) {
    std::ifstream in(toPath(path), std::ios::binary);
    char magic[4];
    return in.read(magic, 4) && (std::memcmp(magic, "MThd", 4) == 0 || std::memcmp(magic, "RIFF", 4) == 0);
}

bool parseNumber(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

int vantor::renderMain(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
    int rate = 48000, block = 512;
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
            if (!parseNumber(value("--rate"), 8000, 192000, rate)) {
                std::fprintf(stderr, "quorvel-render: the rate must be a number of Hz from 8000 to 192000\n");
                return 2;
            }
        } else if (a == "-b" || a == "--block") {
            if (!parseNumber(value("--block"), 16, 8192, block)) {
                std::fprintf(stderr, "quorvel-render: the block size must be a number of frames from 16 to 8192\n");
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
    namespace fs = std::filesystem;
    const bool single = inputs.size() == 1 && toPath(output).extension() == ".wav";
    if (!single) {
        std::error_code ec;
        fs::create_directories(toPath(output), ec);
        if (ec) {
            std::fprintf(stderr, "quorvel-render: cannot create the folder %s: %s\n", output.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }

    AppArgumentList arguments{argv.empty() ? std::string() : argv[0]};
    call(VE_ENGINE_APP_ARGUMENTS_SET, &arguments);
    int32_t initialized = kEngineFailed;
    {
        QuietStderr quiet;
        initialized = call(VE_ENGINE_INITIALIZE);
    }
    if (initialized != kEngineOk) {
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
    call(VE_ENGINE_INSTRUMENT_ADD);

    const bool terminal = stderrIsTerminal();
    int failures = 0;
    for (const std::string& input : inputs) {
        const std::string wav =
            single ? output : fromPath(toPath(output) / toPath(input).stem()) + ".wav";
        RenderRequest request;
        request.midiPath = input;
        request.wavPath = wav;
        if (terminal)
            request.progress = [&](double p) {
                const int width = 40;
                const int filled = static_cast<int>(p * width);
                std::fprintf(stderr, "\r%-.30s [%s%s] %3d%%", input.c_str(), std::string(filled, '#').c_str(),
                             std::string(width - filled, ' ').c_str(), static_cast<int>(p * 100));
                std::fflush(stderr);
            };
        std::error_code ec;
        RenderOutcome outcome;
        if (!fs::is_regular_file(toPath(input), ec)) {
            outcome.error = "no such file \"" + input + "\"";
        } else if (!looksLikeMidi(input)) {
            outcome.error = "\"" + input + "\" is not a MIDI file";
        } else {
            outcome = renderMidiFile(&engineOpcode, request);
        }
        if (terminal) std::fputs("\r\033[K", stderr);
        if (!outcome.ok) {
            ++failures;
            std::fprintf(stderr, "quorvel-render: %s: %s\n", input.c_str(), outcome.error.c_str());
            continue;
        }
        const double seconds = wavSeconds(wav, rate);
        if (seconds < 0) {
            ++failures;
            std::fprintf(stderr, "quorvel-render: %s: no WAV file was written to \"%s\"\n", input.c_str(), wav.c_str());
            continue;
        }
        std::printf("%s -> %s: %.2f s of audio in %.2f s (%.1f x real time)\n", input.c_str(), wav.c_str(),
                    seconds, outcome.wallSeconds, outcome.wallSeconds > 0 ? seconds / outcome.wallSeconds : 0.0);
        std::fflush(stdout);
    }
    call(VE_ENGINE_SHUTDOWN);
    return failures ? 1 : 0;
}
