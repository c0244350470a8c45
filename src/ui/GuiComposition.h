// The application's composition root for what the user interface gives the core: the window that
// holds the engine's editor and the message boxes. Called once by the entry point before the
// engine is initialised (and by tests that run the application as the entry point does).
#pragma once

namespace vantor {

void installGui();

} // namespace vantor
