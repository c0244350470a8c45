// The Windows entry point: DPI awareness, the user interface wired to the core, the arguments
// handed to the engine bridge, then the application's init, run and exit.
#include "app/HostInstance.h"
#include "app/SamplerApplication.h"
#include "engineapi/EngineOpcodes.h"
#include "log/TextConv.h"
#include "toolkit/Application.h"
#include "ui/GuiComposition.h"

#include <windows.h>
#include <shellapi.h>

namespace {

// Shcore.dll exists from Windows 8.1 on; without it the process simply stays DPI unaware. The
// library stays loaded for the life of the process.
void becomeDpiAware() {
    HMODULE shcore = LoadLibraryW(L"Shcore.dll");
    if (!shcore) return;
    using SetProcessDpiAwarenessFunction = HRESULT(WINAPI*)(int);
    auto setAwareness = reinterpret_cast<SetProcessDpiAwarenessFunction>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "SetProcessDpiAwareness")));
    if (setAwareness) setAwareness(1); // system DPI aware
}

// The process's own UTF-16 command line, split as the shell does, argument 0 (the program) first.
vantor::AppArgumentList commandLineArguments() {
    vantor::AppArgumentList arguments;
    int count = 0;
    LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!split) return arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(
            vantor::wideToNarrow(std::u16string(reinterpret_cast<const char16_t*>(split[i]))));
    LocalFree(split);
    return arguments;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    becomeDpiAware();
    // The application's composition root: what the user interface gives the core. The core's own
    // hooks are installed when the engine initialises.
    vantor::installGui();
    vantor::AppArgumentList arguments = commandLineArguments();
    engineOpcode(vantor::VE_ENGINE_APP_ARGUMENTS_SET, &arguments, nullptr, 0, 0, 0, 0.0f);

    auto* application = new vantor::samplerapp::SamplerApplication();
    vantor::VTR::setModuleInstance(instance);
    vantor::setHostModuleInstance(instance);
    application->init();
    application->run();
    application->exit();
    delete application;
    return 0;
}
