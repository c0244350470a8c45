// VFileSelector: the system's common file dialogs run from a request record. The record, the
// file types and the filter lists are portable (FileSelector.cpp, tested natively); running the
// dialogs is Win32 (FileSelector_win32.cpp). All strings are UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor::VTR {

enum FileSelectorCommand : int32_t {
    kOpenFile = 0,
    kSaveFile = 1,
    kOpenFiles = 2,
    kSelectFolder = 3,
};

// One file type (864 bytes, every field NUL-terminated).
struct FileTypeRecord {
    char16_t name[128];
    char16_t typeCode[16];
    char16_t extension[16];
    char16_t secondExtension[16];
    char16_t mimeType[128];
    char16_t secondMimeType[128];
};
static_assert(sizeof(FileTypeRecord) == 864);

struct FileSelectorRequest {
    int32_t command = 0;
    int32_t type = 0;
    int32_t reserved = 0;
    int32_t fileTypeCount = 0;
    const FileTypeRecord* fileTypes = nullptr;
    char16_t title[1024] = {};
    const char16_t* initialFolder = nullptr;
    char16_t* returnedPath = nullptr; // allocated by the selector when null
    intptr_t returnedPathSize = 0;
    char16_t** returnedPaths = nullptr; // command 2; freed by the selector
    int32_t returnedPathCount = 0;
    int32_t allocated = 0;
    void* owner = nullptr; // HWND
};

// A file type from its fields (each cut to fit its field).
FileTypeRecord makeFileType(const std::u16string& name, const std::u16string& typeCode, const std::u16string& extension,
                            const std::u16string& secondExtension, const std::u16string& mimeType,
                            const std::u16string& secondMimeType);
// "MIDI Files" for .mid and .midi.
std::vector<FileTypeRecord> midiFileTypes();
// "WAV Files" for .wav.
FileTypeRecord wavFileType();
// "<EXT> File" for one extension: upper-case name and code, lower-case extensions,
// "audio/<ext>" and "audio/x-<ext>".
FileTypeRecord oneExtensionFileType(const std::u16string& extension);

// Copies at most 1022 characters of `title` into the request; the last character stays 0.
void setRequestTitle(FileSelectorRequest& request, const std::u16string& title);

// A filter list: display text and pattern pairs, each NUL-terminated, ending with an extra NUL;
// `selected` is the 1-based entry the dialog preselects.
struct FileFilter {
    std::u16string text;
    int selected = 1;
    // The display texts and patterns, in order (for tests and logs).
    std::vector<std::pair<std::u16string, std::u16string>> entries() const;
};
// Open dialogs: one entry per type, "All Types" when more than one distinct extension, then the
// caller's extra filter (UTF-8, as "text\0pattern\0" pairs, or empty) or "Any Type (*.*)".
FileFilter openFilter(const FileTypeRecord* types, int count, const std::string& extraFilterUtf8);
// Save dialogs: one entry per type, the first preselected.
FileFilter saveFilter(const FileTypeRecord* types, int count);

// What follows the later of the last "/" and the last "\".
std::u16string fileNameOf(const std::u16string& path);
// The WAV builder's question before it overwrites an existing file.
std::u16string overwriteQuestion(const std::u16string& path);

// The folder-and-names answer of a several-files open dialog, as full paths (a single entry is
// already a full path).
std::vector<std::u16string> splitMultipleSelection(const char16_t* answer);

class VFileSelector {
public:
    explicit VFileSelector(void* context) : context_(context) {}
    ~VFileSelector();
    VFileSelector(const VFileSelector&) = delete;
    VFileSelector& operator=(const VFileSelector&) = delete;

    // Runs the dialog the request asks for; the number of paths chosen, 0 when cancelled.
    int run(FileSelectorRequest& request, const char* extraFilterUtf8 = nullptr);

private:
    void* context_;
    FileSelectorRequest* request_ = nullptr;
};

// The host's requests. Each disables `owner` (an HWND, may be null) while the dialog runs, then
// enables it and brings it to the front; the dialog itself has no owner. Empty when cancelled.
std::u16string selectMidiFile(void* owner);
// "Record Audio into"; asks before replacing an existing file and asks again on No.
std::u16string selectRecordingFile(void* owner);
std::u16string selectFileWithExtension(void* owner, bool save, const std::u16string& title,
                                       const std::u16string& extension);

inline constexpr const char16_t* kSelectMidiTitle = u"Select a MIDI file";
inline constexpr const char16_t* kRecordAudioTitle = u"Record Audio into";

} // namespace vantor::VTR
