// The interface of the progress popup: a message line, one or two bars, optionally a Cancel
// button. Polled: the caller reports work with setMessage / setProgress and reads their answer,
// true while the user has not cancelled.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

class VxProgressDialogBase {
public:
    virtual bool setMessage(const std::u16string& message) = 0;
    virtual bool setProgress(uint32_t value) = 0;
    virtual ~VxProgressDialogBase() = default;
    // True while the Cancel question is open: the dialog is inside its own handler then and must
    // not be deleted until the answer is in.
    virtual bool asking() const { return false; }
};

} // namespace vantor
