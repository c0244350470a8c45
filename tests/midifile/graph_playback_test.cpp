// The player inside the real graph with the real recorder: offline, the end of the file arms the
// recorder's stop on silence, and the recording ends on its own once the instrument falls silent.
#include "graph/DSPInfo.h"
#include "bridge/HostComposition.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"
#include "midifile/MIDIFilePlayer.h"
#include "midifile/SmfBuilder.h"
#include "recording/StereoFileOutputModule.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

// Sounds a constant level while any note it was sent is held; an all-notes-off silences it.
class HeldNoteInstrument : public vantor::Module {
public:
    void processBlock(vantor::MidiEventArray& events, float**, float** outputs, uint32_t frames,
                      bool) override {
        for (const auto& e : events) {
            received.push_back(e);
            const int type = e.status & 0xF0;
            if (type == 0x90 && e.data2 > 0)
                ++held;
            else if ((type == 0x80 || type == 0x90) && held > 0)
                --held;
            else if (type == 0xB0 && e.data1 == 123)
                held = 0;
        }
        for (uint32_t i = 0; i < frames; ++i)
            outputs[0][i] = outputs[1][i] = held > 0 ? 0.5f : 0.0f;
    }
    int held = 0;
    std::vector<vantor::MidiEvent> received;
};

TEST(GraphPlayback, OfflineEndOfFileStopsTheRecordingOnSilence) {
    vantor::Instance instance;
    instance.init();
    auto graph = std::make_unique<vantor::GraphManager>();
    graph->init(&instance, instance.getDSPInfo(), vantor::makeMidiFilePlayer(), vantor::makeRecorder());
    auto* instrument = new HeldNoteInstrument;
    ASSERT_TRUE(graph->addInstrument(0, instrument));
    vantor::DSPInfo* info = instance.getDSPInfo();
    info->setOffline(true);
    graph->setDSPInfo(info); // as an offline render start hands its description to every module

    // One note held over 2 beats of a 4-beat file: 1 s at 120 BPM.
    smf::TempFile song(smf::file(1, 96, {smf::Track().noteOn(0, 0, 60, 100).noteOff(192, 0, 60).end(192)}),
                       "graph.mid");
    vantor::MIDIFilePlayer* player = graph->getMidiFilePlayer();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->load(song.path()));

    const std::string wav = song.path() + ".wav";
    vantor::StereoFileOutputModule* recorder = graph->getRecorder();
    ASSERT_NE(recorder, nullptr);
    ASSERT_TRUE(recorder->setRecordingFile(wav, 0, 32));
    ASSERT_TRUE(recorder->startRecording());
    player->startPlayback();

    const uint32_t frames = info->blockSize;
    std::vector<float> left(frames), right(frames);
    float* outputs[2] = {left.data(), right.data()};
    int blocks = 0, endBlock = -1;
    const int limit = static_cast<int>(10 * info->sampleRate / frames);
    for (; blocks < limit && recorder->isRecording(); ++blocks) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        graph->process(outputs, frames);
        if (endBlock < 0 && player->getPosition() == 1.0) {
            endBlock = blocks;
            EXPECT_TRUE(recorder->getStopOnSilence());
        }
    }
    EXPECT_FALSE(recorder->isRecording());
    ASSERT_GE(endBlock, 0);
    // The file's 4 beats last 2 s; the recorder stops after a further second of silence.
    const double secondsToEnd = endBlock * info->blockDuration;
    EXPECT_NEAR(secondsToEnd, 2.0, 0.1);
    EXPECT_NEAR((blocks - endBlock) * info->blockDuration, 1.0, 0.1);
    ASSERT_FALSE(instrument->received.empty());
    EXPECT_EQ(instrument->received.front().status, 0x90);
    EXPECT_EQ(instrument->received.front().data1, 60);
    graph.reset();
    EXPECT_GT(std::filesystem::file_size(wav), 44u);
    std::error_code ignored;
    std::filesystem::remove(wav, ignored);
}

} // namespace
