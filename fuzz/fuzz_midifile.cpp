// Arbitrary bytes as a MIDI file: the reader and the model load it, then the player renders
// blocks from it, with a seek and a stop on the way, as the engine would drive it.
#include "graph/DSPInfo.h"
#include "midifile/MIDIFile.h"
#include "midifile/MIDIFilePlayer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string scratchPath() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/quorvel_fuzz_midifile_" + std::to_string(::getpid()) +
           ".mid";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratchPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    // The model alone, with every bar checked.
    {
        vantor::MIDIFile file(path);
        if (!file.load()) std::abort();
        file.init();
        const auto& bars = file.bars();
        if (bars.empty() || bars.size() > vantor::MIDIFile::kMaxBars) std::abort();
        for (const auto& bar : bars)
            if (!(bar.end > bar.start)) std::abort();
    }

    // The player over a few blocks; the last input byte picks the block size.
    static vantor::DSPInfo info(44100, 64);
    vantor::DSPInfo small(48000, 1 + (size ? data[size - 1] : 0));
    vantor::MIDIFilePlayer player;
    player.init(nullptr, size % 2 ? &small : &info);
    if (!player.load(path)) std::abort();
    player.startPlayback();
    vantor::MidiEventArray events;
    const int32_t frames = static_cast<int32_t>((size % 2 ? small : info).blockSize);
    for (int block = 0; block < 64; ++block) {
        if (block == 20) player.seek(0.5f);
        if (block == 40) player.stopPlayback();
        if (block == 41) player.startPlayback();
        player.advance();
        player.getBlockEvents(events);
        for (const auto& e : events)
            if (e.frameOffset < 0 || e.frameOffset >= frames) std::abort();
        events.clear();
        const double p = player.getPosition();
        if (!(p >= 0.0)) std::abort();
    }
    return 0;
}
