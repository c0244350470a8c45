// The toolkit window and the main window's geometry, on the real Win32 window under Wine and on
// the headless window natively: the same expectations hold for both.
#include "toolkit/Application.h"
#include "toolkit/Window.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vantor;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(application_.init());
        VTR::clearQuitPosted();
    }
    void TearDown() override { application_.exit(); }

    VTR::Application application_;
};

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0, clientWidth = 0, clientHeight = 0;
};

Geometry geometryOf(const VTR::Window& window) {
    Geometry g;
    window.position(g.x, g.y);
    window.windowSize(g.width, g.height);
    window.clientSize(g.clientWidth, g.clientHeight);
    return g;
}

class Answer : public VTR::WindowListener {
public:
    Answer(bool answer, std::vector<int>& asked, int name) : answer_(answer), asked_(asked), name_(name) {}
    bool query(int value) override {
        asked_.push_back(name_ * 1000 + value);
        return answer_;
    }

private:
    bool answer_;
    std::vector<int>& asked_;
    int name_;
};

} // namespace

TEST_F(WindowTest, SizeKeepsTheCornerAndPositionKeepsTheSize) {
    auto* window =
        new VTR::Window(40.9, 30.2, 400.7, 300.0, false, VTR::kWindowMinimizeBox, u"Test", u"test");
    ASSERT_NE(window->getHandle(), nullptr);
    EXPECT_FALSE(window->isVisible()) << "created hidden";
    Geometry g = geometryOf(*window);
    EXPECT_EQ(g.x, 40) << "pixels are truncated";
    EXPECT_EQ(g.y, 30);
    EXPECT_EQ(g.width, 400);
    EXPECT_EQ(g.height, 300);

    window->setSize(500, 320);
    g = geometryOf(*window);
    EXPECT_EQ(g.x, 40);
    EXPECT_EQ(g.y, 30);
    EXPECT_EQ(g.width, 500);
    EXPECT_EQ(g.height, 320);

    window->setPosition(70, 80);
    g = geometryOf(*window);
    EXPECT_EQ(g.x, 70);
    EXPECT_EQ(g.y, 80);
    EXPECT_EQ(g.width, 500);
    EXPECT_EQ(g.height, 320);

    window->show(true);
    EXPECT_TRUE(window->isVisible());
    window->show(false);
    EXPECT_FALSE(window->isVisible());
    window->destroy();
    EXPECT_FALSE(VTR::quitPosted()) << "only the main window ends the loop";
}

TEST_F(WindowTest, ListenersAreAskedInIdOrderUntilOneSaysNo) {
    auto* window = new VTR::Window(0, 0, 100, 100, true, 0, u"", u"");
    std::vector<int> asked;
    Answer yes(true, asked, 1), no(false, asked, 2), never(true, asked, 3);
    EXPECT_EQ(window->addListener(&yes), 1);
    EXPECT_EQ(window->addListener(&no), 2);
    EXPECT_EQ(window->addListener(&never), 3);
    window->setValue(7);
    EXPECT_EQ(window->value(), 7);
    EXPECT_FALSE(window->queryListeners());
    EXPECT_EQ(asked, (std::vector<int>{1007, 2007}));

    EXPECT_TRUE(window->removeListener(2));
    EXPECT_FALSE(window->removeListener(2));
    asked.clear();
    EXPECT_TRUE(window->queryListeners());
    EXPECT_EQ(asked, (std::vector<int>{1007, 3007}));
    EXPECT_EQ(window->addListener(&no), 4) << "ids are not reused";

    EXPECT_FALSE(window->isBackgroundEnabled());
    EXPECT_EQ(window->backgroundColour().alpha, 255.0);
    window->setBackgroundColour({0.5, 0.25, 1.0, 255.0});
    EXPECT_TRUE(window->isBackgroundEnabled());
    EXPECT_EQ(window->backgroundColour().green, 0.25);
    delete window; // deleting the object takes its native window with it
}

TEST_F(WindowTest, TheMainWindowHoldsTheEditorAndItsMediaBar) {
    VTR::setDefaultExtendedStyle(0x80);
    MainWindow* window = MainWindow::create(nullptr, true);
    EXPECT_EQ(VTR::defaultExtendedStyle(), 0x80u) << "the previous default is back";
    VTR::setDefaultExtendedStyle(0);
    ASSERT_NE(window->getHandle(), nullptr);
    EXPECT_TRUE(VTR::hasOpenWindow()) << "what the message loop runs for";
    EXPECT_EQ(window->title(), u"Vantor Quorvel");
    EXPECT_FALSE(window->isVisible());
    Geometry g = geometryOf(*window);
    EXPECT_EQ(g.x, 50);
    EXPECT_EQ(g.y, 50);
    EXPECT_EQ(g.width, 770);
    EXPECT_EQ(g.height, 350);

    window->fitToEditor(760, 300, 100, 100);
    g = geometryOf(*window);
    EXPECT_EQ(g.clientWidth, 760);
    EXPECT_EQ(g.clientHeight, 300 + 40);
    EXPECT_EQ(g.x, 100);
    EXPECT_EQ(g.y, 100);
    const int frameWidth = g.width - g.clientWidth, frameHeight = g.height - g.clientHeight;

    // The engine's resize request: the client area follows, the corner stays.
    window->editorResized(640, 280);
    g = geometryOf(*window);
    EXPECT_EQ(g.clientWidth, 640);
    EXPECT_EQ(g.clientHeight, 280 + 40);
    EXPECT_EQ(g.width - g.clientWidth, frameWidth);
    EXPECT_EQ(g.height - g.clientHeight, frameHeight);
    EXPECT_EQ(g.x, 100);
    EXPECT_EQ(g.y, 100);
    EXPECT_TRUE(window->smallerLayout());
    window->editorResized(0, 280);
    window->editorResized(640, -1);
    g = geometryOf(*window);
    EXPECT_EQ(g.clientWidth, 640);
    EXPECT_EQ(g.clientHeight, 320);

    window->showAndStartIdle();
    EXPECT_TRUE(window->isVisible());
    window->onTimer(MainWindow::kIdleTimerId); // no engine module: nothing to tick

    EXPECT_FALSE(VTR::quitPosted());
    window->destroy();
    EXPECT_TRUE(VTR::quitPosted()) << "closing the main window ends the message loop";
    EXPECT_FALSE(VTR::hasOpenWindow());
}

TEST_F(WindowTest, WithoutTheMediaBarTheClientAreaIsTheEditor) {
    MainWindow* window = MainWindow::create(nullptr, false);
    window->fitToEditor(755, 300, 100, 100);
    Geometry g = geometryOf(*window);
    EXPECT_EQ(g.clientWidth, 755);
    EXPECT_EQ(g.clientHeight, 300);
    window->chooseLayout(755);
    EXPECT_FALSE(window->smallerLayout());
    window->chooseLayout(754);
    EXPECT_TRUE(window->smallerLayout());
    window->destroy();
}
