#include "midi/VirtualMidi.h"
#include "threads/Clock.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace vantor {

struct VirtualMidiApi::Impl {
    struct Port {
        int key = 0;
        std::string name;
        bool input = false;
        bool queryFails = false;
        uint32_t openResult = midiresult::kOk;
        uint32_t startResult = midiresult::kOk;
        bool open = false;
        bool started = false;
        uint32_t startMillis = 0;
        MidiInCallback callback = nullptr;
        void* user = nullptr;
    };
    // What openInput/openOutput hand out; keeps its port alive after removal.
    struct Handle {
        std::shared_ptr<Port> port;
    };

    // Recursive: a callback may ask the back end about its own port.
    mutable std::recursive_mutex lock;
    std::vector<std::shared_ptr<Port>> inputs;
    std::vector<std::shared_ptr<Port>> outputs;
    int nextKey = 1;
    std::function<void(int)> startHook;

    std::shared_ptr<Port> find(int key) const {
        for (const auto* list : {&inputs, &outputs})
            for (const auto& port : *list)
                if (port->key == key) return port;
        return nullptr;
    }

    int add(std::vector<std::shared_ptr<Port>>& list, const std::string& name, bool input) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        auto port = std::make_shared<Port>();
        port->key = nextKey++;
        port->name = name;
        port->input = input;
        list.push_back(port);
        return port->key;
    }

    // Called with the lock held, so that a close cannot overtake a delivery.
    static void deliver(Port& port, MidiInMessage message, uintptr_t param1, uintptr_t param2) {
        if (port.callback) port.callback(port.user, message, param1, param2);
    }

    bool send(int key, MidiInMessage message, uintptr_t param1, uintptr_t param2) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        std::shared_ptr<Port> port = find(key);
        if (!port || !port->input || !port->open) return false;
        deliver(*port, message, param1, param2);
        return true;
    }
};

VirtualMidiApi::VirtualMidiApi() : impl_(std::make_unique<Impl>()) {}
VirtualMidiApi::~VirtualMidiApi() = default;

int VirtualMidiApi::addInput(const std::string& name) {
    return impl_->add(impl_->inputs, name, true);
}

int VirtualMidiApi::addOutput(const std::string& name) {
    return impl_->add(impl_->outputs, name, false);
}

bool VirtualMidiApi::removePort(int key) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    for (auto* list : {&impl_->inputs, &impl_->outputs}) {
        auto it = std::find_if(list->begin(), list->end(), [key](const auto& p) { return p->key == key; });
        if (it != list->end()) {
            list->erase(it);
            return true;
        }
    }
    return false;
}

void VirtualMidiApi::removeAll() {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    impl_->inputs.clear();
    impl_->outputs.clear();
}

void VirtualMidiApi::setQueryFails(int key, bool fails) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (auto port = impl_->find(key)) port->queryFails = fails;
}

void VirtualMidiApi::setOpenResult(int key, uint32_t result) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (auto port = impl_->find(key)) port->openResult = result;
}

void VirtualMidiApi::setStartResult(int key, uint32_t result) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (auto port = impl_->find(key)) port->startResult = result;
}

int VirtualMidiApi::deviceIndexOf(int key) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    for (const auto* list : {&impl_->inputs, &impl_->outputs})
        for (size_t i = 0; i < list->size(); ++i)
            if ((*list)[i]->key == key) return static_cast<int>(i);
    return -1;
}

bool VirtualMidiApi::isOpen(int key) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    auto port = impl_->find(key);
    return port && port->open;
}

bool VirtualMidiApi::isStarted(int key) const {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    auto port = impl_->find(key);
    return port && port->open && port->started;
}

bool VirtualMidiApi::sendShort(int key, uint32_t message) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    auto port = impl_->find(key);
    if (!port) return false;
    const uint32_t since = port->started ? multimediaMillis() - port->startMillis : 0;
    return impl_->send(key, MidiInMessage::Data, message, since);
}

bool VirtualMidiApi::sendShortAt(int key, uint32_t message, uint32_t millisSinceStart) {
    return impl_->send(key, MidiInMessage::Data, message, millisSinceStart);
}

bool VirtualMidiApi::sendSysex(int key, const uint8_t* data, size_t size) {
    // No buffer was ever given to the input, so the data has nowhere to go: only the
    // notification arrives, without a buffer.
    (void)data;
    (void)size;
    return impl_->send(key, MidiInMessage::LongData, 0, 0);
}

bool VirtualMidiApi::sendRaw(int key, MidiInMessage message, uintptr_t param1, uintptr_t param2) {
    return impl_->send(key, message, param1, param2);
}

uint32_t VirtualMidiApi::inputCount() {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    return static_cast<uint32_t>(impl_->inputs.size());
}

uint32_t VirtualMidiApi::outputCount() {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    return static_cast<uint32_t>(impl_->outputs.size());
}

namespace {

template <class List> uint32_t nameOf(const List& list, uint32_t index, std::string& name) {
    if (index >= list.size()) return midiresult::kBadDeviceId;
    if (list[index]->queryFails) return midiresult::kNoDriver;
    name = list[index]->name;
    return midiresult::kOk;
}

} // namespace

uint32_t VirtualMidiApi::inputName(uint32_t deviceIndex, std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    return nameOf(impl_->inputs, deviceIndex, name);
}

uint32_t VirtualMidiApi::outputName(uint32_t deviceIndex, std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    return nameOf(impl_->outputs, deviceIndex, name);
}

uint32_t VirtualMidiApi::openInput(uint32_t deviceIndex, MidiInCallback callback, void* user, void** handle) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (!handle || deviceIndex >= impl_->inputs.size()) return midiresult::kBadDeviceId;
    auto port = impl_->inputs[deviceIndex];
    if (port->openResult != midiresult::kOk) return port->openResult;
    if (port->open) return midiresult::kAllocated;
    port->open = true;
    port->started = false;
    port->callback = callback;
    port->user = user;
    *handle = new Impl::Handle{port};
    Impl::deliver(*port, MidiInMessage::Open, 0, 0);
    return midiresult::kOk;
}

void VirtualMidiApi::setStartHook(std::function<void(int key)> hook) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    impl_->startHook = std::move(hook);
}

uint32_t VirtualMidiApi::startInput(void* handle) {
    std::function<void(int)> hook;
    int key = 0;
    uint32_t result = midiresult::kOk;
    {
        std::lock_guard<std::recursive_mutex> guard(impl_->lock);
        auto* h = static_cast<Impl::Handle*>(handle);
        if (!h || !h->port->open) return midiresult::kInvalidHandle;
        key = h->port->key;
        hook = impl_->startHook;
        result = h->port->startResult;
        if (result == midiresult::kOk) {
            h->port->started = true;
            h->port->startMillis = multimediaMillis();
        }
    }
    // Outside the lock: whatever the hook lets other threads do to the port can happen meanwhile.
    if (hook) hook(key);
    return result;
}

uint32_t VirtualMidiApi::stopInput(void* handle) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    auto* h = static_cast<Impl::Handle*>(handle);
    if (!h || !h->port->open) return midiresult::kInvalidHandle;
    h->port->started = false;
    return midiresult::kOk;
}

uint32_t VirtualMidiApi::resetInput(void* handle) {
    return stopInput(handle);
}

uint32_t VirtualMidiApi::closeInput(void* handle) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    auto* h = static_cast<Impl::Handle*>(handle);
    if (!h) return midiresult::kInvalidHandle;
    Impl::deliver(*h->port, MidiInMessage::Close, 0, 0);
    h->port->open = false;
    h->port->started = false;
    h->port->callback = nullptr;
    h->port->user = nullptr;
    delete h;
    return midiresult::kOk;
}

uint32_t VirtualMidiApi::openOutput(uint32_t deviceIndex, void** handle) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (!handle || deviceIndex >= impl_->outputs.size()) return midiresult::kBadDeviceId;
    auto port = impl_->outputs[deviceIndex];
    if (port->openResult != midiresult::kOk) return port->openResult;
    if (port->open) return midiresult::kAllocated;
    port->open = true;
    *handle = new Impl::Handle{port};
    return midiresult::kOk;
}

uint32_t VirtualMidiApi::resetOutput(void* handle) {
    return handle ? midiresult::kOk : midiresult::kInvalidHandle;
}

uint32_t VirtualMidiApi::closeOutput(void* handle) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    auto* h = static_cast<Impl::Handle*>(handle);
    if (!h) return midiresult::kInvalidHandle;
    h->port->open = false;
    delete h;
    return midiresult::kOk;
}

VirtualMidiApi& virtualMidi() {
    static VirtualMidiApi api;
    return api;
}

} // namespace vantor
