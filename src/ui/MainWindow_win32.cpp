// The main window's menu bar on Win32.
#include "ui/MainWindow.h"

#include <windows.h>

namespace vantor {

bool MainWindow::attachMenuBar() {
    HMENU bar = CreateMenu();
    if (!bar) return false;
    for (const MenuPopup& popup : menuBar()) {
        HMENU menu = CreatePopupMenu();
        if (!menu) {
            DestroyMenu(bar);
            return false;
        }
        for (const MenuItem& item : popup.items)
            AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id),
                        reinterpret_cast<const wchar_t*>(item.text));
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu),
                    reinterpret_cast<const wchar_t*>(popup.title));
    }
    // The window owns the menu from here and destroys it with itself.
    if (!SetMenu(static_cast<HWND>(getHandle()), bar)) {
        DestroyMenu(bar);
        return false;
    }
    return true;
}

} // namespace vantor
