// The module interface shared by everything that produces, transforms or consumes audio or MIDI.
//
// Threads: init, setDSPInfo, start, stop, the UI and state operations run on the opcode (GUI)
// thread, with the graph's lock held or audio stopped; processAudio, processBlock and
// setTimeInfo run on the audio or offline thread while that thread holds the graph's lock, so
// they never run at the same time as a change of the graph. The block operations never wait,
// never allocate in steady state and never log per block.
#pragma once

#include "graph/MidiEvent.h"

#include <cstdint>

namespace vantor {

class Instance;
class DSPInfo;
class GUIIdleListener;

class Contextual {
public:
    virtual ~Contextual() = default;
    virtual Instance* getContext() { return context_; }
    virtual void setContext(Instance* context) { context_ = context; }

protected:
    Instance* context_ = nullptr;
};

class Module : public Contextual {
public:
    Module(int inputs = 0, int outputs = 0) : inputs_(inputs), outputs_(outputs) {}
    ~Module() override = default;

    // Stores context and stream description, calls initialize, returns true.
    virtual bool init(Instance* context, DSPInfo* info) {
        context_ = context;
        info_ = info;
        initialize(context, info);
        return true;
    }
    virtual void initialize(Instance*, DSPInfo*) {}
    virtual void setDSPInfo(DSPInfo* info) { info_ = info; }
    virtual void start() {}
    virtual void stop() {}
    virtual bool showUI(void* /*parent*/) { return false; }
    virtual bool closeUI() { return false; }
    virtual bool query() { return false; }
    virtual bool saveChunk(void** /*data*/, int32_t* /*size*/) { return false; }
    virtual bool saveChunkEnd() { return false; }
    virtual bool loadChunk(const void* /*data*/, int32_t /*size*/) { return false; }
    virtual void setTimeInfo(double /*transport*/, double /*samplePosition*/) {}
    // inputs/outputs: channel pointer arrays. accumulate: add into outputs instead of overwriting.
    virtual void processAudio(float** /*inputs*/, float** /*outputs*/, uint32_t /*frames*/,
                              bool /*accumulate*/) {}
    // events sorted by frame offset; outputs is a cleared stereo buffer; flag is always false.
    virtual void processBlock(MidiEventArray& /*events*/, float** /*inputs*/, float** /*outputs*/,
                              uint32_t /*frames*/, bool /*flag*/) {}

    DSPInfo* dspInfo() const { return info_; }
    int numInputs() const { return inputs_; }
    int numOutputs() const { return outputs_; }

protected:
    DSPInfo* info_ = nullptr;
    int inputs_;
    int outputs_;
};

// What modules see of the processing context.
class Context {
public:
    virtual ~Context() = default;
    virtual void addGUIIdleListener(GUIIdleListener* listener) = 0;
    virtual void addNonGUIIdleListener(GUIIdleListener* listener) = 0;
    virtual bool removeGUIIdleListener(GUIIdleListener* listener) = 0;
    virtual bool removeNonGUIIdleListener(GUIIdleListener* listener) = 0;
    virtual DSPInfo* getDSPInfo() = 0;
};

} // namespace vantor
