// The progress popup ("vantorProgressDialog"): 400 x 150 pixels centred on its owner, a label,
// one or two bars and optionally a Cancel button, while its owner is disabled. It pumps a few
// pending messages itself on the first call and every fourth, so it stays painted while the
// caller blocks the message loop. Without a usable owner (none, or one of another thread) or when
// the window cannot be created, nothing is shown and nothing is disabled; the calls still answer.
//
// GUI thread only.
#pragma once

#include "toolkit/VxProgressDialogBase.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vantor {

class VxProgressDialog : public VxProgressDialogBase {
public:
    VxProgressDialog(const std::u16string& title, void* owner, uint16_t range, bool cancellable, bool confirmCancel,
                     bool twoBars);
    ~VxProgressDialog() override;
    VxProgressDialog(const VxProgressDialog&) = delete;
    VxProgressDialog& operator=(const VxProgressDialog&) = delete;

    bool setMessage(const std::u16string& message) override;
    bool setProgress(uint32_t value) override;

    bool cancelled() const { return cancelled_; }
    bool asking() const override { return asking_; }
    void* window() const { return dialog_; }
    void* owner() const { return owner_; }
    void* firstBar() const { return firstBar_; }
    void* secondBar() const { return secondBar_; }
    void* cancelButton() const { return cancelButton_; }

    // The Yes/No question "Do you really want to cancel?" (caption = title); true for Yes. Tests
    // answer it; empty restores the system's message box.
    using Question = std::function<bool(const std::u16string& caption, const std::u16string& text)>;
    static void setQuestionHook(Question question);

    // The Cancel handler's work: a command reached the dialog window.
    void onCancelCommand();

private:
    void pump();

    void* firstBar_ = nullptr;
    void* secondBar_ = nullptr;
    void* dialog_ = nullptr;
    void* label_ = nullptr;
    void* owner_ = nullptr;
    void* cancelButton_ = nullptr;
    void* replacedProcedure_ = nullptr;
    void* requestedOwner_ = nullptr;
    std::u16string title_;
    uint16_t range_ = 0;
    int64_t callCount_ = 0;
    bool cancelled_ = false;
    bool confirmCancel_ = false;
    bool twoBars_ = false;
    bool ownerDisabled_ = false;
    bool asking_ = false;
};

} // namespace vantor
