#include "midi/MIDIDriver.h"
#include "log/Log.h"
#include "midi/MIDIPortTable.h"
#include "threads/Clock.h"

#include <algorithm>
#include <stdexcept>

namespace vantor {

MIDIDriver::MIDIDriver(int32_t portId, MillisClock clock)
    : portId_(portId), api_(&midiApi()), clock_(clock ? clock : &multimediaMillis) {
    // The table is only looked at: opening never triggers an enumeration.
    const std::optional<MIDIPortInfo> info = peekMIDIPort(portId);
    if (!info) return; // unknown port: an inert driver

    if (info->ins == 1) {
        isInput_ = true;
        // The ring exists before the port can deliver anything.
        queue_ = std::make_unique<Entry[]>(kQueueSize);
        writeIndex_.store(0, std::memory_order_relaxed);
        readIndex_.store(0, std::memory_order_relaxed);
        void* handle = nullptr;
        const uint32_t result = api_->openInput(info->deviceIndex, &MIDIDriver::callback, this, &handle);
        if (result != midiresult::kOk) {
            logError("MIDIDriver: Cannot open MIDI input interface ", portId, " with result:", result);
            throw std::runtime_error("Cannot open MIDI input");
        }
        inHandle_ = handle;
    } else {
        isInput_ = false;
        void* handle = nullptr;
        const uint32_t result = api_->openOutput(info->deviceIndex, &handle);
        if (result != midiresult::kOk) {
            logError("MIDIDriver: Cannot open MIDI output interface ", portId, " with result:", result);
            throw std::runtime_error("Cannot open MIDI output");
        }
        outHandle_ = handle;
    }
}

MIDIDriver::~MIDIDriver() {
    stop();
    if (inHandle_) api_->closeInput(inHandle_);
    if (outHandle_) api_->closeOutput(outHandle_);
    inHandle_ = nullptr;
    outHandle_ = nullptr;
    // queue_ goes after the port is closed: no callback can reach it any more.
}

void MIDIDriver::setClock(MillisClock clock) {
    clock_ = clock ? clock : &multimediaMillis;
}

uint32_t MIDIDriver::now() const {
    return clock_();
}

void MIDIDriver::start(Instance* context) {
    setContext(context);
    if (isInput_ && inHandle_) {
        // The port's message times count from its start; the midpoint of the two clock readings
        // around the start is the best guess of that moment on the multimedia clock.
        const uint32_t t0 = now();
        const uint32_t result = api_->startInput(inHandle_);
        const uint32_t t1 = now();
        const uint32_t base = t0 + (t1 - t0) / 2;
        timeBase_.store(base, std::memory_order_relaxed);
        logInfo("MIDI In start ", t0, ":", t1, " m:", base);
        if (result != midiresult::kOk) logError("ERROR MidiInStart:", result);
        // A port that already ran (started on its own while audio was stopped) keeps nothing of
        // what it received until now.
        cutQueue();
    }
    // Release: the callback that sees running also sees the time base.
    running_.store(true, std::memory_order_release);
}

void MIDIDriver::stop() {
    if (running_.exchange(false, std::memory_order_acq_rel)) {
        if (isInput_) {
            if (inHandle_) {
                api_->resetInput(inHandle_);
                api_->stopInput(inHandle_);
            }
            cutQueue();
        } else if (outHandle_) {
            api_->resetOutput(outHandle_);
        }
    }
    reportDrops();
}

uint64_t MIDIDriver::reportDrops() {
    const uint64_t total = dropped_.load(std::memory_order_relaxed);
    const uint64_t fresh = total - reported_;
    if (fresh > 0) {
        logWarning("MIDIDriver: port ", portId_, " receive queue full, ", fresh, " message(s) dropped");
        reported_ = total;
    }
    return fresh;
}

void MIDIDriver::callback(void* user, MidiInMessage message, uintptr_t param1, uintptr_t param2) {
    MIDIDriver* driver = static_cast<MIDIDriver*>(user);
    switch (message) {
    case MidiInMessage::Open:
        logInfo("MIM_OPEN");
        break;
    case MidiInMessage::Close:
        logInfo("MIM_CLOSE");
        break;
    case MidiInMessage::Data:
        if (driver) driver->push(static_cast<uint32_t>(param1), static_cast<uint32_t>(param2));
        break;
    case MidiInMessage::LongData:
        break; // no long buffers are ever given: nothing to take back
    case MidiInMessage::Error:
        logError("MIM_ERROR");
        break;
    case MidiInMessage::LongError:
        logError("MIM_LONGERROR");
        break;
    case MidiInMessage::MoreData:
        if (driver) driver->push(static_cast<uint32_t>(param1), static_cast<uint32_t>(param2));
        logError("MIM_MOREDATA PLEASE contact us and give us your MIDI device details!");
        break;
    case MidiInMessage::Other:
        break;
    }
}

void MIDIDriver::cutQueue() {
    if (!queue_) return;
    cut_.store(writeIndex_.load(std::memory_order_acquire), std::memory_order_release);
}

uint64_t MIDIDriver::readPosition() {
    uint64_t read = readIndex_.load(std::memory_order_relaxed);
    const uint64_t cut = cut_.load(std::memory_order_acquire);
    if (cut > read) {
        // The counts only grow and the cut was a write count, so it never lies past the writer.
        read = cut;
        readIndex_.store(read, std::memory_order_release);
    }
    return read;
}

void MIDIDriver::push(uint32_t message, uint32_t millisSinceStart) {
    if (!queue_ || !running_.load(std::memory_order_acquire)) return;
    const uint64_t write = writeIndex_.load(std::memory_order_relaxed);
    // Slots below a cut the consumer has not skipped yet stay taken: only the consumer's own
    // count says which slot it may be copying.
    if (write - readIndex_.load(std::memory_order_acquire) >= kQueueSize - 1) {
        // Full: keep what is waiting, lose the newest.
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // The sum stays on the 32-bit multimedia clock, as the reader's "now" does, so placement
    // keeps working across the clock's wrap.
    const uint32_t arrival = millisSinceStart + timeBase_.load(std::memory_order_relaxed);
    Entry& slot = queue_[write % kQueueSize];
    slot.message = message;
    slot.time = static_cast<uint64_t>(arrival) * 1000000ULL;
    writeIndex_.store(write + 1, std::memory_order_release);
}

bool MIDIDriver::readEvent(MidiInputEvent& event) {
    if (!queue_) return false;
    const uint64_t read = readPosition();
    if (read == writeIndex_.load(std::memory_order_acquire)) return false;
    const Entry entry = queue_[read % kQueueSize];
    readIndex_.store(read + 1, std::memory_order_release);
    event.status = static_cast<uint8_t>(entry.message & 0xFF);
    event.data1 = static_cast<uint8_t>((entry.message >> 8) & 0x7F);
    event.data2 = static_cast<uint8_t>((entry.message >> 16) & 0x7F);
    event.time = entry.time;
    return true;
}

void MIDIDriver::flush() {
    if (!queue_) return;
    readIndex_.store(writeIndex_.load(std::memory_order_acquire), std::memory_order_release);
}

uint32_t MIDIDriver::pending() const {
    const uint64_t write = writeIndex_.load(std::memory_order_acquire);
    const uint64_t read =
        std::max(readIndex_.load(std::memory_order_acquire), cut_.load(std::memory_order_acquire));
    return static_cast<uint32_t>(write - std::min(read, write));
}

} // namespace vantor
