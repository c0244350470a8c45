// The loaded-file model: times in beats, tempo map, signatures, bars, merge order and the
// bounds that keep hostile files cheap.
#include "midifile/MIDIFile.h"
#include "midifile/SmfBuilder.h"
#include "support/AllocCounter.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>

namespace {

using smf::Bytes;
using smf::TempFile;
using smf::Track;
using vantor::MIDIFile;
using vantor::Vmds_bar;
using vantor::Vmds_note;

std::unique_ptr<MIDIFile> loadBytes(const Bytes& bytes, bool init = true) {
    TempFile tmp(bytes, "model.mid");
    auto file = std::make_unique<MIDIFile>(tmp.path());
    EXPECT_TRUE(file->load());
    if (init) file->init();
    return file;
}

std::vector<std::pair<double, double>> barSpans(const MIDIFile& f) {
    std::vector<std::pair<double, double>> spans;
    for (const Vmds_bar& b : f.bars())
        spans.emplace_back(b.start, b.end);
    return spans;
}

const Vmds_note* noteAt(const MIDIFile& f, size_t i) {
    return dynamic_cast<const Vmds_note*>((f.mergedTrack().begin() + static_cast<long>(i))->second);
}

TEST(ModelLoad, MissingFileFailsWithAnErrorLine) {
    vantor::test::LogCapture log;
    MIDIFile f("/nonexistent/folder/song.mid");
    EXPECT_FALSE(f.load());
    EXPECT_TRUE(log.has('E', "could not open midi file:/nonexistent/folder/song.mid"));
}

TEST(ModelLoad, OnlyAFileWithAValidHeaderChunkLoads) {
    const Bytes good = smf::file(0, 96, {Track().noteOn(0, 0, 60, 90).noteOn(96, 0, 62, 90).end(96)});
    const struct {
        const char* name;
        Bytes bytes;
        bool loads;
    } table[] = {
        {"a damaged track after a valid header: kept", Bytes(good.begin(), good.end() - 6), true},
        {"a WAV file", Bytes{'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E'}, false},
        {"MThd and garbage", Bytes{'M', 'T', 'h', 'd', 0x7A, 0x1B, 0x33, 0x90, 1, 2, 3, 4, 5}, false},
        {"a header of 4 bytes", smf::concat({smf::header(0, 1, 96, 4), Track().end(96).chunk()}), false},
        {"division 0", smf::file(0, 0, {Track().end(96)}), false},
        {"format 7", smf::concat({smf::header(7, 1, 96), Track().end(96).chunk()}), false},
        {"no tracks", smf::header(1, 0, 96), false},
    };
    for (const auto& row : table) {
        vantor::test::LogCapture log;
        TempFile tmp(row.bytes, "model.mid");
        MIDIFile f(tmp.path());
        EXPECT_EQ(f.load(), row.loads) << row.name;
        EXPECT_EQ(log.count("not a MIDI file (no valid header chunk): "), row.loads ? 0u : 1u) << row.name;
    }
}

TEST(ModelLoad, HeaderTrackCountAndLogLines) {
    vantor::test::LogCapture log;
    auto format0 = loadBytes(smf::concat({smf::header(0, 3, 96), Track().end(96).chunk()}));
    EXPECT_EQ(format0->trackCount(), 1);
    EXPECT_TRUE(log.has('I', "MIDI Header:  format: 0 ntrks: 3 division: 96"));
    EXPECT_TRUE(log.has('I', "MIDIfile EOT at: 1"));
    EXPECT_TRUE(log.has('I', "MIDIFile::init numtracks:1 max ppq:1"));

    auto format2 =
        loadBytes(smf::concat({smf::header(2, 2, 96), Track().end(96).chunk(), Track().end(192).chunk()}));
    EXPECT_EQ(format2->trackCount(), 2);
    EXPECT_DOUBLE_EQ(format2->length(), 2.0);
    EXPECT_TRUE(log.has('I', "MIDIfile reader error: file format 2 not implemented"));
}

TEST(ModelLoad, AFileAndItsBytesInMemoryGiveTheSameModel) {
    const Bytes bytes =
        smf::file(1, 96,
                  {Track().tempo(0, 600000).timeSignature(0, 3, 2).noteOn(48, 0, 60, 90).end(96 * 7 - 48),
                   Track().noteOn(48, 1, 64, 80).controller(48, 1, 7, 100).end(96)});
    auto fromFile = loadBytes(bytes);
    MIDIFile fromMemory("");
    fromMemory.parse(bytes.data(), bytes.size());
    fromMemory.init();
    EXPECT_EQ(fromMemory.trackCount(), 2);
    EXPECT_EQ(fromMemory.eventCount(), 3u);
    EXPECT_EQ(fromMemory.eventCount(), fromFile->eventCount());
    EXPECT_DOUBLE_EQ(fromMemory.length(), 7.0);
    EXPECT_EQ(fromMemory.tempoMap(), fromFile->tempoMap());
    EXPECT_EQ(barSpans(fromMemory), barSpans(*fromFile));
    EXPECT_EQ(barSpans(fromMemory), (std::vector<std::pair<double, double>>{{0, 3}, {3, 6}, {6, 9}}));
    std::vector<double> memoryTimes, fileTimes;
    for (const auto& [time, event] : fromMemory.mergedTrack())
        memoryTimes.push_back(time);
    for (const auto& [time, event] : fromFile->mergedTrack())
        fileTimes.push_back(time);
    EXPECT_EQ(memoryTimes, (std::vector<double>{0.5, 0.5, 1.0}));
    EXPECT_EQ(memoryTimes, fileTimes);

    // No bytes at all: an unreadable file, as an empty one on disk (the faked bar, then the regular one).
    MIDIFile nothing("");
    nothing.parse(nullptr, 0);
    nothing.init();
    EXPECT_EQ(nothing.eventCount(), 0u);
    EXPECT_DOUBLE_EQ(nothing.length(), 4.0);
    EXPECT_EQ(barSpans(nothing), (std::vector<std::pair<double, double>>{{0, 4}, {0, 4}}));
}

TEST(ModelLoad, OnlyTheTracksThatExistAreVisited) {
    // The header claims 65535 tracks; two follow. Only those make the length, and init creates
    // no empty ones for the rest.
    auto f = loadBytes(
        smf::concat({smf::header(1, 65535, 96), Track().end(96).chunk(), Track().end(96 * 5).chunk()}));
    EXPECT_EQ(f->trackCount(), 65535);
    EXPECT_EQ(f->tracks().size(), 2u);
    EXPECT_DOUBLE_EQ(f->length(), 5.0);
    EXPECT_EQ(f->bars().size(), 2u);
    // A format-0 file counts one track however many it holds: the second one's end is not the song's.
    auto zero =
        loadBytes(smf::concat({smf::header(0, 2, 96), Track().end(96).chunk(), Track().end(96 * 9).chunk()}));
    EXPECT_DOUBLE_EQ(zero->length(), 1.0);
}

TEST(ModelTimes, TicksBecomeBeatsAndVelocitiesRoundTrip) {
    auto f = loadBytes(smf::file(1, 480,
                                 {Track()
                                      .noteOn(960, 2, 60, 127)
                                      .noteOn(0, 2, 61, 1)
                                      .noteOn(0, 2, 62, 0) // stored as a note-off
                                      .noteOff(240, 2, 60, 64)
                                      .end()}));
    ASSERT_EQ(f->mergedTrack().size(), 4u);
    EXPECT_EQ(f->mergedTrack().begin()->first, 2.0);
    int status, d1, d2;
    noteAt(*f, 0)->getBytes(status, d1, d2);
    EXPECT_EQ(status, 0x92);
    EXPECT_EQ(d1, 60);
    EXPECT_EQ(d2, 127);
    noteAt(*f, 1)->getBytes(status, d1, d2);
    EXPECT_EQ(d2, 1);
    noteAt(*f, 2)->getBytes(status, d1, d2);
    EXPECT_EQ(status, 0x82);
    EXPECT_EQ(d2, 0);
    EXPECT_FALSE(noteAt(*f, 2)->on);
    EXPECT_EQ(noteAt(*f, 3)->time, 2.5);
    for (int v = 0; v <= 127; ++v) { // every velocity survives the scaling
        Vmds_note n(0, true, 60, v, 0.0);
        n.getBytes(status, d1, d2);
        EXPECT_EQ(d2, v);
    }
}

TEST(ModelTimes, TempoMapInBeatsPerMinute) {
    auto f =
        loadBytes(smf::file(1, 96, {Track().tempo(0, 500000).tempo(192, 600000).tempo(0, 400000).end()}));
    ASSERT_EQ(f->tempoMap().size(), 2u);
    EXPECT_DOUBLE_EQ(f->tempoMap().at(0.0), 120.0);
    EXPECT_DOUBLE_EQ(f->tempoMap().at(2.0), 150.0); // a later tempo at the same beat replaces
    auto slow = loadBytes(smf::file(1, 96, {Track().tempo(0, 600000).tempo(96, 0).end()}));
    ASSERT_EQ(slow->tempoMap().size(), 1u); // 0 microseconds is ignored
    EXPECT_DOUBLE_EQ(slow->tempoMap().at(0.0), 100.0);
}

TEST(ModelTimes, MergedTrackKeepsTrackOrderThenFileOrderAtEqualBeats) {
    auto f = loadBytes(smf::file(1, 96,
                                 {Track().noteOn(96, 0, 70, 1).noteOn(0, 0, 71, 1).end(),
                                  Track().noteOn(0, 0, 50, 1).noteOn(96, 0, 72, 1).end()}));
    std::vector<int> keys;
    for (auto& e : f->mergedTrack())
        keys.push_back(static_cast<const Vmds_note*>(e.second)->key);
    EXPECT_EQ(keys, (std::vector<int>{50, 70, 71, 72}));
}

TEST(ModelSignatures, SixEightMakesThreeBeatBarsAndTheFirstAtABeatWins) {
    vantor::test::LogCapture log;
    auto f = loadBytes(smf::file(1, 96, {Track().timeSignature(0, 6, 3).timeSignature(0, 2, 2).end(96 * 7)}));
    ASSERT_EQ(f->timeSignatures().size(), 1u);
    EXPECT_EQ(f->timeSignatures().at(0.0).numerator, 6);
    EXPECT_EQ(f->timeSignatures().at(0.0).denominator, 8);
    EXPECT_EQ(barSpans(*f), (std::vector<std::pair<double, double>>{{0, 3}, {3, 6}, {6, 9}}));
    EXPECT_TRUE(log.has('I', "ppq:0 6/8"));
    EXPECT_TRUE(log.has('I', "ppq:0 2/4"));
}

TEST(ModelBars, LengthRoundsUpToWholeBarsUnlessWithinTheTolerance) {
    auto tenBeats = loadBytes(smf::file(1, 96, {Track().end(960)}));
    EXPECT_EQ(barSpans(*tenBeats), (std::vector<std::pair<double, double>>{{0, 4}, {4, 8}, {8, 12}}));
    // 8.0000167 beats: a remainder of 4e-6 bar, well inside 0.0001 bar.
    auto almost = loadBytes(smf::file(1, 60000, {Track().end(480001)}));
    EXPECT_EQ(barSpans(*almost), (std::vector<std::pair<double, double>>{{0, 4}, {4, 8}}));
    auto over = loadBytes(smf::file(1, 1000, {Track().end(8001)})); // 8.001 beats: beyond the tolerance
    EXPECT_EQ(over->bars().size(), 3u);
    // 0.00036 beats (tick 10 at 27648 per beat): a sliver of a bar is still a bar, not none.
    auto sliver = loadBytes(smf::file(1, 27648, {Track().end(10)}));
    EXPECT_GT(sliver->length(), 0.0);
    EXPECT_EQ(barSpans(*sliver), (std::vector<std::pair<double, double>>{{0, 4}}));
}

TEST(ModelBars, SignatureChangeTakesEffectAtTheStartOfItsBar) {
    auto f =
        loadBytes(smf::file(1, 96, {Track().timeSignature(0, 4, 2).timeSignature(96 * 6, 3, 2).end(96 * 6)}));
    // 12 beats: the 3/4 at beat 6 falls inside the second 4/4 bar, so 3/4 bars start at beat 4.
    const auto& bars = f->bars();
    ASSERT_EQ(barSpans(*f), (std::vector<std::pair<double, double>>{{0, 4}, {4, 7}, {7, 10}, {10, 13}}));
    EXPECT_EQ(bars[0].numerator, 4);
    EXPECT_EQ(bars[1].numerator, 3);
    for (size_t i = 0; i < bars.size(); ++i)
        EXPECT_EQ(bars[i].index, static_cast<int>(i));
}

TEST(ModelBars, TempoOnlyFileGetsTheFakedBarTwice) {
    vantor::test::LogCapture log;
    auto f = loadBytes(smf::file(1, 96, {Track().tempo(0, 500000)}));
    EXPECT_DOUBLE_EQ(f->length(), 4.0);
    ASSERT_EQ(f->bars().size(), 2u);
    for (const Vmds_bar& b : f->bars()) {
        EXPECT_EQ(b.start, 0.0);
        EXPECT_EQ(b.end, 4.0);
        EXPECT_EQ(b.numerator, 4);
        EXPECT_EQ(b.denominator, 4);
        EXPECT_EQ(b.index, 0);
    }
    EXPECT_TRUE(log.has('I', "0 length MIDI File, faking it to one bar"));
}

TEST(ModelBars, FindBarWalksForwardAndRestarts) {
    auto f = loadBytes(smf::file(1, 96, {Track().end(96 * 12)}));
    uint64_t index = 0;
    Vmds_bar bar;
    EXPECT_TRUE(f->findBar(index, 5.0, bar, false));
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(bar.start, 4.0);
    EXPECT_FALSE(f->findBar(index, 1.0, bar, false)); // behind the search index
    EXPECT_EQ(index, 3u);
    EXPECT_TRUE(f->findBar(index, 1.0, bar, true));
    EXPECT_EQ(index, 0u);
    EXPECT_FALSE(f->findBar(index, 12.0, bar, true)); // the end is outside every bar
    EXPECT_EQ(index, 3u);
}

TEST(ModelHostile, ImpossibleSignaturesAreRejectedWithALogLine) {
    vantor::test::LogCapture log;
    auto f = loadBytes(smf::file(1, 96,
                                 {Track()
                                      .timeSignature(0, 0, 2)   // numerator 0: zero-length bars
                                      .timeSignature(0, 200, 2) // 200 arrives as a negative byte
                                      .timeSignature(0, 4, 31)  // 2^31 overflows
                                      .timeSignature(96, 3, 2)
                                      .end(96 * 8)}));
    ASSERT_EQ(f->timeSignatures().size(), 1u);
    EXPECT_EQ(f->timeSignatures().begin()->second.numerator, 3);
    EXPECT_EQ(f->bars().size(), 3u);
    EXPECT_EQ(log.count("ignored"), 3);
}

TEST(ModelHostile, HugeEndTimeIsCappedInBarsAndLength) {
    vantor::test::LogCapture log;
    // Division 1 and the largest deltas: about 2.7 billion beats.
    Track t;
    for (int i = 0; i < 10; ++i)
        t.raw(0x0FFFFFFF, {0xB0, 7, 1});
    t.timeSignature(0, 1, 7).end(0x0FFFFFFF); // and the smallest bars on top
    const auto start = std::chrono::steady_clock::now();
    auto f = loadBytes(smf::file(1, 1, {Track().timeSignature(0, 1, 7), t}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(f->bars().size(), MIDIFile::kMaxBars);
    EXPECT_DOUBLE_EQ(f->length(), f->bars().back().end);
    EXPECT_LT(std::chrono::duration<double>(elapsed).count(), 2.0);
    EXPECT_EQ(log.count("bars, playing up to beat"), 1);
}

TEST(ModelHostile, LogLinesPerLoadAreBounded) {
    vantor::test::LogCapture log;
    Track t;
    for (int i = 0; i < 5000; ++i)
        t.sysex(0, 1);
    auto f = loadBytes(smf::file(1, 96, {t.end()}));
    EXPECT_LE(log.count("sysex message ignored"), MIDIFile::kMaxLoadLogLines);
    EXPECT_EQ(log.count("further load messages suppressed"), 1);
}

} // namespace

namespace {

TEST(ModelHostile, SixteenMegabyteSysexLoadsWellUnderASecond) {
    const size_t length = 16u << 20;
    TempFile tmp(smf::file(1, 96, {Track().noteOn(0, 0, 60, 1).sysex(0, length).noteOn(96, 0, 62, 1).end()}),
                 "sysex16.mid");
    MIDIFile f(tmp.path());
    // Processor time of this process: the machine's load does not count against the parser.
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(f.load());
    f.init();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    EXPECT_EQ(f.eventCount(), 2u); // the events on both sides of the sysex are intact
    EXPECT_LT(cpu, 0.5);
    std::printf("16 MB sysex file loaded in %.0f ms (%.0f ms processor time)\n", seconds * 1000, cpu * 1000);
}

TEST(ModelHostile, LargestMetaLengthInASmallFileLoadsInMillisecondsWithoutALargeAllocation) {
    // A text meta event claiming 0x0FFFFFFF bytes, with 100 bytes of file behind it.
    Bytes events{0x00, 0x90, 60, 1, 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F};
    events.insert(events.end(), 100, 'x');
    TempFile tmp(smf::concat({smf::header(0, 1, 96), smf::chunk("MTrk", events)}), "hugemeta.mid");
    MIDIFile f(tmp.path());
    uint64_t allocations = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        quorvel::test::AllocScope scope;
        ASSERT_TRUE(f.load());
        allocations = scope.count();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.init();
    EXPECT_EQ(f.eventCount(), 1u);
    EXPECT_LT(seconds, 0.05);
    // Nothing near the claimed 256 MB: a handful of small blocks (the stream buffer, the event,
    // the message buffer at 128 bytes).
    EXPECT_LT(allocations, 20u);
    std::printf("huge meta claim loaded in %.2f ms with %llu allocations\n", seconds * 1000,
                static_cast<unsigned long long>(allocations));
}

} // namespace
