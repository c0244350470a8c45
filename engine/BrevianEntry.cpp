// brevianOpcode: the component's one entry point. Checks what the host hands over (null pointers,
// handles of the wrong kind, unknown operations give a non-zero result) and forwards to the
// engine or its editor.
#include "BrevianComponent.h"
#include "Editor.h"
#include "Engine.h"

#include <cstdio>
#include <cstring>
#include <exception>

using brevian::Editor;
using brevian::Engine;

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = 1;

Engine* asEngine(void* handle) {
    auto* engine = static_cast<Engine*>(handle);
    return engine != nullptr && engine->isEngine() ? engine : nullptr;
}

Editor* asEditor(void* handle) {
    auto* editor = static_cast<Editor*>(handle);
    return editor != nullptr && editor->isEditor() ? editor : nullptr;
}

int32_t withoutHandle(int32_t operation, void* p1, void* p2, void* p3) {
    switch (operation) {
    case BREVIAN_OP_GET_VERSION: {
        if (p1 == nullptr) return kFailed;
        static_assert(sizeof(brevian::kVersionText) <= BREVIAN_VERSION_BUFFER_SIZE);
        std::memset(p1, 0, BREVIAN_VERSION_BUFFER_SIZE);
        std::strncpy(static_cast<char*>(p1), brevian::kVersionText, BREVIAN_VERSION_BUFFER_SIZE - 1);
        return kOk;
    }
    case BREVIAN_OP_CREATE: {
        if (p2 == nullptr) return kFailed;
        Engine* engine = nullptr;
        const Engine::CreateError error =
            Engine::create(static_cast<const BrevianHostDescriptor*>(p1), &engine);
        *static_cast<void**>(p2) = engine;
        return error == Engine::CreateError::None ? kOk : kFailed + static_cast<int32_t>(error);
    }
    case BREVIAN_OP_EDITOR_CREATE: {
        if (p2 == nullptr) return kFailed;
        *static_cast<void**>(p2) = nullptr;
        Engine* engine = asEngine(p3);
        if (engine == nullptr) return kFailed;
        Editor* editor = Editor::create(engine, static_cast<const char*>(p1));
        if (editor == nullptr) return kFailed;
        *static_cast<void**>(p2) = editor;
        return kOk;
    }
    default:
        return kFailed;
    }
}

int32_t onEditor(Editor* editor, int32_t operation, void* p1, void* p2) {
    switch (operation) {
    case BREVIAN_OP_EDITOR_OPEN:
        return editor->open(p1) ? kOk : kFailed;
    case BREVIAN_OP_EDITOR_GET_SIZE:
        if (p1 == nullptr || p2 == nullptr) return kFailed;
        *static_cast<int32_t*>(p1) = editor->height();
        *static_cast<int32_t*>(p2) = editor->width();
        return kOk;
    case BREVIAN_OP_EDITOR_DESTROY:
        delete editor;
        return kOk;
    default:
        return kFailed;
    }
}

int32_t onEngine(Engine* engine, int32_t operation, void* p1, void* p2, int32_t i1, int32_t i2) {
    switch (operation) {
    case BREVIAN_OP_DESTROY:
        delete engine;
        return kOk;
    case BREVIAN_OP_SET_STREAM:
        return engine->setStream(i1, i2) ? kOk : kFailed;
    case BREVIAN_OP_STOP:
        engine->stop();
        return kOk;
    case BREVIAN_OP_START:
        engine->start(i1 != 0);
        return kOk;
    case BREVIAN_OP_PROCESS:
        return engine->process(static_cast<const BrevianEventBlock*>(p1), static_cast<float* const*>(p2), i1)
                   ? kOk
                   : kFailed;
    case BREVIAN_OP_STATE_SAVE: {
        if (p1 == nullptr || p2 == nullptr) return kFailed;
        const brevian::StateBytes& bytes = engine->saveState();
        *static_cast<const void**>(p1) = bytes.data();
        *static_cast<int32_t*>(p2) = static_cast<int32_t>(bytes.size());
        return kOk;
    }
    case BREVIAN_OP_STATE_LOAD:
        if (i1 < 0) return kFailed;
        return engine->loadState(p1, static_cast<std::size_t>(i1)) == brevian::StateError::None ? kOk
                                                                                                : kFailed;
    case BREVIAN_OP_OPEN_FILE:
        return engine->openFile(static_cast<const char*>(p1)) ? kOk : kFailed;
    case BREVIAN_OP_EDITOR_ATTACH: {
        Editor* editor = asEditor(p1);
        if (editor == nullptr || editor->engine() != engine) return kFailed;
        engine->attachEditor(editor);
        return kOk;
    }
    case BREVIAN_OP_EDITOR_DETACH: {
        Editor* editor = asEditor(p1);
        if (editor == nullptr) return kFailed;
        engine->detachEditor(editor);
        return kOk;
    }
    case BREVIAN_OP_SET_HOST_CALLBACK:
        engine->setHostCallback(reinterpret_cast<BrevianHostCallback>(p1), p2);
        return kOk;
    case BREVIAN_OP_IDLE:
        engine->idle();
        return kOk;
    default:
        return kFailed;
    }
}

bool isEditorOperation(int32_t operation) {
    return operation == BREVIAN_OP_EDITOR_OPEN || operation == BREVIAN_OP_EDITOR_GET_SIZE ||
           operation == BREVIAN_OP_EDITOR_DESTROY;
}

} // namespace

namespace {

int32_t dispatch(void* handle, int32_t operation, void* p1, void* p2, void* p3, int32_t i1, int32_t i2) {
    if (handle == nullptr) return withoutHandle(operation, p1, p2, p3);
    if (isEditorOperation(operation)) {
        Editor* editor = asEditor(handle);
        return editor != nullptr ? onEditor(editor, operation, p1, p2) : kFailed;
    }
    Engine* engine = asEngine(handle);
    return engine != nullptr ? onEngine(engine, operation, p1, p2, i1, i2) : kFailed;
}

// The engine has no log of its own: its error lines go to the error stream. Formatting
// allocates nothing, so it works when memory has run out.
void reportEscaped(int32_t operation, const char* what) noexcept {
    std::fprintf(stderr, "E: brevianOpcode %d failed: %s\n", static_cast<int>(operation), what);
    std::fflush(stderr);
}

} // namespace

extern "C" BREVIAN_EXPORT int32_t brevianOpcode(void* handle, int32_t operation, void* p1, void* p2, void* p3,
                                                int32_t i1, int32_t i2, int32_t /*i3*/, float /*f*/) {
    // Nothing may unwind into the host, which may be built with another runtime.
    try {
        return dispatch(handle, operation, p1, p2, p3, i1, i2);
    } catch (const std::exception& e) {
        reportEscaped(operation, e.what());
    } catch (...) {
        reportEscaped(operation, "unknown exception");
    }
    return kFailed;
}
