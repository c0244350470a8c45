// The portable half of the file selector: file types, filter lists and texts.
#include "toolkit/FileSelector.h"

#include <algorithm>

namespace vantor::VTR {

namespace {

template <size_t N> void copyField(char16_t (&field)[N], const std::u16string& text) {
    const size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), length, field);
    std::fill(field + length, field + N, u'\0');
}

std::u16string upper(std::u16string text) {
    for (auto& c : text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

std::u16string lower(std::u16string text) {
    for (auto& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
std::u16string fromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte < 0x80 ? 0 : (byte & 0xE0) == 0xC0 ? 1 : (byte & 0xF0) == 0xE0 ? 2 : (byte & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        uint32_t code = extra == 0 ? byte : byte & (0x3F >> extra);
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid || code > 0x10FFFF) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

void addEntry(std::u16string& text, const std::u16string& display, const std::u16string& pattern) {
    text += display;
    text.push_back(u'\0');
    text += pattern;
    text.push_back(u'\0');
}

// Display text and pattern of one type: "*.ext", plus ";*.second" when the second extension is
// another, non-empty one.
std::pair<std::u16string, std::u16string> typeEntry(const FileTypeRecord& type) {
    const std::u16string extension = type.extension;
    const std::u16string second = type.secondExtension;
    std::u16string pattern = u"*." + extension;
    if (!second.empty() && second != extension) pattern += u";*." + second;
    return {std::u16string(type.name) + u" (." + extension + u")", pattern};
}

} // namespace

FileTypeRecord makeFileType(const std::u16string& name, const std::u16string& typeCode, const std::u16string& extension,
                            const std::u16string& secondExtension, const std::u16string& mimeType,
                            const std::u16string& secondMimeType) {
    FileTypeRecord record{};
    copyField(record.name, name);
    copyField(record.typeCode, typeCode);
    copyField(record.extension, extension);
    copyField(record.secondExtension, secondExtension);
    copyField(record.mimeType, mimeType);
    copyField(record.secondMimeType, secondMimeType);
    return record;
}

std::vector<FileTypeRecord> midiFileTypes() {
    return {makeFileType(u"MIDI Files", u"MID", u"mid", u"mid", u"audio/mid", u"audio/x-mid"),
            makeFileType(u"MIDI Files", u"MIDI", u"midi", u"midi", u"audio/midi", u"audio/x-midi")};
}

FileTypeRecord wavFileType() {
    return makeFileType(u"WAV Files", u"WAV", u"wav", u"wav", u"audio/wav", u"audio/x-wav");
}

FileTypeRecord oneExtensionFileType(const std::u16string& extension) {
    const std::u16string small = lower(extension);
    return makeFileType(upper(extension) + u" File", upper(extension), small, small, u"audio/" + extension,
                        u"audio/x-" + extension);
}

void setRequestTitle(FileSelectorRequest& request, const std::u16string& title) {
    const size_t length = std::min<size_t>(title.size(), 1022);
    std::fill(std::begin(request.title), std::end(request.title), u'\0');
    std::copy_n(title.begin(), length, request.title);
}

std::vector<std::pair<std::u16string, std::u16string>> FileFilter::entries() const {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    size_t at = 0;
    while (at < text.size() && text[at] != u'\0') {
        const size_t displayEnd = text.find(u'\0', at);
        if (displayEnd == std::u16string::npos) break;
        const size_t patternEnd = text.find(u'\0', displayEnd + 1);
        if (patternEnd == std::u16string::npos) break;
        out.emplace_back(text.substr(at, displayEnd - at), text.substr(displayEnd + 1, patternEnd - displayEnd - 1));
        at = patternEnd + 1;
    }
    return out;
}

FileFilter openFilter(const FileTypeRecord* types, int count, const std::string& extraFilterUtf8) {
    constexpr size_t kMostExtensions = 100;
    FileFilter filter;
    std::vector<std::u16string> extensions;
    auto remember = [&](const std::u16string& extension) {
        if (extension.empty() || extensions.size() >= kMostExtensions) return;
        if (std::find(extensions.begin(), extensions.end(), extension) == extensions.end())
            extensions.push_back(extension);
    };
    for (int i = 0; i < count; ++i) {
        const auto [display, pattern] = typeEntry(types[i]);
        addEntry(filter.text, display, pattern);
        remember(types[i].extension);
        remember(types[i].secondExtension);
    }
    if (extensions.size() > 1) {
        std::u16string all;
        for (const auto& extension : extensions) all += (all.empty() ? u"*." : u";*.") + extension;
        addEntry(filter.text, u"All Types: (" + all + u")", all);
    }
    if (!extraFilterUtf8.empty()) {
        // The caller's entries, written as "text|pattern|text|pattern".
        std::u16string extra = fromUtf8(extraFilterUtf8);
        std::replace(extra.begin(), extra.end(), u'|', u'\0');
        filter.text += extra;
        if (filter.text.back() != u'\0') filter.text.push_back(u'\0');
    } else {
        addEntry(filter.text, u"Any Type (*.*)", u"*.*");
    }
    filter.text.push_back(u'\0');
    filter.selected = count < 2 ? 1 : count + 1;
    return filter;
}

FileFilter saveFilter(const FileTypeRecord* types, int count) {
    FileFilter filter;
    for (int i = 0; i < count; ++i) {
        const auto [display, pattern] = typeEntry(types[i]);
        addEntry(filter.text, display, pattern);
    }
    filter.text.push_back(u'\0');
    filter.selected = 1;
    return filter;
}

std::u16string fileNameOf(const std::u16string& path) {
    const size_t slash = path.find_last_of(u"/\\");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string overwriteQuestion(const std::u16string& path) {
    return u"\"" + fileNameOf(path) +
           u"\" already exists. Do you want to replace it?\nReplacing it will overwrite its current contents.";
}

std::vector<std::u16string> splitMultipleSelection(const char16_t* answer) {
    std::vector<std::u16string> parts;
    for (const char16_t* p = answer; p && *p; p += std::char_traits<char16_t>::length(p) + 1) parts.emplace_back(p);
    if (parts.size() <= 1) return parts;
    std::u16string folder = parts.front();
    if (folder.back() != u'\\') folder.push_back(u'\\');
    std::vector<std::u16string> paths;
    for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
    return paths;
}

} // namespace vantor::VTR
