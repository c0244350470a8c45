#include "ui/MainWindow.h"
#include "ui/RenderOfflineDialog.h"

#include "bridge/SMPLModule.h"
#include "log/Log.h"
#include "devices/AudioRestart.h"
#include "devices/MIDIHotplug.h"
#include "toolkit/FileSelector.h"
#include "ui/Prefs.h"

#include <utility>

namespace vantor {

namespace {

MainWindowServices& installedServices() {
    static MainWindowServices services;
    return services;
}

constexpr uintptr_t kDeviceNodesChanged = 7;

} // namespace

const std::vector<MenuPopup>& MainWindow::menuBar() {
    static const std::vector<MenuPopup> menus = {
        {u"File",
         {{u"Load", kCommandLoad},
          {u"Save as...", kCommandSaveAs},
          {u"Save as default", kCommandSaveAsDefault}}},
        {u"Tools", {{u"Preferences", kCommandPreferences}, {u"Render offline", kCommandRenderOffline}}},
    };
    return menus;
}

void MainWindow::setServices(MainWindowServices services) {
    installedServices() = std::move(services);
}

MainWindow* MainWindow::create(SMPLModule* module, bool usesMediaBar) {
    const uint32_t savedStyle = VTR::defaultExtendedStyle();
    VTR::setDefaultExtendedStyle(0);
    auto* window = new MainWindow(module, usesMediaBar);
    VTR::setDefaultExtendedStyle(savedStyle);
    if (!window->created_) {
        logError("MainWindow: the window cannot be created");
        delete window;
        return nullptr;
    }
    window->setBigIconFromResource(kIconResource);
    window->menuAttached_ = window->attachMenuBar();
    if (!window->menuAttached_) logError("MainWindow: the menu bar cannot be created");
    return window;
}

MainWindow::MainWindow(SMPLModule* module, bool usesMediaBar)
    : VTR::Window(50, 50, 770, 350, false, 3, kTitle, u"SA"), module_(module), usesMediaBar_(usesMediaBar),
      created_(VTR::Window::getHandle() != nullptr), services_(installedServices()) {
    if (!services_.opcode) services_.opcode = &engineOpcode;
}

MainWindow::~MainWindow() {
    // The panels go while their windows still exist (a parent's destruction reaches its children
    // after it): each deletes its own panel window, and with it the controls.
    delete recorder_;
    recorder_ = nullptr;
    delete player_;
    player_ = nullptr;
    if (module_) module_->editorHostGone(this);
    module_ = nullptr;
    if (created_) VTR::postQuit(0);
}

void MainWindow::chooseLayout(int width) {
    smallerLayout_ = width < kSmallerLayoutBelow;
    if (smallerLayout_) logInfo("smallerSize enabled");
}

void MainWindow::fitToEditor(int width, int height, int x, int y) {
    int outerWidth = 0, outerHeight = 0;
    outerSize(width, height, outerWidth, outerHeight);
    setBounds(x, y, outerWidth, outerHeight);
}

void MainWindow::editorResized(int width, int height) {
    if (width <= 0 || height <= 0 || width > kLargestEditor || height > kLargestEditor) {
        logWarning("ignored an editor size of ", width, " x ", height);
        return;
    }
    chooseLayout(width);
    int outerWidth = 0, outerHeight = 0;
    outerSize(width, height, outerWidth, outerHeight);
    // The window keeps its place on the screen; only its size follows the editor.
    setSize(outerWidth, outerHeight);
    if (player_) player_->moveTo(0, height);
    if (recorder_)
        recorder_->moveTo(smallerLayout_ ? AudioFileRecorderGUI::kSmallerX : AudioFileRecorderGUI::kX,
                          height);
}

void MainWindow::createMediaBar() {
    if (!usesMediaBar_ || player_) return;
    int clientWidth = 0, clientHeight = 0;
    clientSize(clientWidth, clientHeight);
    const int y = clientHeight - kMediaBarHeight;
    const std::u16string dataDirectory = module_ ? module_->dataDirectory() : std::u16string();
    player_ = new MIDIFilePlayerGUI(this, getHandle(), 0, y, dataDirectory, smallerLayout_, services_.opcode,
                                    services_.midiFileChooser);
    recorder_ = new AudioFileRecorderGUI(
        this, getHandle(), smallerLayout_ ? AudioFileRecorderGUI::kSmallerX : AudioFileRecorderGUI::kX, y,
        dataDirectory, smallerLayout_, services_.opcode, services_.recordingFileChooser);
}

void MainWindow::showAndStartIdle() {
    createMediaBar();
    startTimer(kIdleTimerId, kIdleTimerMilliseconds);
    show(true);
    focus();
}

void MainWindow::reloadMidiFile() {
    if (player_) player_->reload();
}

void MainWindow::stopRecording() {
    if (recorder_ && recorder_->recording()) recorder_->stop();
}

void MainWindow::onTimer(int id) {
    if (id != kIdleTimerId) return;
    idleTick();
    // A driver that asked for its stream to be reopened is served here, on the opcode thread.
    serviceAudioRestart();
}

void MainWindow::idleTick() {
    if (!module_) return;
    module_->timerTick();
    if (module_->offline()) return;
    if (!player_ || module_->tickCounter() < kTicksPerRefresh) {
        // Without a player the counter stops where it would refresh (it never wraps).
        if (module_->tickCounter() < kTicksPerRefresh) module_->countTick();
        return;
    }
    double position = 0.0;
    if (services_.opcode(VE_ENGINE_MIDI_POSITION_GET, &position, nullptr, 0, 0, 0, 0.0f) == kEngineOk) {
        if (position == 1.0) {
            // The file played to its end: stopped, and back at its start.
            player_->stop();
            player_->rewind();
        } else {
            player_->showPosition(static_cast<int>(position * 100.0));
        }
    }
    module_->resetTickCounter();
}

std::u16string MainWindow::chooseStateFile(bool save) {
    if (services_.stateFileChooser) return services_.stateFileChooser(getHandle(), save);
    return VTR::selectFileWithExtension(getHandle(), save, save ? u"Save brevian file" : u"Load brevian file",
                                        u"brevian");
}

void MainWindow::onCommand(int id) {
    switch (id) {
    case kCommandPreferences:
        if (services_.preferences)
            services_.preferences(getHandle());
        else
            showPreferences(getHandle(), services_.opcode);
        break;
    case kCommandRenderOffline:
        runRenderOfflineDialog(getHandle(), services_.opcode);
        break;
    case kCommandLoad: {
        const std::u16string path = chooseStateFile(false);
        if (!path.empty() && module_) module_->loadStateFile(path);
        break;
    }
    case kCommandSaveAs: {
        const std::u16string path = chooseStateFile(true);
        if (!path.empty() && module_) module_->saveStateFile(path);
        break;
    }
    case kCommandSaveAsDefault:
        if (module_) module_->saveDefaultStateFile();
        break;
    default:
        break;
    }
}

void MainWindow::onDeviceChange(uintptr_t event) {
    if (event == kDeviceNodesChanged) rescanMIDIPorts();
}

void MainWindow::outerSize(int width, int height, int& outerWidth, int& outerHeight) const {
    int windowWidth = 0, windowHeight = 0, clientWidth = 0, clientHeight = 0;
    windowSize(windowWidth, windowHeight);
    clientSize(clientWidth, clientHeight);
    outerWidth = width + (windowWidth - clientWidth);
    outerHeight = height + (windowHeight - clientHeight) + (usesMediaBar_ ? kMediaBarHeight : 0);
}

} // namespace vantor
