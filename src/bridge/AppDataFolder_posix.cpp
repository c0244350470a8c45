#include "bridge/AppDataFolder.h"
#include "log/TextConv.h"

#include <cstdlib>
#include <string>

namespace vantor {

std::u16string platformAppDataFolder() {
    // XDG base directories: a relative XDG_DATA_HOME is invalid and must be ignored.
    std::string base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0]) return {};
        base = std::string(home) + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    // A home that is not UTF-8 gives no folder (as when there is none), not a marker path.
    std::u16string folder;
    if (!tryNarrowToWide(base + "/Vantor/Quorvel", folder)) return {};
    return folder;
}

} // namespace vantor
