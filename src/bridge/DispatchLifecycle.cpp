// VE_ENGINE_VERSION, INITIALIZE, SHUTDOWN, IDLE, OFFLINE_SET and the application arguments.
#include "bridge/EngineDispatch.h"
#include "devices/DeviceManager.h"
#include "graph/GraphManager.h"
#include "graph/Instance.h"

#include <cstring>

namespace vantor::dispatch {

bool lifecycleOpcodes(EngineManager& manager, const OpcodeCall& call, int32_t& result) {
    switch (call.opcode) {
    case VE_ENGINE_VERSION:
        if (!call.p1) {
            result = kEngineFailed;
            return true;
        }
        std::memcpy(call.p1, kEngineVersionText, std::strlen(kEngineVersionText) + 1);
        result = kEngineOk;
        return true;

    case VE_ENGINE_INITIALIZE:
        result = manager.initialize(call.i1);
        return true;

    case VE_ENGINE_SHUTDOWN:
        result = manager.shutdown();
        return true;

    case VE_ENGINE_IDLE:
        if (Instance* context = manager.context()) {
            context->guiIdleTick();
            context->nonGuiIdleTick();
        }
        result = kEngineNoResult;
        return true;

    case VE_ENGINE_OFFLINE_SET: {
        Instance* context = manager.context();
        GraphManager* graph = liveGraph(manager);
        if (!context || !graph || isPlaying(manager)) {
            result = kEngineFailed;
            return true;
        }
        context->setOffline(call.i1 == 1);
        graph->setDSPInfo(context->getDSPInfo());
        if (DeviceManager* devices = DeviceManager::peek()) devices->setOffline(context, call.i1 == 1);
        result = kEngineOk;
        return true;
    }

    case VE_ENGINE_APP_ARGUMENTS_SET:
        if (!call.p1) {
            result = kEngineFailed;
            return true;
        }
        manager.setArguments(*static_cast<const AppArgumentList*>(call.p1));
        result = kEngineOk;
        return true;

    case VE_ENGINE_APP_ARGUMENTS_GET:
        if (!call.p1) {
            result = kEngineFailed;
            return true;
        }
        *static_cast<AppArgumentList*>(call.p1) = manager.arguments();
        result = kEngineOk;
        return true;

    default:
        return false;
    }
}

} // namespace vantor::dispatch
