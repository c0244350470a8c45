// How the model stores a file: whole tracks merged by time (earlier track first at equal beats),
// tempi from any track in beat order, and a load that allocates per file, not per event.
#include "midifile/MIDIFile.h"
#include "midifile/SmfBuilder.h"
#include "support/AllocCounter.h"

#include <gtest/gtest.h>

TEST(ModelStorage, TracksMergeInOrderTempiSortAndEventsTakeNoAllocationEach) {
    // Three tracks with notes on the same beats, told apart by channel. Track 0 sets a tempo at
    // its end; track 1 one at beat 0 (before it), track 2 one at the same end (replacing it).
    std::vector<smf::Track> tracks(3);
    tracks[1].tempo(0, 400000);
    for (int t = 0; t < 3; ++t)
        for (int i = 0; i < 3000; ++i)
            tracks[t].noteOn(i % 3 == 0 ? 0 : 48, t, 40 + i % 50, 1 + i % 100);
    tracks[0].tempo(0, 500000);
    tracks[2].tempo(0, 600000);
    const smf::Bytes bytes = smf::file(1, 96, {tracks[0].end(), tracks[1].end(), tracks[2].end()});
    vantor::MIDIFile f("");
    uint64_t allocations = 0;
    {
        quorvel::test::AllocScope scope;
        f.parse(bytes.data(), bytes.size());
        f.init();
        allocations = scope.count();
    }
    EXPECT_LT(allocations, 60u);
    ASSERT_EQ(f.mergedTrack().size(), 9000u);
    double lastTime = -1;
    int lastChannel = -1;
    for (const auto& [time, event] : f.mergedTrack()) {
        if (time == lastTime) {
            EXPECT_GE(event->channel, lastChannel) << "at beat " << time;
        }
        EXPECT_GE(time, lastTime);
        lastTime = time;
        lastChannel = event->channel;
    }
    ASSERT_EQ(f.tempoMap().size(), 2u);
    EXPECT_DOUBLE_EQ(f.tempoMap().at(0.0), 150.0);
    EXPECT_DOUBLE_EQ(f.tempoMap().at(lastTime), 100.0);
}
