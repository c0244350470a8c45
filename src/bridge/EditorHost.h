// The window that holds the engine's editor, as the engine module sees it. The application
// provides it (the main window) through a factory installed at start-up, so the core never
// includes the user interface. Every call is made on the GUI thread.
#pragma once

#include <functional>

namespace vantor {

class SMPLModule;

class EditorHost {
public:
    virtual ~EditorHost() = default;

    // The native window the editor opens in.
    virtual void* getHandle() const = 0;
    // Chooses the layout for an editor `width` pixels wide.
    virtual void chooseLayout(int width) = 0;
    // Sizes the window so that its client area holds the editor (and whatever the host adds
    // around it) and moves it to (x, y).
    virtual void fitToEditor(int width, int height, int x, int y) = 0;
    // Starts the idle tick, shows the window and gives it the focus.
    virtual void showAndStartIdle() = 0;
    // The engine asks for a new editor size.
    virtual void editorResized(int width, int height) = 0;
    // The engine module is going away before the window: nothing may reach it any more.
    virtual void forgetModule() = 0;
    // The instrument's stream settings were set while online (a new sample rate or buffer size,
    // the return from an offline render): the media bar loads its MIDI file again.
    virtual void reloadMidiFile() {}
    // The instrument goes offline: a recording the media bar runs stops first.
    virtual void stopRecording() {}
};

// Builds the window for `module`'s editor; the window owns itself and tells the module
// (SMPLModule::editorHostGone) when it is destroyed. Null when it cannot be created.
using EditorHostFactory = std::function<EditorHost*(SMPLModule& module, bool usesMediaBar)>;

// Installed by the application's start-up (an empty function removes it).
void setEditorHostFactory(EditorHostFactory factory);
// Null when no factory is installed (a host without a user interface) or the window failed.
EditorHost* createEditorHost(SMPLModule& module, bool usesMediaBar);

} // namespace vantor
