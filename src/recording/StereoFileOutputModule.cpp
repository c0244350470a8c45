#include "recording/StereoFileOutputModule.h"

#include <atomic>

namespace vantor {

struct StereoFileOutputModule::State {
    std::atomic<bool> recording{false};
    std::atomic<bool> stopOnSilence{false};
};

StereoFileOutputModule::StereoFileOutputModule() : Module(2, 0), state_(new State) {}

StereoFileOutputModule::~StereoFileOutputModule() { delete state_; }

void StereoFileOutputModule::initialize(Instance*, DSPInfo*) {}

void StereoFileOutputModule::setDSPInfo(DSPInfo* info) { info_ = info; }

void StereoFileOutputModule::processAudio(float**, float**, uint32_t, bool) {}

bool StereoFileOutputModule::setRecordingFile(const std::string&, int, int) { return false; }

bool StereoFileOutputModule::startRecording() { return false; }

bool StereoFileOutputModule::stopRecording() { return false; }

bool StereoFileOutputModule::isRecording() { return state_->recording.load(std::memory_order_relaxed); }

void StereoFileOutputModule::setStopOnSilence(bool on) { state_->stopOnSilence.store(on, std::memory_order_relaxed); }

bool StereoFileOutputModule::getStopOnSilence() { return state_->stopOnSilence.load(std::memory_order_relaxed); }

} // namespace vantor
