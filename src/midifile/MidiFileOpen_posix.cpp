#include "midifile/MidiFileOpen.h"

#include "log/TextConv.h"

namespace vantor {

std::FILE* openFileForReading(const std::u16string& path) {
    std::string narrow;
    if (!tryWideToNarrow(path, narrow)) return nullptr;
    return std::fopen(narrow.c_str(), "rb");
}

} // namespace vantor
