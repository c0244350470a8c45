// The progress popup: cancel with and without the confirmation question (answered by the test),
// and under Windows its window: range 100 and setProgress(37), two-bar mode, the owner disabled
// only while a window exists.
#include "toolkit/VxProgressDialog.h"

#include <gtest/gtest.h>

#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>
#endif

using vantor::VxProgressDialog;

namespace {
struct QuestionScope {
    explicit QuestionScope(bool yes) {
        VxProgressDialog::setQuestionHook([this, yes](const std::u16string& caption, const std::u16string& text) {
            asked.push_back(caption + u"|" + text);
            return yes;
        });
    }
    ~QuestionScope() { VxProgressDialog::setQuestionHook({}); }
    std::vector<std::u16string> asked;
};
} // namespace

TEST(ProgressDialogTest, CancelAsksWhenToldToAndStaysCancelled) {
    {
        QuestionScope no(false);
        VxProgressDialog dialog(u"Rendering", nullptr, 100, true, true, false);
        dialog.onCancelCommand();
        EXPECT_EQ(no.asked, (std::vector<std::u16string>{u"Rendering|Do you really want to cancel?"}));
        EXPECT_TRUE(dialog.setProgress(10)); // No: the work goes on
        EXPECT_TRUE(dialog.setMessage(u"still"));
    }
    {
        QuestionScope yes(true);
        VxProgressDialog dialog(u"Rendering", nullptr, 100, true, true, false);
        dialog.onCancelCommand();
        EXPECT_FALSE(dialog.setProgress(20));
        EXPECT_FALSE(dialog.setProgress(30)); // once set, it stays
    }
    {
        QuestionScope never(true);
        VxProgressDialog dialog(u"Rendering", nullptr, 100, true, false, false);
        dialog.onCancelCommand();
        EXPECT_TRUE(never.asked.empty());
        EXPECT_FALSE(dialog.setProgress(40));
    }
}

#if defined(_WIN32)
namespace {
HWND makeOwner() {
    return CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 600, 400, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}
int position(void* bar) {
    return static_cast<int>(SendMessageW(static_cast<HWND>(bar), PBM_GETPOS, 0, 0));
}
int upper(void* bar) {
    return static_cast<int>(SendMessageW(static_cast<HWND>(bar), PBM_GETRANGE, FALSE, 0));
}
} // namespace

TEST(ProgressDialogTest, OneBarShowsThePositionOverADisabledOwnerThatComesBack) {
    HWND owner = makeOwner();
    ASSERT_NE(owner, nullptr);
    {
        VxProgressDialog dialog(u"Rendering", owner, 100, false, false, false);
        ASSERT_NE(dialog.window(), nullptr);
        EXPECT_EQ(dialog.owner(), owner);
        EXPECT_FALSE(IsWindowEnabled(owner));
        EXPECT_EQ(dialog.secondBar(), nullptr);
        EXPECT_EQ(dialog.cancelButton(), nullptr);
        EXPECT_EQ(upper(dialog.firstBar()), 100);
        EXPECT_TRUE(dialog.setProgress(37));
        EXPECT_EQ(position(dialog.firstBar()), 37);
        RECT r{}, o{};
        GetWindowRect(static_cast<HWND>(dialog.window()), &r);
        GetWindowRect(owner, &o);
        EXPECT_EQ(r.right - r.left, 400);
        EXPECT_EQ(r.left, (o.left + o.right) / 2 - 200);
    }
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST(ProgressDialogTest, TwoBarsCountMessagesOnTheFirstAndPositionsOnTheSecond) {
    HWND owner = makeOwner();
    VxProgressDialog dialog(u"Work", owner, 5, true, false, true);
    ASSERT_NE(dialog.secondBar(), nullptr);
    ASSERT_NE(dialog.cancelButton(), nullptr);
    dialog.setMessage(u"one");
    dialog.setMessage(u"two");
    EXPECT_TRUE(dialog.setProgress(60));
    EXPECT_EQ(position(dialog.firstBar()), 2);
    EXPECT_EQ(upper(dialog.firstBar()), 5);
    EXPECT_EQ(position(dialog.secondBar()), 60);
    // The button's click reaches the Cancel handler through the dialog window.
    SendMessageW(static_cast<HWND>(dialog.window()), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.cancelButton()));
    EXPECT_FALSE(dialog.setProgress(70));
    DestroyWindow(owner);
}

TEST(ProgressDialogTest, AnOwnerOfAnotherThreadGetsNoWindowAndStaysEnabled) {
    HWND owner = GetDesktopWindow(); // the desktop belongs to another thread
    VxProgressDialog dialog(u"Rendering", owner, 100, false, false, false);
    EXPECT_EQ(dialog.window(), nullptr);
    EXPECT_TRUE(dialog.setProgress(50));
}
#endif
