#include "graph/Instance.h"

#include "log/Log.h"

#include <cstdint>

namespace vantor {

namespace {
constexpr double kGuiIdleRate = 60.0;

struct Hex {
    const void* p;
};
std::ostream& operator<<(std::ostream& out, Hex h) {
    auto flags = out.flags();
    out << std::hex << reinterpret_cast<uintptr_t>(h.p);
    out.flags(flags);
    return out;
}
} // namespace

Instance::Instance() = default;

Instance::~Instance() {
    logInfo("Instance::dtor() 0x", Hex{this}, " in");
    info_.reset();
    guiIdle_.reset();
    nonGuiIdle_.reset();
    logInfo("Instance::dtor() 0x", Hex{this}, " out");
}

void Instance::init() {
    logInfo("Instance::init() 0x", Hex{this}, " in");
    info_ = std::make_unique<DSPInfo>(44100.0, 512);
    guiIdle_ = std::make_unique<GUIIdleGenerator>(kGuiIdleRate);
    nonGuiIdle_ = std::make_unique<NonGUIIdleGenerator>();
    logInfo("Instance::init() 0x", Hex{this}, " out");
}

void Instance::resetStaticDSP(double rate, uint32_t blockSize) {
    logInfo("Instance::resetStaticDSP() 0x", Hex{this}, " in");
    logInfo("with ", rate, ", ", blockSize);
    info_.reset();
    info_ = std::make_unique<DSPInfo>(rate, blockSize);
    logInfo("Instance::resetStaticDSP() 0x", Hex{this}, " out");
}

void Instance::setOffline(bool offline) {
    if (info_) info_->setOffline(offline);
}

void Instance::guiIdleTick() {
    if (guiIdle_) guiIdle_->tick();
}

void Instance::nonGuiIdleTick() {
    if (nonGuiIdle_) nonGuiIdle_->tick();
}

void Instance::addGUIIdleListener(GUIIdleListener* listener) {
    if (guiIdle_) guiIdle_->add(listener);
}

void Instance::addNonGUIIdleListener(GUIIdleListener* listener) {
    if (nonGuiIdle_) nonGuiIdle_->add(listener);
}

bool Instance::removeGUIIdleListener(GUIIdleListener* listener) {
    return guiIdle_ ? guiIdle_->remove(listener) : false;
}

bool Instance::removeNonGUIIdleListener(GUIIdleListener* listener) {
    return nonGuiIdle_ ? nonGuiIdle_->remove(listener) : false;
}

DSPInfo* Instance::getDSPInfo() {
    return info_.get();
}

void Instance::onIdle(double) {}

} // namespace vantor
