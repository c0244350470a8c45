// The toolkit's class window procedures, registered by Application::init.
#pragma once

#include <windows.h>

namespace vantor::VTR {

// Top-level windows: WM_DESTROY deletes the attached Window; WM_PAINT calls its paint.
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Panels: as above for the attached Panel, and WM_COMMAND / WM_HSCROLL handed to the object of
// the child control that sent them.
LRESULT CALLBACK panelProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Container panels: as panels, plus mouse input to the attached ContainerPanel.
LRESULT CALLBACK containerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Fills (0, 0, width, height) of `dc` with a colour whose red, green and blue are 0..1.
void fillWithColour(HDC dc, int width, int height, double red, double green, double blue);

} // namespace vantor::VTR
