#include "toolkit/FileSelector.h"

#include <gtest/gtest.h>

namespace vantor::VTR {
namespace {

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

// The filter lists of the three builders and the rules behind them, as the dialogs get them.
TEST(FileSelector, FilterListsOfTheBuildersAndTheirRules) {
    const auto midi = midiFileTypes();
    const FileFilter midiOpen = openFilter(midi.data(), 2, "");
    EXPECT_EQ(midiOpen.entries(), (Entries{{u"MIDI Files (.mid)", u"*.mid"},
                                           {u"MIDI Files (.midi)", u"*.midi"},
                                           {u"All Types: (*.mid;*.midi)", u"*.mid;*.midi"},
                                           {u"Any Type (*.*)", u"*.*"}}));
    EXPECT_EQ(midiOpen.selected, 3);
    // Each entry NUL-terminated and the list ending with one more NUL.
    EXPECT_EQ(midiOpen.text.substr(midiOpen.text.size() - 5), std::u16string(u"*.*\0\0", 5));

    const FileTypeRecord wav = wavFileType();
    const FileFilter wavSave = saveFilter(&wav, 1);
    EXPECT_EQ(wavSave.entries(), (Entries{{u"WAV Files (.wav)", u"*.wav"}}));
    EXPECT_EQ(wavSave.selected, 1);

    const FileTypeRecord state = oneExtensionFileType(u"Brevian");
    EXPECT_EQ(std::u16string(state.name), u"BREVIAN File");
    EXPECT_EQ(std::u16string(state.typeCode), u"BREVIAN");
    EXPECT_EQ(std::u16string(state.extension), u"brevian");
    EXPECT_EQ(std::u16string(state.secondExtension), u"brevian");
    EXPECT_EQ(std::u16string(state.mimeType), u"audio/Brevian");
    EXPECT_EQ(std::u16string(state.secondMimeType), u"audio/x-Brevian");
    EXPECT_EQ(saveFilter(&state, 1).entries(), (Entries{{u"BREVIAN File (.brevian)", u"*.brevian"}}));
    const FileFilter stateOpen = openFilter(&state, 1, "");
    EXPECT_EQ(stateOpen.entries(), (Entries{{u"BREVIAN File (.brevian)", u"*.brevian"}, {u"Any Type (*.*)", u"*.*"}}));
    EXPECT_EQ(stateOpen.selected, 1);

    // A second extension that differs joins the pattern; equal extensions of several types count
    // once for "All Types"; the caller's extra filter replaces "Any Type".
    const FileTypeRecord types[] = {makeFileType(u"Pictures", u"JPG", u"jpg", u"jpeg", u"", u""),
                                    makeFileType(u"Photos", u"JPG", u"jpg", u"", u"", u"")};
    const FileFilter mixed = openFilter(types, 2, "Text \xC3\xA9|*.txt");
    EXPECT_EQ(mixed.entries(), (Entries{{u"Pictures (.jpg)", u"*.jpg;*.jpeg"},
                                        {u"Photos (.jpg)", u"*.jpg"},
                                        {u"All Types: (*.jpg;*.jpeg)", u"*.jpg;*.jpeg"},
                                        {u"Text \u00E9", u"*.txt"}}));
    EXPECT_EQ(mixed.selected, 3);
}

TEST(FileSelector, OverwriteQuestionNamesTheFileAfterTheLastSeparator) {
    EXPECT_EQ(overwriteQuestion(u"C:\\take\\one.wav"),
              u"\"one.wav\" already exists. Do you want to replace it?\nReplacing it will overwrite its current contents.");
    EXPECT_EQ(fileNameOf(u"C:/music\\2024/b.wav"), u"b.wav");
    EXPECT_EQ(fileNameOf(u"C:\\music/2024\\c.wav"), u"c.wav");
    EXPECT_EQ(fileNameOf(u"plain.wav"), u"plain.wav");

    FileSelectorRequest request;
    setRequestTitle(request, std::u16string(2000, u'x'));
    EXPECT_EQ(std::u16string(request.title).size(), 1022u);
    EXPECT_EQ(request.title[1023], u'\0');

    const char16_t several[] = u"C:\\dir\0a.mid\0b.mid\0";
    EXPECT_EQ(splitMultipleSelection(several), (std::vector<std::u16string>{u"C:\\dir\\a.mid", u"C:\\dir\\b.mid"}));
    const char16_t rooted[] = u"C:\\\0a.mid\0b.mid\0";
    EXPECT_EQ(splitMultipleSelection(rooted), (std::vector<std::u16string>{u"C:\\a.mid", u"C:\\b.mid"}));
    const char16_t single[] = u"C:\\dir\\a.mid\0";
    EXPECT_EQ(splitMultipleSelection(single), (std::vector<std::u16string>{u"C:\\dir\\a.mid"}));
}

} // namespace
} // namespace vantor::VTR
