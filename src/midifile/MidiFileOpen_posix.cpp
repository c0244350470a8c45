#include "midifile/MidiFileOpen.h"

#include "log/TextConv.h"

namespace vantor {

std::FILE* openFileForReading(const std::u16string& path) {
    const std::string narrow = wideToNarrow(path);
    return std::fopen(narrow.c_str(), "rb");
}

} // namespace vantor
