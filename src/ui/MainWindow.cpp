#include "ui/MainWindow.h"

#include "bridge/SMPLModule.h"
#include "log/Log.h"

namespace vantor {

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
    return window;
}

MainWindow::MainWindow(SMPLModule* module, bool usesMediaBar)
    : VTR::Window(50, 50, 770, 350, false, 3, kTitle, u"SA"), module_(module), usesMediaBar_(usesMediaBar),
      created_(VTR::Window::getHandle() != nullptr) {}

MainWindow::~MainWindow() {
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
    setSize(outerWidth, outerHeight);
}

void MainWindow::showAndStartIdle() {
    startTimer(kIdleTimerId, kIdleTimerMilliseconds);
    show(true);
    focus();
}

void MainWindow::onTimer(int id) {
    if (id == kIdleTimerId && module_) module_->timerTick();
}

void MainWindow::outerSize(int width, int height, int& outerWidth, int& outerHeight) const {
    int windowWidth = 0, windowHeight = 0, clientWidth = 0, clientHeight = 0;
    windowSize(windowWidth, windowHeight);
    clientSize(clientWidth, clientHeight);
    outerWidth = width + (windowWidth - clientWidth);
    outerHeight = height + (windowHeight - clientHeight) + (usesMediaBar_ ? kMediaBarHeight : 0);
}

} // namespace vantor
