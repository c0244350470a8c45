// Without a desktop there is no dialog to run: every selection is cancelled (no path). Tests of
// the callers put their own choosers in place of these.
#include "toolkit/FileSelector.h"

namespace vantor::VTR {

VFileSelector::~VFileSelector() = default;

int VFileSelector::run(FileSelectorRequest& /*request*/, const char* /*extraFilterUtf8*/) {
    return 0;
}

std::u16string selectMidiFile(void* /*owner*/) {
    return {};
}

std::u16string selectRecordingFile(void* /*owner*/) {
    return {};
}

std::u16string selectFileWithExtension(void* /*owner*/, bool /*save*/, const std::u16string& /*title*/,
                                       const std::u16string& /*extension*/) {
    return {};
}

} // namespace vantor::VTR
