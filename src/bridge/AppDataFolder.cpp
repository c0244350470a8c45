#include "bridge/AppDataFolder.h"

#include <mutex>

namespace vantor {

std::u16string platformAppDataFolder(); // the seam's platform side

namespace {
std::mutex overrideLock;
std::u16string overrideFolder;
} // namespace

void setAppDataFolderOverride(const std::u16string& folder) {
    std::lock_guard<std::mutex> lock(overrideLock);
    overrideFolder = folder;
}

std::u16string appDataFolder() {
    {
        std::lock_guard<std::mutex> lock(overrideLock);
        if (!overrideFolder.empty()) return overrideFolder;
    }
    return platformAppDataFolder();
}

} // namespace vantor
