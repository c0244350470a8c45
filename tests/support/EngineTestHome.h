// EngineTestHome: gives engineOpcode a private app data folder for as long as it lives, so the
// EngineManager's log lands in a temporary folder instead of the user's, and makes sure no
// EngineManager survives the test.
//
//   vantor::test::EngineTestHome home;        // creates <temp>/quorvel_test_.../Vantor/Quorvel
//   engineOpcode(...);                        // the first call opens the log there
//   home.logPath()                            // "<folder>/Quorvel Standalone x64.log" (UTF-8)
//   home.readLog()                            // the whole log file
//   ~EngineTestHome                           // shuts the engine down if it is still up,
//                                             // restores the platform folder, removes the folder
#pragma once

#include <string>

namespace vantor::test {

class EngineTestHome {
public:
    // createFolder false: the folder is left absent (the host must not create it).
    explicit EngineTestHome(bool createFolder = true);
    ~EngineTestHome();
    EngineTestHome(const EngineTestHome&) = delete;
    EngineTestHome& operator=(const EngineTestHome&) = delete;

    const std::string& folder() const { return folder_; }
    std::string logPath() const;
    std::string readLog() const;

    // Ends the engine as the application does (VE_ENGINE_SHUTDOWN) if a manager exists.
    static void shutdownIfRunning();

private:
    std::string root_;
    std::string folder_;
};

} // namespace vantor::test
