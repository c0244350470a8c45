// Builds Standard MIDI File bytes for tests, the fuzz seed generator and the benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace smf {

using Bytes = std::vector<uint8_t>;

inline void appendVarLen(Bytes& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && n < 5);
    while (n > 1)
        out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

inline void append32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void append16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

inline Bytes header(uint32_t format, uint32_t tracks, uint32_t division, uint32_t length = 6) {
    Bytes out{'M', 'T', 'h', 'd'};
    append32(out, length);
    append16(out, format);
    append16(out, tracks);
    append16(out, division);
    for (uint32_t i = 6; i < length; ++i)
        out.push_back(0);
    return out;
}

inline Bytes chunk(const char* tag, const Bytes& body) {
    Bytes out(tag, tag + 4);
    append32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// One track's events, each with its delta time in ticks.
class Track {
public:
    Track& raw(uint32_t delta, std::initializer_list<uint8_t> bytes) {
        appendVarLen(b_, delta);
        b_.insert(b_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Track& bytes(std::initializer_list<uint8_t> bytes) {
        b_.insert(b_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Track& noteOn(uint32_t delta, int ch, int key, int vel) {
        return raw(delta, {uint8_t(0x90 | ch), uint8_t(key), uint8_t(vel)});
    }
    Track& noteOff(uint32_t delta, int ch, int key, int vel = 64) {
        return raw(delta, {uint8_t(0x80 | ch), uint8_t(key), uint8_t(vel)});
    }
    Track& controller(uint32_t delta, int ch, int number, int value) {
        return raw(delta, {uint8_t(0xB0 | ch), uint8_t(number), uint8_t(value)});
    }
    Track& tempo(uint32_t delta, uint32_t microsPerQuarter) {
        return raw(delta, {0xFF, 0x51, 0x03, uint8_t(microsPerQuarter >> 16), uint8_t(microsPerQuarter >> 8),
                           uint8_t(microsPerQuarter)});
    }
    Track& timeSignature(uint32_t delta, int nn, int ddPower, int cc = 24, int bb = 8) {
        return raw(delta, {0xFF, 0x58, 0x04, uint8_t(nn), uint8_t(ddPower), uint8_t(cc), uint8_t(bb)});
    }
    Track& text(uint32_t delta, int type, const std::string& text) {
        appendVarLen(b_, delta);
        b_.push_back(0xFF);
        b_.push_back(uint8_t(type));
        appendVarLen(b_, static_cast<uint32_t>(text.size()));
        b_.insert(b_.end(), text.begin(), text.end());
        return *this;
    }
    Track& sysex(uint32_t delta, size_t length, uint8_t fill = 0x11) {
        appendVarLen(b_, delta);
        b_.push_back(0xF0);
        appendVarLen(b_, static_cast<uint32_t>(length));
        b_.insert(b_.end(), length, fill);
        return *this;
    }
    Track& end(uint32_t delta = 0) { return raw(delta, {0xFF, 0x2F, 0x00}); }

    const Bytes& body() const { return b_; }
    Bytes chunk() const { return smf::chunk("MTrk", b_); }

private:
    Bytes b_;
};

inline Bytes file(uint32_t format, uint32_t division, const std::vector<Track>& tracks) {
    Bytes out = header(format, static_cast<uint32_t>(tracks.size()), division);
    for (const Track& t : tracks) {
        const Bytes c = t.chunk();
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A file in the temporary folder holding the bytes, removed again with the object.
class TempFile {
public:
    TempFile(const Bytes& bytes, const std::string& name) {
        static int counter = 0;
        static const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = (std::filesystem::temp_directory_path() /
                 ("quorvel_mf_" + std::to_string(stamp) + "_" + std::to_string(counter++) + "_" + name))
                    .string();
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace smf
