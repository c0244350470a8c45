// Arbitrary bytes as a MIDI file: the reader and the model parse it from memory, then the player
// renders blocks from it, with a seek and a stop on the way, as the engine would drive it.
//
// Kept cheap per input so that a bounded run explores deeply: no file is written and the stream
// descriptions are built once.
#include "graph/DSPInfo.h"
#include "midifile/MIDIFile.h"
#include "midifile/MIDIFilePlayer.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// The stream descriptions the inputs pick from, each built on first use: 44100 Hz with 64-frame
// blocks, or 48000 Hz with 1 to 256 frames.
const vantor::DSPInfo& streamFor(size_t size, const uint8_t* data) {
    static std::unique_ptr<vantor::DSPInfo> standard;
    static std::array<std::unique_ptr<vantor::DSPInfo>, 257> small;
    if (size % 2 == 0) {
        if (!standard) standard = std::make_unique<vantor::DSPInfo>(44100, 64);
        return *standard;
    }
    const uint32_t frames = 1u + data[size - 1];
    if (!small[frames]) small[frames] = std::make_unique<vantor::DSPInfo>(48000, frames);
    return *small[frames];
}

void check(bool holds) {
    if (!holds) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The model alone, with every bar checked: at least one, none empty, the first from 0.
    bool isMidi = false;
    {
        vantor::MIDIFile file("");
        isMidi = file.parse(data, size);
        file.init();
        check(file.durationSeconds() >= 0.0);
        const auto& bars = file.bars();
        check(!bars.empty() && bars.size() <= vantor::MIDIFile::kMaxBars);
        check(bars.front().start == 0.0);
        for (const auto& bar : bars)
            check(bar.end > bar.start);
        check(file.length() > 0.0);
        // Every event merged once, in time order.
        check(file.mergedTrack().size() == file.eventCount());
        double last = 0.0;
        for (const auto& [time, event] : file.mergedTrack()) {
            check(time >= last && event->time == time);
            last = time;
        }
    }

    // The player over a few blocks; an odd-sized input's last byte picks the block size.
    const vantor::DSPInfo& info = streamFor(size, data);
    vantor::MIDIFilePlayer player;
    player.init(nullptr, const_cast<vantor::DSPInfo*>(&info));
    // The player takes exactly the inputs with a valid header chunk.
    check(player.loadFromMemory(data, size) == isMidi);
    player.startPlayback();
    vantor::MidiEventArray events;
    const int32_t frames = static_cast<int32_t>(info.blockSize);
    for (int block = 0; block < 64; ++block) {
        if (block == 20) player.seek(0.5f);
        if (block == 40) player.stopPlayback();
        if (block == 41) player.startPlayback();
        player.advance();
        player.getBlockEvents(events);
        for (const auto& e : events)
            check(e.frameOffset >= 0 && e.frameOffset < frames);
        events.clear();
        const double p = player.getPosition();
        check(p >= 0.0);
    }
    return 0;
}
