// BoxCapture: collects the host's message boxes for as long as it lives instead of showing them.
// A test that reaches code which may show a box must hold one: under Wine a real box is modal and
// waits for a click that never comes.
//
//   #include "support/BoxCapture.h"
//   vantor::test::BoxCapture boxes;
//   ... code under test calls vantor::showMessageBox ...
//   boxes.boxes()              -> (caption, text) pairs in the order shown
//   boxes.contains("substr")   -> true if some box's text contains it
//   boxes.clear()              -> forget the boxes seen so far
#pragma once

#include "app/UserMessage.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vantor::test {

class BoxCapture {
public:
    BoxCapture() {
        setMessageBoxHook([this](const std::string& caption, const std::string& text) {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.emplace_back(caption, text);
        });
    }
    ~BoxCapture() { setMessageBoxHook({}); }
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    std::vector<std::pair<std::string, std::string>> boxes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.clear();
    }
    bool contains(const std::string& text) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& box : boxes_)
            if (box.second.find(text) != std::string::npos) return true;
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> boxes_;
};

} // namespace vantor::test
