// User-facing message boxes and ending the process, behind one seam each so tests can see the
// caption, text and exit instead of blocking or dying.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace vantor {

// Task-modal, no owner window, brought to the foreground, OK button. Texts are UTF-8.
void showMessageBox(const std::string& caption, const std::string& text);

// How the user interface shows a box; the application installs it at start-up. Without one the
// text goes to the standard error stream and the log. An empty function removes it.
using MessageBoxPresenter = std::function<void(const std::string& caption, const std::string& text)>;
void setMessageBoxPresenter(MessageBoxPresenter show);

// While set, boxes are written to the log only (a caller that reports failures itself); a test
// hook still sees them.
void setMessageBoxesLoggedOnly(bool on);

// Ends the process with the given status without running the normal shutdown.
[[noreturn]] void exitProcess(int status);

// Test hooks: while set, the hook is called instead of the presenter or the platform (an exit hook must not return
// normally; it typically throws a test exception). Pass an empty function to restore the platform.
void setMessageBoxHook(std::function<void(const std::string& caption, const std::string& text)> hook);
void setExitHook(std::function<void(int status)> hook);

// True for the exception an exit hook threw, so the host's exception boundaries let it pass on
// to the test that asked for it instead of answering failure and going on.
bool isProcessExit(const std::exception_ptr& exception);

} // namespace vantor
