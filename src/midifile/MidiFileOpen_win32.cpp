#include "midifile/MidiFileOpen.h"

#include <cstdio>

namespace vantor {

std::FILE* openFileForReading(const std::u16string& path) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters on Windows");
    return _wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"rb");
}

} // namespace vantor
