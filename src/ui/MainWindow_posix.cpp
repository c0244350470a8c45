// Headless: no menu to build; the commands still reach onCommand.
#include "ui/MainWindow.h"

namespace vantor {

bool MainWindow::attachMenuBar() {
    return getHandle() != nullptr;
}

} // namespace vantor
