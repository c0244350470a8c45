// The headless main window's device-change handler (see DeviceChangeFlow.h).
#include "DeviceChangeFlow.h"

TEST(MainWindowDeviceChangeTest, DeviceNodesChangedRunsTheMidiHotplugPass) {
    vantor::test::runDeviceChangeFlow(
        [](vantor::MainWindow& window, uintptr_t wParam) { window.onDeviceChange(wParam); });
}
