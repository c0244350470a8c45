// The preferences dialog object: creating it stops audio if it plays and runs the dialog (template
// 106) modally; deleting it starts audio again if it played. It keeps no settings of its own:
// every list is read from the host and every change is sent at once.
#pragma once

#include "engineapi/EngineOpcodes.h"
#include "toolkit/CheckedListView_win32.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

namespace vantor {

class Prefs : public VTR::CheckedListViewListener {
public:
    static constexpr int kTemplate = 106;
    static constexpr int32_t kDeviceId = 1001, kStereoPairId = 1002, kSampleRateId = 1003, kBufferSizeId = 1004,
                             kOkId = 1005, kApiId = 1006, kMidiListId = 2200;
    static constexpr int kMaxSampleRates = 16;
    static constexpr const char* kMidiUnavailableCaption = "Brevian Standalone";
    static constexpr const char* kMidiUnavailableText = "This MIDI device is currently unavailable";

    // How the "unavailable MIDI device" box is shown, owned by the dialog (tests record it).
    using OwnedBox = std::function<void(HWND owner, const std::string& caption, const std::string& text)>;
    static void setOwnedBox(OwnedBox box);

    // The name shown for an API code ("MME", "DirectSound", ...); empty for an unknown code.
    static std::u16string apiName(int32_t code);

    // Stops audio if it plays, then runs the dialog until OK or WM_CLOSE.
    Prefs(HWND parent, EngineOpcodeFunction opcode);
    // Starts audio again if it played (the audio error box when that fails); deletes the list.
    ~Prefs() override;
    Prefs(const Prefs&) = delete;
    Prefs& operator=(const Prefs&) = delete;

    // A MIDI row was checked or unchecked by the user.
    void itemChanged(int32_t listId, int32_t row, bool checked) override;

    // The modal loop's result (-1 when the template could not be run).
    INT_PTR result() const { return result_; }

private:
    static INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    int32_t call(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, int32_t i1 = 0, int32_t i2 = 0,
                 int32_t i3 = 0) const;
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    int selection(int id) const;
    // False when a query failed (no devices at all is true with none).
    bool deviceRecords(std::vector<AudioDeviceRecord>& records, int32_t& current) const;

    void fillMidiList();
    void fillApiList();
    // False (the list unchanged) when the devices cannot be listed.
    bool fillDeviceList();
    void fillStereoPairList(bool selectCurrent);
    void fillSampleRateList();
    void fillBufferSizeList();

    void apiChanged();
    void deviceChanged();
    void stereoPairChanged();
    void sampleRateChanged();
    void bufferSizeChanged();

    EngineOpcodeFunction opcode_;
    VTR::CheckedListView* midiList_ = nullptr;
    HWND dialog_ = nullptr;
    std::vector<int32_t> apiCodes_;
    std::vector<int32_t> midiInputIds_;
    std::vector<int32_t> deviceIds_;
    int shownApi_ = -1; // the API entry whose devices the device list shows
    std::vector<int32_t> pairCounts_;
    std::vector<int32_t> sampleRates_;
    std::vector<int32_t> bufferSizes_;
    bool wasPlaying_ = false;
    INT_PTR result_ = 0;
};

} // namespace vantor
