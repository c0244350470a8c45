#include "support/EngineTestHome.h"
#include "support/LogCapture.h"

#include "bridge/AppDataFolder.h"
#include "bridge/EngineManager.h"
#include "engineapi/EngineOpcodes.h"
#include "log/TextConv.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace vantor::test {

namespace {
std::filesystem::path fromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
} // namespace

EngineTestHome::EngineTestHome(bool createFolder) : root_(tempFilePath("_home")) {
    shutdownIfRunning();
    folder_ = root_ + "/Vantor/Quorvel";
    if (createFolder) std::filesystem::create_directories(fromUtf8(folder_));
    setAppDataFolderOverride(narrowToWide(folder_));
}

EngineTestHome::~EngineTestHome() {
    shutdownIfRunning();
    setAppDataFolderOverride(u"");
    std::error_code ignored;
    std::filesystem::remove_all(fromUtf8(root_), ignored);
}

void EngineTestHome::shutdownIfRunning() {
    if (EngineManager::peek()) engineOpcode(VE_ENGINE_SHUTDOWN, nullptr, nullptr, 0, 0, 0, 0.0f);
}

std::string EngineTestHome::logPath() const {
    return folder_ + "/Quorvel Standalone x64.log";
}

std::string EngineTestHome::readLog() const {
    std::ifstream in(fromUtf8(logPath()), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace vantor::test
