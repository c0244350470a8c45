// Writes the fuzz seed corpus into the folder given as the only argument: small valid files of
// each kind and broken variants of them.
#include "midifile/SmfBuilder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using smf::Bytes;
using smf::Track;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::filesystem::create_directories(dir);
    int count = 0;
    const auto put = [&](const std::string& name, const Bytes& bytes) {
        std::ofstream out(dir / (name + ".mid"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ++count;
    };

    const Track song = Track()
                           .tempo(0, 500000)
                           .timeSignature(0, 3, 2)
                           .text(0, 3, "Piano")
                           .controller(0, 0, 64, 127)
                           .noteOn(0, 0, 60, 100)
                           .raw(0, {0x3E, 0x64}) // running status
                           .noteOff(96, 0, 60)
                           .noteOn(0, 0, 62, 0)
                           .raw(48, {0xE1, 0x00, 0x40})
                           .raw(0, {0xC2, 0x05})
                           .raw(0, {0xD3, 0x20})
                           .raw(0, {0xA4, 0x3C, 0x10})
                           .tempo(96, 600000)
                           .timeSignature(0, 6, 3)
                           .end(192);
    put("format0", smf::file(0, 96, {song}));
    put("format1",
        smf::file(1, 480, {Track().tempo(0, 400000).end(960), song, Track().noteOn(0, 9, 36, 90).end(1)}));
    put("format2", smf::file(2, 96, {song, song}));
    put("sysex_meta", smf::file(1, 96,
                                {Track()
                                     .sysex(0, 40)
                                     .raw(0, {0xF7, 0x02, 0x01, 0x02})
                                     .raw(0, {0xFF, 0x00, 0x02, 0x00, 0x07})
                                     .raw(0, {0xFF, 0x54, 0x05, 1, 2, 3, 4, 5})
                                     .raw(0, {0xFF, 0x59, 0x02, 0xFD, 0x01})
                                     .raw(0, {0xFF, 0x7F, 0x02, 0x41, 0x10})
                                     .raw(0, {0xFF, 0x21, 0x01, 0x00})
                                     .raw(0, {0xF5})
                                     .end(10)}));
    put("header10", smf::concat({smf::header(1, 1, 96, 10), song.chunk()}));
    put("smpte_division", smf::file(1, 0xE728, {song}));
    put("zero_tracks", smf::header(1, 0, 96));
    put("division0", smf::file(1, 0, {song}));
    put("riff", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    put("wrong_chunk", smf::concat({smf::header(1, 1, 96), smf::chunk("XFIH", Bytes{1, 2, 3})}));
    put("huge_meta", smf::concat({smf::header(0, 1, 96),
                                  smf::chunk("MTrk", Bytes{0, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a'})}));
    put("long_varlen", smf::concat({smf::header(0, 1, 96),
                                    smf::chunk("MTrk", Bytes{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 1})}));
    put("bad_signature",
        smf::file(1, 1, {Track().timeSignature(0, 0, 31).timeSignature(0, 1, 7).end(0x0FFFFFFF)}));
    put("running_first", smf::concat({smf::header(0, 1, 96), smf::chunk("MTrk", Bytes{0, 0x3C, 0x40})}));
    put("realtime_byte",
        smf::concat({smf::header(0, 1, 96), smf::chunk("MTrk", Bytes{0, 0xF8, 0, 0x90, 60, 1})}));
    put("past_chunk_end", smf::concat({smf::header(1, 2, 96), smf::chunk("MTrk", Bytes{0x00, 0x90}),
                                       Bytes{60, 100}, song.chunk()}));
    Bytes truncated = smf::file(1, 96, {song});
    truncated.erase(truncated.end() - 7, truncated.end());
    put("truncated", truncated);
    std::printf("%d seed files in %s\n", count, dir.string().c_str());
    return 0;
}
