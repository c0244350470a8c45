// Without a desktop there is no window: the calls answer as for a dialog whose window could not
// be created.
#include "toolkit/VxProgressDialog.h"

namespace vantor {

namespace {
VxProgressDialog::Question& questionHook() {
    static VxProgressDialog::Question hook;
    return hook;
}
} // namespace

void VxProgressDialog::setQuestionHook(Question question) {
    questionHook() = std::move(question);
}

VxProgressDialog::VxProgressDialog(const std::u16string& title, void* owner, uint16_t range, bool, bool confirmCancel,
                                   bool twoBars)
    : requestedOwner_(owner), title_(title), range_(range), confirmCancel_(confirmCancel), twoBars_(twoBars) {}

VxProgressDialog::~VxProgressDialog() = default;

bool VxProgressDialog::setMessage(const std::u16string&) {
    return !cancelled_;
}

bool VxProgressDialog::setProgress(uint32_t) {
    return !cancelled_;
}

void VxProgressDialog::onCancelCommand() {
    if (!confirmCancel_) {
        cancelled_ = true;
        return;
    }
    asking_ = true;
    const bool yes = questionHook() && questionHook()(title_, u"Do you really want to cancel?");
    asking_ = false;
    if (yes) cancelled_ = true;
}

void VxProgressDialog::pump() {}

} // namespace vantor
