#include "midi/MIDIDevice.h"
#include "graph/DSPInfo.h"
#include "log/Log.h"
#include "midi/ProcessPriority.h"
#include "threads/Clock.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace vantor {

namespace {

std::atomic<void (*)(int32_t)> acquiredHook{nullptr};
std::atomic<void (*)(Instance*, int32_t)> releasedHook{nullptr};

constexpr uint64_t kNanosPerMilli = 1000000ULL;

} // namespace

void MIDIDevice::setDeviceManagerHooks(const DeviceManagerHooks& hooks) {
    acquiredHook.store(hooks.acquired, std::memory_order_release);
    releasedHook.store(hooks.released, std::memory_order_release);
}

MIDIDevice::MIDIDevice(std::string factoryName, int32_t portId, int32_t ins, int32_t outs,
                       int32_t directionCode, std::string displayName)
    : portId_(portId), ins_(ins), outs_(outs), factoryName_(std::move(factoryName)),
      displayName_(std::move(displayName)), directionCode_(directionCode), clock_(&multimediaMillis) {
    logInfo("MIDIDevice: ", " id:", portId_, " ins:", ins_, " outs:", outs_, " name:", displayName_,
            " allocated!");
}

MIDIDevice::~MIDIDevice() {
    // The driver stops and closes the port before the device manager hears it is free.
    driver_.reset();
    if (auto released = releasedHook.load(std::memory_order_acquire)) released(context_, portId_);
}

void MIDIDevice::setClock(MIDIDriver::MillisClock clock) {
    clock_ = clock ? clock : &multimediaMillis;
    if (driver_) driver_->setClock(clock_);
}

bool MIDIDevice::init(Instance* context, DSPInfo* info) {
    context_ = context;
    info_ = info;
    blockInfo_.store(info, std::memory_order_release);
    // A second init reopens the port rather than holding it twice.
    driver_.reset();

    uint32_t classBefore = 0;
    const bool haveBefore = readProcessPriorityClass(classBefore);

    std::unique_ptr<MIDIDriver> driver;
    std::string failure;
    bool failed = false;
    bool unknownFailure = false;
    try {
        driver = std::make_unique<MIDIDriver>(portId_, clock_);
    } catch (const std::exception& e) {
        failed = true;
        failure = e.what();
    } catch (...) {
        unknownFailure = true;
    }

    // Some MIDI drivers raise the whole process's priority class while a port is open.
    uint32_t classAfter = 0;
    if (haveBefore && readProcessPriorityClass(classAfter) && classAfter != classBefore) {
        logError("Stupid MIDI driver has changed the WHOLE app priority!! Trying to fix this!!!");
        if (writeProcessPriorityClass(classBefore))
            logInfo("Stupid MIDI driver FIXED!");
        else
            logError("Can't change prio back to what it was!!");
    }

    if (failed) {
        logError("MIDIDevice::init()", failure);
        return false;
    }
    if (unknownFailure) {
        logError("ERROR: init Of MIDIDevice ", displayName_);
        return false;
    }
    driver_ = std::move(driver);
    computeBlockParameters();
    logInfo("MIDI Dev:", portId_, " init reduceJitter:", getReduceJitter());
    return true;
}

void MIDIDevice::setDSPInfo(DSPInfo* info) {
    Module::setDSPInfo(info);
    blockInfo_.store(info, std::memory_order_release);
    computeBlockParameters();
    logInfo("MIDI Dev:", portId_, " setDSPInfo reduceJitter:", getReduceJitter());
}

void MIDIDevice::computeBlockParameters() {
    const DSPInfo* info = info_;
    if (!info) return;
    int32_t maxEvents = kMinEventsPerBlock;
    if (info->blockSize > 0 && info->sampleRate > 0.0) {
        // About one event per millisecond of block, never fewer than the minimum; the ring cannot
        // hold more than its size anyway.
        const double perBlock = 1042.0 / (info->sampleRate / static_cast<double>(info->blockSize));
        if (perBlock > kMinEventsPerBlock)
            maxEvents = static_cast<int32_t>(std::min(perBlock, static_cast<double>(MIDIDriver::kQueueSize)));
    }
    maxEventsPerBlock_.store(maxEvents, std::memory_order_relaxed);
    reduceJitter_.store(info->blockDuration >= 0.012, std::memory_order_relaxed);
}

size_t MIDIDevice::maxBlockEvents() const {
    return std::max<size_t>(1024, static_cast<size_t>(getMaxEventsPerBlock()));
}

void MIDIDevice::start() {
    logInfo("MIDIDevice::start()");
    try {
        if (driver_) driver_->start(context_);
    } catch (...) {
        logError("MidiDevice: ", factoryName_, " unknown exception in start");
    }
    previousBlockEnd_.store(0, std::memory_order_relaxed);
}

void MIDIDevice::stop() {
    logInfo("MIDIDevice::stop()");
    try {
        if (driver_) driver_->stop();
    } catch (...) {
        logError("MidiDevice: ", factoryName_, " unknown exception in stop");
    }
}

void MIDIDevice::markAcquired() {
    if (auto acquired = acquiredHook.load(std::memory_order_acquire)) acquired(portId_);
    logInfo("MIDIDevice: ", factoryName_, " is acquired");
}

void MIDIDevice::getBlockEvents(MidiEventArray& events) {
    if (ins_ != 1 || !driver_) return;
    const DSPInfo* info = blockInfo_.load(std::memory_order_acquire);
    if (!info) return;

    const uint64_t previousEnd = previousBlockEnd_.load(std::memory_order_relaxed);
    const uint64_t now = static_cast<uint64_t>(clock_()) * kNanosPerMilli;
    const uint64_t window = now - previousEnd;

    if (info->isOffline()) {
        // Live input is discarded while rendering offline, including what arrives during this
        // call: nothing is read.
        driver_->flush();
        previousBlockEnd_.store(static_cast<uint64_t>(clock_()) * kNanosPerMilli, std::memory_order_relaxed);
        return;
    }

    const uint32_t blockSize = info->blockSize;
    const int32_t lastFrame = blockSize > 0 ? static_cast<int32_t>(blockSize - 1) : 0;
    const int32_t maxEvents = maxEventsPerBlock_.load(std::memory_order_relaxed);
    const bool byTime = reduceJitter_.load(std::memory_order_relaxed);

    MidiInputEvent in;
    for (int32_t i = 0; i < maxEvents; ++i) {
        if (!driver_->readEvent(in)) break;
        MidiEvent event;
        event.status = in.status;
        event.data1 = in.data1;
        event.data2 = in.data2;
        event.reserved = 0;
        event.timeStamp = static_cast<uint32_t>(in.time);
        event.noteTag = 0.0f;
        if (byTime) {
            if (in.time < previousEnd || window == 0) {
                event.frameOffset = 0;
            } else {
                const double position = static_cast<double>(in.time - previousEnd) /
                                        static_cast<double>(window) * static_cast<double>(blockSize);
                event.frameOffset =
                    position >= static_cast<double>(blockSize) ? lastFrame : static_cast<int32_t>(position);
            }
        } else {
            event.frameOffset = static_cast<uint32_t>(i) < blockSize ? i : lastFrame;
        }
        events.push_back(event);
    }

    previousBlockEnd_.store(static_cast<uint64_t>(clock_()) * kNanosPerMilli, std::memory_order_relaxed);
}

} // namespace vantor
