// The toolkit under Wine, in-process: windows and panels, the bitmap button's looks, the slider's
// notifications, and a screenshot of a media-bar-like panel.
#include "toolkit/NativeControls.h"
#include "support/FileBytes.h"
#include "toolkit/Window.h"
#include "toolkit/ToolkitWin32Fixture.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <vector>

#include <commctrl.h>

namespace vantor::VTR {
namespace {

using test::MemoryCanvas;
using test::pumpUntil;

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new test::ToolkitEnvironment);

HWND hwnd(void* handle) {
    return static_cast<HWND>(handle);
}

struct Deletions {
    int window = 0, panel = 0, text = 0;
};

class CountedWindow : public Window {
public:
    CountedWindow(Deletions& deletions) : Window(30, 40, 320, 200, false, 0, u"Toolkit test", u"test"), d_(deletions) {}
    ~CountedWindow() override { ++d_.window; }
    Deletions& d_;
};

class CountedPanel : public Panel {
public:
    CountedPanel(Deletions& deletions, void* parent)
        : Panel(nullptr, parent, 10, 20, 200, 100, 7, u"panel"), d_(deletions) {}
    ~CountedPanel() override { ++d_.panel; }
    Deletions& d_;
};

// Called when a window procedure is read from freed memory (see ScribbledText).
std::atomic<int> tripwireCalls{0};
LRESULT CALLBACK tripwire(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++tripwireCalls;
    return DefWindowProcW(window, message, wParam, lParam);
}

// Its memory is filled with the tripwire's address when it is freed: a window procedure read from
// the object after its deletion is the tripwire. (Wine swallows the crash that a plain garbage
// pointer would cause inside a window procedure.)
class ScribbledText : public NativeStaticText {
public:
    ScribbledText(Deletions& deletions, void* parent)
        : NativeStaticText(nullptr, parent, 5, 5, 100, 20, u"text", u"text", 9), d_(deletions) {}
    ~ScribbledText() override { ++d_.text; }
    static void operator delete(void* memory, size_t size) {
        const auto trap = reinterpret_cast<uintptr_t>(&tripwire);
        for (size_t at = 0; at + sizeof trap <= size; at += sizeof trap)
            std::memcpy(static_cast<char*>(memory) + at, &trap, sizeof trap);
        ::operator delete(memory);
    }
    Deletions& d_;
};

RECT screenRect(void* handle) {
    RECT r;
    GetWindowRect(hwnd(handle), &r);
    return r;
}

TEST(ToolkitWindows, ObjectsLiveAsLongAsTheirWindowsAndResizingKeepsTheCorner) {
    Deletions deletions;
    auto* window = new CountedWindow(deletions);
    ASSERT_NE(window->getHandle(), nullptr);
    EXPECT_EQ(reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd(window->getHandle()), GWLP_USERDATA)), window);
    auto* panel = new CountedPanel(deletions, window->getHandle());
    ASSERT_NE(panel->getHandle(), nullptr);
    wchar_t className[64] = {};
    GetClassNameW(hwnd(panel->getHandle()), className, 64);
    EXPECT_STREQ(className, L"VTRPanelClass");
    EXPECT_TRUE(IsWindowVisible(hwnd(panel->getHandle())) || !IsWindowVisible(hwnd(window->getHandle())));
    auto* text = new ScribbledText(deletions, panel->getHandle());
    ASSERT_NE(text->getHandle(), nullptr);

    window->setSize(400, 260);
    RECT r = screenRect(window->getHandle());
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 260);
    window->setPosition(50, 60);
    r = screenRect(window->getHandle());
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.right - r.left, 400);

    const RECT panelBefore = screenRect(panel->getHandle());
    panel->setSize(150, 80);
    RECT p = screenRect(panel->getHandle());
    EXPECT_EQ(p.left, panelBefore.left);
    EXPECT_EQ(p.top, panelBefore.top);
    EXPECT_EQ(p.right - p.left, 150);
    EXPECT_EQ(p.bottom - p.top, 80);
    panel->setPosition(12, 22);
    p = screenRect(panel->getHandle());
    EXPECT_EQ(p.left - panelBefore.left, 2);
    EXPECT_EQ(p.right - p.left, 150);

    // A panel without a background paints nothing; with one it fills its rectangle.
    {
        MemoryCanvas canvas(150, 80, RGB(1, 2, 3));
        DrawContext context(canvas.dc(), 150, 80);
        panel->paint(context);
        EXPECT_EQ(canvas.rgb(75, 40), (std::array<int, 3>{1, 2, 3}));
        panel->setBackgroundColour(Colour{0.5, 0.25, 1.0, 255.0});
        EXPECT_TRUE(panel->isBackgroundEnabled());
        panel->paint(context);
        EXPECT_EQ(canvas.rgb(0, 0), (std::array<int, 3>{127, 63, 255}));
        EXPECT_EQ(canvas.rgb(149, 79), (std::array<int, 3>{127, 63, 255}));
    }

    // Destroying the top-level window takes the panel and the text, objects and all.
    DestroyWindow(hwnd(window->getHandle()));
    EXPECT_EQ(deletions.window, 1);
    EXPECT_EQ(deletions.panel, 1);
    EXPECT_EQ(deletions.text, 1);
    EXPECT_EQ(tripwireCalls.load(), 0) << "a destroyed control used its object after deleting it";
}

struct ClickCounter : VTRButtonListener {
    std::vector<int32_t> clicks;
    void buttonClicked(int32_t id) override { clicks.push_back(id); }
};

struct SliderRecorder : SliderListener {
    std::vector<std::pair<int32_t, int>> changes;
    void sliderChanged(int32_t id, int value) override { changes.emplace_back(id, value); }
};

class ToolkitControls : public ::testing::Test {
protected:
    void SetUp() override {
        window = new Window(0, 0, 400, 200, false, 0, u"Controls", u"controls");
        panel = new Panel(nullptr, window->getHandle(), 0, 0, 400, 200, 1, u"panel");
        ASSERT_NE(panel->getHandle(), nullptr);
    }
    void TearDown() override {
        if (window) DestroyWindow(hwnd(window->getHandle()));
    }
    // What the panel receives when a child control notifies it.
    void sendToPanel(UINT message, WPARAM wParam, void* child) {
        SendMessageW(hwnd(panel->getHandle()), message, wParam, reinterpret_cast<LPARAM>(child));
    }
    Window* window = nullptr;
    Panel* panel = nullptr;
};

TEST_F(ToolkitControls, SliderNotifiesChangesOnceAndSkipsTheExceptedListener) {
    auto* slider = new NativeSlider(nullptr, panel->getHandle(), 10, 10, 200, 30, 0, 100, 0, u"position", 42);
    ASSERT_NE(slider->getHandle(), nullptr);
    SliderRecorder first, second;
    const int firstId = slider->addListener(&first);
    const int secondId = slider->addListener(&second);
    EXPECT_EQ(firstId, 1);
    EXPECT_EQ(secondId, 2);

    slider->setValue(10, firstId); // the first listener moved it: only the second hears of it
    EXPECT_EQ(slider->position(), 10);
    EXPECT_TRUE(first.changes.empty());
    EXPECT_EQ(second.changes, (std::vector<std::pair<int32_t, int>>{{42, 10}}));
    slider->setValue(10, 0); // the same value again: nobody
    EXPECT_EQ(second.changes.size(), 1u);

    // The user drags it: the trackbar moves and the panel forwards WM_HSCROLL.
    SendMessageW(hwnd(slider->getHandle()), TBM_SETPOS, TRUE, 25);
    sendToPanel(WM_HSCROLL, TB_THUMBTRACK, slider->getHandle());
    sendToPanel(WM_HSCROLL, TB_THUMBTRACK, slider->getHandle()); // through the same value twice
    EXPECT_EQ(first.changes, (std::vector<std::pair<int32_t, int>>{{42, 25}}));
    EXPECT_EQ(second.changes, (std::vector<std::pair<int32_t, int>>{{42, 10}, {42, 25}}));
    // Moving it to the starting value of a new slider tells nobody.
    EXPECT_TRUE(slider->removeListener(firstId));
    EXPECT_FALSE(slider->removeListener(firstId));
    slider->setValue(30, 0);
    EXPECT_EQ(first.changes.size(), 1u);
    EXPECT_EQ(second.changes.back(), (std::pair<int32_t, int>{42, 30}));
}

TEST_F(ToolkitControls, ButtonClicksReachListenersOnlyWithTheClickCode) {
    auto* button = new NativeButtonBitmap(nullptr, panel->getHandle(), 10, 10, 32, 32, u"", false, u"play", 77,
                                          test::mediaImage("media-playback-start"));
    ASSERT_NE(button->getHandle(), nullptr);
    ClickCounter listener;
    button->addListener(&listener);
    SendMessageW(hwnd(button->getHandle()), BM_CLICK, 0, 0);
    EXPECT_EQ(listener.clicks, (std::vector<int32_t>{77}));
    sendToPanel(WM_COMMAND, MAKEWPARAM(77, 5), button->getHandle()); // another notification code
    EXPECT_EQ(listener.clicks.size(), 1u);
    // (A disabled button gets no input from the system, so no click; BM_CLICK would bypass
    // that, so the disabled look is what the screenshot test checks.)
    button->setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
    button->setEnabled(true);
    EXPECT_TRUE(button->isEnabled());
}

// The three looks of a bitmap button, drawn over white into a memory bitmap and read back: each
// pixel is the image's premultiplied pixel over the background, and the disabled and pressed
// images are the normal one blended and offset.
TEST_F(ToolkitControls, BitmapButtonLooksDrawPixelByPixel) {
    auto* button = new NativeButtonBitmap(nullptr, panel->getHandle(), 10, 10, 40, 30, u"", false, u"record", 5,
                                          test::mediaImage("media-record"));
    const CBitmap& normal = button->normalImage();
    ASSERT_EQ(normal.width(), 22);
    ASSERT_EQ(normal.height(), 22);
    EXPECT_FALSE(normal.transparentColourMode());
    EXPECT_EQ(button->imageRect().left, 9);
    EXPECT_EQ(button->imageRect().top, 4);
    EXPECT_EQ(button->imageRect().right, 31);
    EXPECT_EQ(button->imageRect().bottom, 26);

    const size_t count = 22 * 22;
    std::vector<uint8_t> expectedDisabled(normal.bits(), normal.bits() + 4 * count);
    blendTowards(expectedDisabled.data(), count, kDisabledBlendColour, kDisabledBlendFactor);
    std::vector<uint8_t> expectedPressed(normal.bits(), normal.bits() + 4 * count);
    offsetChannels(expectedPressed.data(), count, unpackColour(kPressedOffsetColour));
    EXPECT_EQ(std::vector<uint8_t>(button->disabledImage().bits(), button->disabledImage().bits() + 4 * count),
              expectedDisabled);
    EXPECT_EQ(std::vector<uint8_t>(button->pressedImage().bits(), button->pressedImage().bits() + 4 * count),
              expectedPressed);

    for (const CBitmap* image : {&button->normalImage(), &button->disabledImage(), &button->pressedImage()}) {
        MemoryCanvas canvas(22, 22, RGB(255, 255, 255));
        const_cast<CBitmap*>(image)->draw(canvas.dc(), VRect{0, 0, 22, 22}, VPoint{0, 0});
        int wrong = 0;
        for (int y = 0; y < 22; ++y)
            for (int x = 0; x < 22; ++x) {
                const uint8_t* p = image->bits() + 4 * ((21 - y) * 22 + x); // bottom-up
                const auto got = canvas.rgb(x, y);
                for (int c = 0; c < 3; ++c) {
                    const int want = p[2 - c] + 255 * (255 - p[3]) / 255; // source over white
                    if (std::abs(got[c] - want) > 1) ++wrong;
                }
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(ToolkitControls, AMissingOrBrokenImageLeavesAnEmptyButton) {
    auto* button = new NativeButtonBitmap(nullptr, panel->getHandle(), 10, 10, 32, 32, u"", false, u"none", 6,
                                          u"Z:\\no\\such\\image22.png");
    EXPECT_EQ(button->normalImage().width(), 0);
    EXPECT_EQ(button->normalImage().bits(), nullptr);
    const std::filesystem::path broken = std::filesystem::temp_directory_path() / "quorvel-broken22.png";
    std::vector<uint8_t> bytes = test::readFileBytes(std::filesystem::path(test::mediaImage("media-eject")));
    ASSERT_GT(bytes.size(), 100u);
    bytes.resize(bytes.size() / 2);
    FILE* f = _wfopen(broken.wstring().c_str(), L"wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    CBitmap bitmap(broken.u16string());
    EXPECT_EQ(bitmap.width(), 0);
    EXPECT_EQ(bitmap.pixelsHandle(), nullptr);
    std::filesystem::remove(broken);
    // Drawing an empty image draws nothing.
    MemoryCanvas canvas(4, 4, RGB(9, 8, 7));
    bitmap.draw(canvas.dc(), VRect{0, 0, 4, 4}, VPoint{0, 0});
    EXPECT_EQ(canvas.rgb(1, 1), (std::array<int, 3>{9, 8, 7}));
}

} // namespace
} // namespace vantor::VTR
