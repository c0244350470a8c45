// MIDIDevice: the graph module that stands for one port of the MIDI port table.
//
// It owns a MIDIDriver for its port (created by init, destroyed with the device). Once per block
// the graph asks it, on the audio thread, for the messages that arrived since the previous block
// and it places them in the block: with reduceJitter (blocks of 12 ms or more) by their arrival
// times over the window between the previous call and this one, otherwise packed one frame apart
// from the start of the block. While the stream description is offline, live input is discarded.
//
// The device manager learns through hooks (setDeviceManagerHooks) when a device marks its port
// acquired and when a device goes away, so this folder needs nothing from the device code.
#pragma once

#include "graph/MidiBlockSource.h"
#include "graph/Module.h"
#include "midi/MIDIDriver.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vantor {

class MIDIDevice : public Module, public MidiBlockSource {
public:
    static constexpr int32_t kMinEventsPerBlock = 64;

    // What the device manager wants to hear. Either pointer may be null.
    struct DeviceManagerHooks {
        void (*acquired)(int32_t portId) = nullptr;                    // markAcquired
        void (*released)(Instance* context, int32_t portId) = nullptr; // destructor
    };
    static void setDeviceManagerHooks(const DeviceManagerHooks& hooks);

    // directionCode: the device manager's kind for the port (0 input, 1 output).
    MIDIDevice(std::string factoryName, int32_t portId, int32_t ins, int32_t outs, int32_t directionCode,
               std::string displayName);
    ~MIDIDevice() override;
    MIDIDevice(const MIDIDevice&) = delete;
    MIDIDevice& operator=(const MIDIDevice&) = delete;

    // Opens the port (with the process priority-class guard); false when it cannot be opened.
    bool init(Instance* context, DSPInfo* info) override;
    // Stores the description and recomputes the block parameters.
    void setDSPInfo(DSPInfo* info) override;
    void start() override;
    void stop() override;
    void markAcquired();

    int32_t getPortId() const { return portId_; }
    int32_t getDirectionCode() const { return directionCode_; }
    int32_t getIns() const { return ins_; }
    int32_t getOuts() const { return outs_; }
    const std::string& getFactoryName() const { return factoryName_; }
    const std::string& getDisplayName() const { return displayName_; }

    // MidiBlockSource: the graph keeps devices of direction code 0 as inputs.
    bool isMidiInput() const override { return directionCode_ == 0; }
    // Audio thread: appends this block's events. Allocates only if the caller's array must grow.
    void getBlockEvents(MidiEventArray& events) override;
    size_t maxBlockEvents() const override;

    int32_t getMaxEventsPerBlock() const { return maxEventsPerBlock_.load(std::memory_order_relaxed); }
    bool getReduceJitter() const { return reduceJitter_.load(std::memory_order_relaxed); }
    // The driver while the port is open (null before init and after a failed one).
    MIDIDriver* getDriver() { return driver_.get(); }

    // The multimedia-millisecond clock used for placement and by the driver (tests inject one;
    // null restores the system clock). Set it before start.
    void setClock(MIDIDriver::MillisClock clock);

private:
    void computeBlockParameters();

    int32_t portId_;
    int32_t ins_;
    int32_t outs_;
    std::string factoryName_;
    std::string displayName_;
    int32_t directionCode_;
    std::atomic<int32_t> maxEventsPerBlock_{kMinEventsPerBlock};
    std::unique_ptr<MIDIDriver> driver_;
    std::atomic<bool> reduceJitter_{true};
    std::atomic<uint64_t> previousBlockEnd_{0}; // ns on the multimedia-millisecond scale
    // Block size and offline flag as the audio thread reads them.
    std::atomic<DSPInfo*> blockInfo_{nullptr};
    MIDIDriver::MillisClock clock_;
};

} // namespace vantor
