// The SMF reader on byte arrays: what it reports, in which order, and where it stops.
#include "midifile/MidifileReader.h"
#include "midifile/SmfBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using smf::Bytes;

// Records every callback as one line of text: "<name> <args> @<ticks>".
class RecordingReader : public Midifile_reader {
public:
    explicit RecordingReader(Bytes bytes) : bytes_(std::move(bytes)) {}

    std::vector<std::string> calls;
    std::vector<std::string> errors;
    size_t largestBuffer = 0;
    size_t bufferBytesAllocated = 0;

    void record(const std::string& what) { calls.push_back(what + " @" + std::to_string(currentTime())); }
    bool has(const std::string& prefix) const {
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    size_t count(const std::string& prefix) const {
        return std::count_if(calls.begin(), calls.end(),
                             [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }

protected:
    char* allocateBuffer(size_t size) override {
        largestBuffer = std::max(largestBuffer, size);
        bufferBytesAllocated += size;
        return static_cast<char*>(::operator new(size));
    }
    void releaseBuffer(char* bytes, size_t) override { ::operator delete(bytes); }
    int readByte() override { return pos_ < bytes_.size() ? bytes_[pos_++] : -1; }
    void onTrackStart() override { record("trackStart"); }
    void onTrackEnd() override { record("trackEnd"); }
    void onEndOfTrack() override { record("eot"); }
    void onError(const std::string& m) override {
        errors.push_back(m);
        record("error " + m);
    }
    void onHeader(int f, int t, int d) override { record(fmt("header", f, t, d)); }
    void onNoteOn(int c, int k, int v) override { record(fmt("noteOn", c, k, v)); }
    void onNoteOff(int c, int k, int v) override { record(fmt("noteOff", c, k, v)); }
    void onPolyPressure(int c, int k, int v) override { record(fmt("poly", c, k, v)); }
    void onController(int c, int k, int v) override { record(fmt("ctrl", c, k, v)); }
    void onPitchBend(int c, int k, int v) override { record(fmt("bend", c, k, v)); }
    void onProgram(int c, int k, int v) override { record(fmt("program", c, k, v)); }
    void onChannelPressure(int c, int k, int v) override { record(fmt("pressure", c, k, v)); }
    void onSysex(int32_t len, const char* d) override { record(fmt("sysex", len, d[0] & 0xFF, 0)); }
    void onArbitrary(int32_t len, const char*) override { record(fmt("arbitrary", len, 0, 0)); }
    void onMetaMisc(int type, int32_t len, const char*) override { record(fmt("metaMisc", type, len, 0)); }
    void onSequenceNumber(int n) override { record(fmt("seq", n, 0, 0)); }
    void onSmpteOffset(int h, int m, int s, int f, int ff) override {
        record(fmt("smpte", h, m, s) + " " + std::to_string(f) + " " + std::to_string(ff));
    }
    void onTimeSignature(int n, int d, int c, int b) override {
        record(fmt("timeSig", n, d, c) + " " + std::to_string(b));
    }
    void onTempo(int32_t us) override { record(fmt("tempo", us, 0, 0)); }
    void onKeySignature(int sf, int mi) override { record(fmt("key", sf, mi, 0)); }
    void onSequencerSpecific(int32_t len, const char*) override { record(fmt("seqSpecific", len, 0, 0)); }
    void onText(int type, int32_t len, const char* d) override {
        record(fmt("text", type, len, 0) + " " + std::string(d, static_cast<size_t>(len)));
    }

private:
    static std::string fmt(const char* name, long a, long b, long c) {
        return std::string(name) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
               std::to_string(c);
    }
    Bytes bytes_;
    size_t pos_ = 0;
};

std::vector<std::string> readAll(const Bytes& bytes) {
    RecordingReader r(bytes);
    r.read();
    return r.calls;
}

Bytes oneTrack(std::initializer_list<uint8_t> events, uint32_t division = 96) {
    return smf::concat({smf::header(0, 1, division), smf::chunk("MTrk", Bytes(events))});
}

TEST(ReaderHeader, SixByteHeaderReportsItselfAndReadsEachTrack) {
    const Bytes bytes = smf::file(1, 480, {smf::Track().end(), smf::Track().end()});
    EXPECT_EQ(readAll(bytes),
              (std::vector<std::string>{"header 1 2 480 @0", "trackStart @0", "eot @0", "trackEnd @0",
                                        "trackStart @0", "eot @0", "trackEnd @0"}));
}

TEST(ReaderHeader, LongerHeaderSkipsItsExtraBytes) {
    Bytes bytes = smf::header(0, 1, 96, 10);
    std::fill(bytes.end() - 4, bytes.end(), 0xEE); // would be read as garbage if not skipped
    bytes = smf::concat({bytes, smf::Track().noteOn(0, 0, 60, 100).end().chunk()});
    RecordingReader r(bytes);
    r.read();
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.has("noteOn 0 60 100"));
    EXPECT_TRUE(r.has("trackEnd"));
}

TEST(ReaderHeader, ZeroTracksFailsAfterTheHeader) {
    EXPECT_EQ(readAll(smf::header(1, 0, 96)),
              (std::vector<std::string>{"header 1 0 96 @0", "error No tracks! @0"}));
}

TEST(ReaderHeader, RiffFileIsRejectedBeforeAnythingElse) {
    const Bytes bytes{'R', 'I', 'F', 'F', 0x24, 0, 0, 0, 'W', 'A', 'V', 'E'};
    EXPECT_EQ(readAll(bytes), (std::vector<std::string>{"error expecting MThd @0"}));
}

TEST(ReaderHeader, ShortInputsReportTheMissingTagOrBytes) {
    EXPECT_EQ(readAll(Bytes{'M', 'T'}), (std::vector<std::string>{"error EOF while expecting MThd @0"}));
    const Bytes truncatedHeader{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    EXPECT_EQ(readAll(truncatedHeader), (std::vector<std::string>{"error premature EOF @0"}));
    EXPECT_EQ(readAll(smf::header(1, 1, 96)),
              (std::vector<std::string>{"header 1 1 96 @0", "error EOF while expecting MTrk @0"}));
    // Another chunk type where a track should be is not skipped.
    EXPECT_EQ(readAll(smf::concat({smf::header(1, 1, 96), smf::chunk("XFIH", Bytes{1, 2})})),
              (std::vector<std::string>{"header 1 1 96 @0", "error expecting MTrk @0"}));
}

TEST(ReaderTiming, VariableLengthDeltasAccumulate) {
    RecordingReader r(oneTrack({0x7F, 0x90, 60,   1,                    // 127
                                0x81, 0x00, 0x90, 61,   1,              // +128
                                0xFF, 0x7F, 0x90, 62,   1,              // +16383
                                0xFF, 0xFF, 0xFF, 0x7F, 0x90, 63, 1})); // +0x0FFFFFFF, the largest
    r.read();
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.has("noteOn 0 60 1 @127"));
    EXPECT_TRUE(r.has("noteOn 0 61 1 @255"));
    EXPECT_TRUE(r.has("noteOn 0 62 1 @16638"));
    EXPECT_TRUE(r.has("noteOn 0 63 1 @" + std::to_string(16638 + 0x0FFFFFFFLL)));
}

TEST(ReaderTiming, FiveByteVariableLengthIsAParseError) {
    RecordingReader r(oneTrack({0x00, 0x90, 60, 1, 0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 61, 1}));
    r.read();
    EXPECT_TRUE(r.has("noteOn 0 60 1"));
    EXPECT_FALSE(r.has("noteOn 0 61"));
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "variable-length number longer than 4 bytes");
}

TEST(ReaderTiming, TickSumPastThirtyTwoBitsDoesNotWrap) {
    smf::Track t;
    for (int i = 0; i < 10; ++i)
        t.raw(0x0FFFFFFF, {0xB0, 7, 100});
    RecordingReader r(smf::file(0, 96, {t.end()}));
    r.read();
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.currentTime(), 10LL * 0x0FFFFFFF);
}

TEST(ReaderEvents, RunningStatusAndEveryChannelMessage) {
    const auto calls = readAll(oneTrack(
        {0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64, // running note-on
         0x00, 0x83, 60,   0,    0x00, 0xA4, 60,   9,  0x00, 0xB5, 7,  100, 0x00, 0xC6,
         5,    0x00, 0xD7, 33,   0x00, 0xE8, 0,    64, 0x00, 0x99, 40, 0, // velocity 0 stays a note-on here
         0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(calls,
              (std::vector<std::string>{"header 0 1 96 @0", "trackStart @0", "noteOn 0 60 100 @0",
                                        "noteOn 0 62 100 @0", "noteOff 3 60 0 @0", "poly 4 60 9 @0",
                                        "ctrl 5 7 100 @0", "program 6 5 0 @0", "pressure 7 33 0 @0",
                                        "bend 8 0 64 @0", "noteOn 9 40 0 @0", "eot @0", "trackEnd @0"}));
}

TEST(ReaderEvents, DataByteWithoutRunningStatusFails) {
    RecordingReader r(oneTrack({0x00, 0x3C, 0x64}));
    r.read();
    EXPECT_EQ(r.errors, std::vector<std::string>{"unexpected running status"});
    EXPECT_FALSE(r.has("trackEnd"));
}

TEST(ReaderEvents, DataByteAfterAMetaEventFails) {
    RecordingReader r(oneTrack({0x00, 0xFF, 0x01, 0x01, 'a', 0x00, 0x3C, 0x64}));
    r.read();
    EXPECT_TRUE(r.has("text 1 1 0 a"));
    EXPECT_EQ(r.errors, std::vector<std::string>{"unexpected byte: 0x3c"});
}

TEST(ReaderEvents, SystemRealTimeBytesFailOrAreSkipped) {
    RecordingReader skipped(oneTrack({0x00, 0xF5, 0x00, 0x90, 60, 1, 0x00, 0xF1, 0x00, 0xFF, 0x2F, 0x00}));
    skipped.read();
    EXPECT_TRUE(skipped.errors.empty());
    EXPECT_TRUE(skipped.has("noteOn 0 60 1"));
    EXPECT_TRUE(skipped.has("trackEnd"));

    for (uint8_t bad : {0xF8, 0xF2, 0xFE}) {
        RecordingReader r(oneTrack({0x00, bad, 0x00, 0x90, 60, 1}));
        r.read();
        char expected[32];
        std::snprintf(expected, sizeof expected, "unexpected byte: 0x%02x", bad);
        EXPECT_EQ(r.errors, std::vector<std::string>{expected});
        EXPECT_FALSE(r.has("noteOn"));
    }
}

TEST(ReaderEvents, PrematureEndKeepsWhatWasReported) {
    Bytes bytes = smf::file(1, 96, {smf::Track().noteOn(0, 0, 60, 90).noteOn(10, 0, 64, 90).end(20)});
    bytes.erase(bytes.end() - 4, bytes.end()); // the end-of-track event
    RecordingReader r(bytes);
    r.read();
    EXPECT_TRUE(r.has("noteOn 0 60 90 @0"));
    EXPECT_TRUE(r.has("noteOn 0 64 90 @10"));
    EXPECT_EQ(r.errors, std::vector<std::string>{"premature EOF"});
    EXPECT_FALSE(r.has("trackEnd"));
}

TEST(ReaderEvents, AnErrorStopsLaterTracks) {
    const Bytes bytes = smf::concat({smf::header(1, 2, 96), smf::chunk("MTrk", Bytes{0x00, 0xF8}),
                                     smf::Track().noteOn(0, 0, 60, 1).end().chunk()});
    RecordingReader r(bytes);
    r.read();
    EXPECT_EQ(r.count("trackStart"), 1u);
    EXPECT_FALSE(r.has("noteOn"));
}

TEST(ReaderEvents, EventRunningPastItsChunkEndsTheTrack) {
    // The chunk claims 2 bytes, but the note-on takes 4: it is read whole, then the next chunk starts.
    const Bytes bytes = smf::concat({smf::header(1, 2, 96), smf::chunk("MTrk", Bytes{0x00, 0x90}),
                                     Bytes{60, 100}, smf::Track().noteOn(0, 1, 61, 1).end().chunk()});
    RecordingReader r(bytes);
    r.read();
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.has("noteOn 0 60 100"));
    EXPECT_TRUE(r.has("noteOn 1 61 1"));
    EXPECT_EQ(r.count("trackEnd"), 2u);
}

TEST(ReaderMeta, TempoTimeSignatureAndTheSmallOnes) {
    const auto calls = readAll(oneTrack({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // tempo
                                         0x00, 0xFF, 0x58, 0x04, 6,    3,    24,   8,    // 6/8
                                         0x00, 0xFF, 0x59, 0x02, 0xFD, 0x01,             // 3 flats, minor
                                         0x00, 0xFF, 0x00, 0x02, 0x01, 0x02,             // sequence 258
                                         0x00, 0xFF, 0x54, 0x05, 1,    2,    3,    4, 5, // SMPTE
                                         0x00, 0xFF, 0x7F, 0x03, 1,    2,    3,          // sequencer
                                         0x00, 0xFF, 0x20, 0x01, 0x00,                   // channel prefix
                                         0x00, 0xFF, 0x03, 0x02, 'h',  'i',              // name
                                         0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "header 0 1 96 @0", "trackStart @0", "tempo 500000 0 0 @0", "timeSig 6 3 24 8 @0",
                         "key -3 1 0 @0", "seq 258 0 0 @0", "smpte 1 2 3 4 5 @0", "seqSpecific 3 0 0 @0",
                         "metaMisc 32 1 0 @0", "text 3 2 0 hi @0", "eot @0", "trackEnd @0"}));
}

TEST(ReaderMeta, ShortMetaReadsZeroForMissingBytes) {
    const auto calls = readAll(oneTrack({0x00, 0xFF, 0x58, 0x02, 3, 2, 0x00, 0xFF, 0x51, 0x01, 0x07, 0x00,
                                         0xFF, 0x00, 0x00, 0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(calls[2], "timeSig 3 2 0 0 @0");
    EXPECT_EQ(calls[3], "tempo 458752 0 0 @0");
    EXPECT_EQ(calls[4], "seq 0 0 0 @0");
}

TEST(ReaderMeta, SysexCountsItsF0AndEscapesDoNot) {
    const auto calls = readAll(
        oneTrack({0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xF7, 0x02, 0x01, 0x02, 0x00, 0xFF, 0x2F, 0x00}));
    EXPECT_EQ(calls[2], "sysex 4 240 0 @0");
    EXPECT_EQ(calls[3], "arbitrary 2 0 0 @0");
    EXPECT_EQ(calls[4], "eot @0");
}

TEST(ReaderMessageBuffer, LargestClaimInASmallFileAllocatesOnlyWhatArrives) {
    // A meta event claiming 0x0FFFFFFF bytes, with 1000 bytes of file behind it.
    Bytes events{0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F};
    events.insert(events.end(), 1000, 'x');
    RecordingReader reader(smf::concat({smf::header(0, 1, 96), smf::chunk("MTrk", events)}));
    reader.read();
    EXPECT_EQ(reader.errors, std::vector<std::string>{"premature EOF"});
    EXPECT_LE(reader.largestBuffer, 2048u);
}

TEST(ReaderMessageBuffer, LongEventGrowsGeometrically) {
    const size_t length = 1 << 20;
    const Bytes bytes = smf::file(0, 96, {smf::Track().sysex(0, length).end()});
    RecordingReader r(bytes);
    r.read();
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.has("sysex " + std::to_string(length + 1) + " 240"));
    // Doubling: the buffers handed out add up to less than 4 times the event.
    EXPECT_LT(r.bufferBytesAllocated, 4 * (length + 1));
    EXPECT_GE(r.largestBuffer, length + 1);
}

} // namespace
