// The processing context: owns the current stream description and the two idle generators.
// Exactly one exists while the engine is initialised.
#pragma once

#include "graph/DSPInfo.h"
#include "graph/Module.h"
#include "threads/IdleGenerator.h"

#include <cstdint>
#include <memory>

namespace vantor {

class Instance : public Context, public GUIIdleListener {
public:
    Instance();
    ~Instance() override;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Creates DSPInfo(44100, 512) and the idle generators (GUI at 60 per second).
    void init();
    // Replaces the description; an unsupported rate becomes 44100. Never while audio runs: the
    // caller then hands the new description to the graph.
    void resetStaticDSP(double rate, uint32_t blockSize);
    // Sets the offline flag of the current description; the caller re-distributes it.
    void setOffline(bool offline);
    void guiIdleTick();
    void nonGuiIdleTick();

    void addGUIIdleListener(GUIIdleListener* listener) override;
    void addNonGUIIdleListener(GUIIdleListener* listener) override;
    bool removeGUIIdleListener(GUIIdleListener* listener) override;
    bool removeNonGUIIdleListener(GUIIdleListener* listener) override;
    DSPInfo* getDSPInfo() override;

    // The context's own idle callback does nothing.
    void onIdle(double elapsedMs) override;

    GUIIdleGenerator* guiIdleGenerator() { return guiIdle_.get(); }
    NonGUIIdleGenerator* nonGuiIdleGenerator() { return nonGuiIdle_.get(); }

private:
    std::unique_ptr<DSPInfo> info_;
    std::unique_ptr<GUIIdleGenerator> guiIdle_;
    std::unique_ptr<NonGUIIdleGenerator> nonGuiIdle_;
};

} // namespace vantor
