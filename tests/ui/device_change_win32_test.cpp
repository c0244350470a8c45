// The real Win32 main window receives WM_DEVICECHANGE (see DeviceChangeFlow.h).
#include "DeviceChangeFlow.h"

#include <windows.h>

TEST(MainWindowDeviceChangeTest, DeviceNodesChangedRunsTheMidiHotplugPass) {
    vantor::test::runDeviceChangeFlow([](vantor::MainWindow& window, uintptr_t wParam) {
        SendMessageW(static_cast<HWND>(window.getHandle()), WM_DEVICECHANGE, static_cast<WPARAM>(wParam), 0);
    });
}
