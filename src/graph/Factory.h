// Device factories and the process-wide registry that knows which factory made which generated
// device name.
//
// The registry is independent of the concrete factories: at construction it asks its hooks for the
// audio device factory (which it then owns) and the MIDI device factory (a singleton of its own,
// not owned). The device code fills the hooks with Factory::setHooks before the registry is first
// created; a hook left empty just means that kind of device is not available.
#pragma once

#include "util/Singleton.h"

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

class Instance;
class Module;

// Thrown by factories when a module cannot be made.
class InstantiationException : public std::exception {
public:
    explicit InstantiationException(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class BaseFactory {
public:
    using NamePair = std::pair<std::string, std::string>; // (generated name, display name)

    virtual ~BaseFactory() = default;
    virtual std::vector<NamePair> list() = 0;
    virtual Module* create(Instance* context, const std::string& generatedName) = 0;
    virtual Module* createByDisplayName(Instance* context, const std::string& displayName) = 0;
    virtual void clear() = 0;
};

class Factory : public Singleton<Factory> {
public:
    struct Hooks {
        std::function<std::unique_ptr<BaseFactory>()> makeAudioDeviceFactory;
        std::function<BaseFactory*()> midiDeviceFactory;
    };
    // Takes effect for registries created afterwards.
    static void setHooks(Hooks hooks);

    struct Entry {
        std::string name;
        std::string displayName;
        BaseFactory* factory = nullptr;
    };

    Factory();
    ~Factory() override;
    Factory(const Factory&) = delete;
    Factory& operator=(const Factory&) = delete;

    // Enters every name the factory lists, overwriting older entries of the same name.
    void registerFactory(BaseFactory* factory);
    // Empties both maps and makes both device factories forget their names.
    void reset();

    BaseFactory* findFactory(const std::string& generatedName) const;
    // Empty when the name is unknown.
    std::string displayName(const std::string& generatedName) const;
    // Made by the owning factory; null for an unknown name. Factories may throw
    // InstantiationException.
    Module* create(Instance* context, const std::string& generatedName);
    std::vector<BaseFactory::NamePair> names() const;

    BaseFactory* audioDeviceFactory() { return audioFactory_.get(); }
    BaseFactory* midiDeviceFactory() { return midiFactory_; }

private:
    std::map<std::string, Entry> owners_;
    std::map<std::string, BaseFactory::NamePair> names_;
    std::unique_ptr<BaseFactory> audioFactory_;
    BaseFactory* midiFactory_ = nullptr;
};

} // namespace vantor
