#include "tests/support/notification_recorder.h"

#include <atomic>
#include <cstdio>

#include "core/notifications.h"

namespace {

std::atomic<NotificationRecorder*> installed{nullptr};

bool CarriesText(uint32_t code) { return code == MSG_STATUS_LINE || code == MSG_OPERATION_DONE; }

} // namespace

std::wstring Describe(const Notification& n) {
    switch (n.code) {
    case MSG_STATUS_LINE:
        return L"line " + std::to_wstring(n.wParam) + L": " + n.text;
    case MSG_PROGRESS:
        return L"progress " + std::to_wstring(n.wParam) + L" mark " + std::to_wstring(n.lParam);
    case MSG_OPERATION_DONE:
        return L"done " + std::to_wstring(n.wParam) + L": " + n.text;
    case MSG_INSTRUMENT_CHECKED:
        return L"instrument checked";
    case MSG_REINSTALL_PROMPT:
        return L"reinstall prompt";
    default:
        break;
    }
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%04x", static_cast<unsigned>(n.code));
    return L"code " + std::wstring(code) + L" " + std::to_wstring(n.wParam) + L" " + std::to_wstring(n.lParam);
}

NotificationRecorder::NotificationRecorder() {
    installed.store(this);
    SetPostHook(Hook);
}

NotificationRecorder::~NotificationRecorder() {
    SetPostHook(nullptr);
    installed.store(nullptr);
}

bool NotificationRecorder::Hook(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    return installed.load()->Receive(code, wParam, lParam);
}

bool NotificationRecorder::Receive(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    std::function<void(const Notification&)> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (refusing_) return false;
        observer = observer_;
    }
    auto* payload = CarriesText(code) ? reinterpret_cast<std::wstring*>(lParam) : nullptr;
    Notification notification{code, wParam, lParam, payload ? *payload : std::wstring()};
    if (observer) observer(notification);
    // The window owns the text from here and frees it once handled; so do we.
    delete payload;
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(std::move(notification));
    return true;
}

std::vector<Notification> NotificationRecorder::All() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::wstring> NotificationRecorder::Descriptions() const {
    std::vector<std::wstring> lines;
    for (const Notification& n : All()) lines.push_back(Describe(n));
    return lines;
}

std::vector<Notification> NotificationRecorder::OfCode(uint32_t code) const {
    std::vector<Notification> matching;
    for (const Notification& n : All()) {
        if (n.code == code) matching.push_back(n);
    }
    return matching;
}

size_t NotificationRecorder::Count(uint32_t code) const { return OfCode(code).size(); }

std::vector<std::wstring> NotificationRecorder::StatusLines(int line) const {
    std::vector<std::wstring> texts;
    for (const Notification& n : OfCode(MSG_STATUS_LINE)) {
        if (n.wParam == static_cast<uintptr_t>(line)) texts.push_back(n.text);
    }
    return texts;
}

void NotificationRecorder::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
}

void NotificationRecorder::SetObserver(std::function<void(const Notification&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void NotificationRecorder::SetRefusing(bool refusing) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusing_ = refusing;
}
