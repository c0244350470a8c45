#include "graph/Factory.h"

#include "log/Log.h"

namespace vantor {

namespace {
Factory::Hooks& hooks() {
    static Factory::Hooks instance;
    return instance;
}
} // namespace

void Factory::setHooks(Hooks h) {
    hooks() = std::move(h);
}

Factory::Factory() {
    logInfo("Factory init AudioDeviceFactory");
    if (hooks().makeAudioDeviceFactory) {
        audioFactory_ = hooks().makeAudioDeviceFactory();
        if (audioFactory_) registerFactory(audioFactory_.get());
    }
    logInfo("Factory init MIDIDeviceFactory");
    if (hooks().midiDeviceFactory) {
        midiFactory_ = hooks().midiDeviceFactory();
        if (midiFactory_) registerFactory(midiFactory_);
    }
}

Factory::~Factory() = default;

void Factory::registerFactory(BaseFactory* factory) {
    if (!factory) return;
    for (const auto& [name, display] : factory->list()) {
        names_[name] = BaseFactory::NamePair{name, display};
        owners_[name] = Entry{name, display, factory};
    }
}

void Factory::reset() {
    owners_.clear();
    names_.clear();
    if (midiFactory_) midiFactory_->clear();
    if (audioFactory_) audioFactory_->clear();
}

BaseFactory* Factory::findFactory(const std::string& generatedName) const {
    auto it = owners_.find(generatedName);
    return it == owners_.end() ? nullptr : it->second.factory;
}

std::string Factory::displayName(const std::string& generatedName) const {
    auto it = names_.find(generatedName);
    return it == names_.end() ? std::string() : it->second.second;
}

Module* Factory::create(Instance* context, const std::string& generatedName) {
    BaseFactory* factory = findFactory(generatedName);
    return factory ? factory->create(context, generatedName) : nullptr;
}

std::vector<BaseFactory::NamePair> Factory::names() const {
    std::vector<BaseFactory::NamePair> out;
    out.reserve(names_.size());
    for (const auto& [name, pair] : names_)
        out.push_back(pair);
    return out;
}

} // namespace vantor
