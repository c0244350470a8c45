// MIDIDriver: one opened port of the MIDI port table.
//
// An input port's short messages arrive on the back end's callback thread (the producer) and are
// stored, with their arrival time in nanoseconds on the multimedia-millisecond scale, in a
// lock-free single-producer single-consumer ring of 4096 slots; the audio thread (the consumer)
// takes them with readEvent. System-exclusive input is not supported: no long buffers are given
// to the port and long-data notifications are ignored. Output ports can be opened (so that device
// lists are complete) but nothing is ever sent to them.
//
// Ring rules: the indices are running counts of messages written and read (a slot is the count
// modulo the ring size), so they only ever grow. The producer writes the slot, then publishes the
// write count (release); the consumer reads the write count (acquire), copies the slot, then
// publishes the read count (release), which the producer reads (acquire) to see whether the ring
// is full. A full ring (4095 unread) drops the newest message and counts it; the count is logged
// from stop() (a non-real-time place), never from the callback. flush() moves the consumer's
// count only.
//
// Stale input: start() and stop() each cut the queue, so that nothing received before them is
// ever read. Audio starts and stops the inputs with itself, so a start never hands over what
// waited while audio was not running (a refused start, a port that ran on its own after a
// re-plug). The cut is a write count the consumer skips to at its next read: start and stop may
// run while the audio thread reads, and only the consumer moves the read count.
#pragma once

#include "graph/Module.h"
#include "midi/MidiApi.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace vantor {

// One message as readEvent hands it out.
struct MidiInputEvent {
    uint8_t status = 0; // as received
    uint8_t data1 = 0;  // 7 bits
    uint8_t data2 = 0;  // 7 bits
    uint64_t time = 0;  // arrival, ns on the multimedia-millisecond scale
};

class MIDIDriver : public Contextual {
public:
    static constexpr uint32_t kQueueSize = 4096; // slots; at most kQueueSize - 1 unread
    // The multimedia-millisecond clock the time base is read from (injectable for tests).
    using MillisClock = uint32_t (*)();

    // Opens the port. Throws std::runtime_error("Cannot open MIDI input" / "Cannot open MIDI
    // output") when the back end refuses. A port id absent from the table gives an inert driver.
    explicit MIDIDriver(int32_t portId, MillisClock clock = nullptr);
    ~MIDIDriver() override;
    MIDIDriver(const MIDIDriver&) = delete;
    MIDIDriver& operator=(const MIDIDriver&) = delete;

    // Adopts the context; an input starts receiving and takes its time base. Sets running.
    // Whatever was received before is never read.
    void start(Instance* context);
    // If running: clears running, resets (and for inputs stops) the port, and logs any drops.
    // Whatever was received and not yet read is never read.
    void stop();

    // Consumer side (audio thread): the oldest entry; false when the queue is empty.
    bool readEvent(MidiInputEvent& event);
    // Consumer side: discards everything pending by moving the read index up to the write index.
    void flush();

    int32_t portId() const { return portId_; }
    bool isOpen() const { return inHandle_ != nullptr || outHandle_ != nullptr; }
    bool isInput() const { return isInput_; }
    bool isRunning() const { return running_.load(std::memory_order_acquire); }
    uint32_t timeBase() const { return timeBase_.load(std::memory_order_relaxed); }
    // Messages dropped because the ring was full, since the driver was opened.
    uint64_t droppedCount() const { return dropped_.load(std::memory_order_relaxed); }
    // Logs and forgets the drops not yet reported (not for the real-time threads). Returns them.
    uint64_t reportDrops();
    // Entries waiting (consumer's view).
    uint32_t pending() const;

    void setClock(MillisClock clock);

private:
    struct Entry {
        uint32_t message = 0;
        uint64_t time = 0;
    };

    static void callback(void* user, MidiInMessage message, uintptr_t param1, uintptr_t param2);
    void push(uint32_t message, uint32_t millisSinceStart);
    // Any thread: the consumer's next read skips everything written so far.
    void cutQueue();
    // Consumer side: the read count after applying a pending cut.
    uint64_t readPosition();
    uint32_t now() const;

    int32_t portId_;
    MidiApi* api_; // the back end the port was opened on
    bool isInput_ = false;
    void* inHandle_ = nullptr;
    void* outHandle_ = nullptr;
    MillisClock clock_;
    std::atomic<uint32_t> timeBase_{0};
    std::atomic<bool> running_{false};
    std::unique_ptr<Entry[]> queue_;
    alignas(64) std::atomic<uint64_t> writeIndex_{0}; // messages written since open
    alignas(64) std::atomic<uint64_t> readIndex_{0};  // messages read or skipped since open
    std::atomic<uint64_t> cut_{0};                    // read no message below this write count
    std::atomic<uint64_t> dropped_{0};
    uint64_t reported_ = 0; // drops already logged (opcode thread)
};

} // namespace vantor
