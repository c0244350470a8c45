// The per-user folder the host keeps its log and default state in (UTF-16): the platform's
// application-data folder + company + product. The host never creates it; an installer does.
#pragma once

#include <string>

namespace vantor {

// Win32: %APPDATA%\Vantor\Quorvel. POSIX: ${XDG_DATA_HOME:-~/.local/share}/Vantor/Quorvel.
// Empty when the platform folder cannot be obtained.
std::u16string appDataFolder();

// Tests point the host at a folder of their own; an empty text restores the platform's folder.
void setAppDataFolderOverride(const std::u16string& folder);

} // namespace vantor
