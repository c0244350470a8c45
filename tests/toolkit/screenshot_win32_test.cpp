// A screenshot of a media-bar-like panel (the five image buttons enabled, disabled and pressed, a
// slider and a text) taken from the screen, kept as a PNG in the build folder's artifacts and
// checked at a few points.
#include "toolkit/NativeControls.h"
#include "toolkit/ToolkitWin32Fixture.h"
#include "toolkit/Window.h"

#include <png.h>

#include <cstdio>
#include <filesystem>

namespace vantor::VTR {
namespace {

using test::MemoryCanvas;

HWND hwnd(void* handle) {
    return static_cast<HWND>(handle);
}

// Writes the canvas as an RGB PNG through libpng's write interface.
bool writePng(const MemoryCanvas& canvas, const std::filesystem::path& file) {
    FILE* out = _wfopen(file.wstring().c_str(), L"wb");
    if (!out) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, canvas.width(), canvas.height(), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(static_cast<size_t>(canvas.width()) * 3);
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const auto rgb = canvas.rgb(x, y);
            for (int c = 0; c < 3; ++c) row[3 * x + c] = static_cast<uint8_t>(rgb[c]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(out);
    return true;
}

int brightness(const std::array<int, 3>& rgb) {
    return rgb[0] + rgb[1] + rgb[2];
}

TEST(ToolkitScreenshot, MediaBarPanelShowsItsLooks) {
    auto* window = new Window(40, 40, 420, 140, false, 0, u"Quorvel toolkit", u"shot");
    ASSERT_NE(window->getHandle(), nullptr);
    RECT client;
    GetClientRect(hwnd(window->getHandle()), &client);
    auto* panel = new Panel(nullptr, window->getHandle(), 0, 0, client.right, client.bottom, 1, u"bar");
    panel->setBackgroundColour(Colour{0.2, 0.4, 0.6, 255.0}); // (51, 102, 153)
    const char* names[] = {"media-playback-start", "media-playback-stop", "media-eject", "media-skip-backward",
                           "media-record"};
    NativeButtonBitmap* buttons[5] = {};
    for (int i = 0; i < 5; ++i)
        buttons[i] = new NativeButtonBitmap(nullptr, panel->getHandle(), 10 + 40 * i, 10, 32, 32, u"", false,
                                            u"button", 100 + i, test::mediaImage(names[i]));
    buttons[1]->setEnabled(false);                                  // stop: disabled
    SendMessageW(hwnd(buttons[2]->getHandle()), BM_SETSTATE, TRUE, 0); // eject: held down
    new NativeSlider(nullptr, panel->getHandle(), 215, 12, 180, 28, 0, 100, 40, u"position", 200);
    new NativeStaticText(nullptr, panel->getHandle(), 10, 60, 200, 20, u"Vantor Quorvel", u"status", 201);
    window->show(true);
    UpdateWindow(hwnd(window->getHandle()));
    // Let every child paint, then read the screen.
    const DWORD start = GetTickCount();
    test::pumpUntil([&] { return GetTickCount() - start > 500; });
    RECT area;
    GetWindowRect(hwnd(panel->getHandle()), &area);
    MemoryCanvas shot(area.right - area.left, area.bottom - area.top, RGB(0, 0, 0));
    HDC screen = GetDC(nullptr);
    BitBlt(shot.dc(), 0, 0, shot.width(), shot.height(), screen, area.left, area.top, SRCCOPY);
    ReleaseDC(nullptr, screen);

    const std::filesystem::path artifacts = std::filesystem::path(QUORVEL_ARTIFACT_DIR);
    std::filesystem::create_directories(artifacts);
    EXPECT_TRUE(writePng(shot, artifacts / "toolkit-media-bar.png"));

    // The panel's background where nothing is.
    EXPECT_EQ(shot.rgb(400, 100), (std::array<int, 3>{51, 102, 153}));
    // Each button's grey border at its top-left corner.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(shot.rgb(10 + 40 * i, 10), (std::array<int, 3>{128, 128, 128})) << i;
    // The images, at a few points each, as their look drawn over the panel's colour: normal,
    // disabled (stop) and pressed (eject).
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(names[i]);
        const CBitmap& look = i == 1 ? buttons[i]->disabledImage() : i == 2 ? buttons[i]->pressedImage()
                                                                            : buttons[i]->normalImage();
        MemoryCanvas expected(22, 22, RGB(51, 102, 153));
        const_cast<CBitmap&>(look).draw(expected.dc(), VRect{0, 0, 22, 22}, VPoint{0, 0});
        for (auto [x, y] : {std::pair<int, int>{11, 11}, {6, 11}, {15, 8}, {11, 16}, {1, 1}}) {
            const auto got = shot.rgb(10 + 40 * i + 5 + x, 10 + 5 + y);
            const auto want = expected.rgb(x, y);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 2) << "at " << x << "," << y;
        }
    }
    // The three looks differ where the image is opaque.
    EXPECT_NE(brightness(shot.rgb(50 + 16, 26)), brightness(shot.rgb(10 + 16, 26)));
    // The text is drawn (some dark pixels) in its box.
    int dark = 0;
    for (int y = 60; y < 80; ++y)
        for (int x = 10; x < 210; ++x) dark += brightness(shot.rgb(x, y)) < 200;
    EXPECT_GT(dark, 20);

    DestroyWindow(hwnd(window->getHandle()));
}

} // namespace
} // namespace vantor::VTR
