#pragma once
// Records what the workers post to the window. While one exists it is the posting seam
// (SetPostHook): each notification is recorded with a copy of its text, and the text payload of
// MSG_STATUS_LINE and MSG_OPERATION_DONE is deleted right away, as the window does, so the
// sanitizers prove every text is freed exactly once. Thread-safe: workers post while the test
// reads. One instance at a time.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct Notification {
    uint32_t code = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    std::wstring text; // the payload's text for MSG_STATUS_LINE and MSG_OPERATION_DONE
};

// A compact form for expectations: "line 3: ●  Передача прошивки: 1 из 2", "progress 90 mark 1",
// "done 1: Прошивка ...", "instrument checked", "reinstall prompt", "code 0x8005 1 514".
std::wstring Describe(const Notification& notification);

class NotificationRecorder {
public:
    NotificationRecorder();  // installs itself as the post hook
    ~NotificationRecorder(); // restores the platform's posting
    NotificationRecorder(const NotificationRecorder&) = delete;
    NotificationRecorder& operator=(const NotificationRecorder&) = delete;

    std::vector<Notification> All() const;
    std::vector<std::wstring> Descriptions() const;
    std::vector<Notification> OfCode(uint32_t code) const;
    size_t Count(uint32_t code) const;
    // The texts posted to one status line, in order.
    std::vector<std::wstring> StatusLines(int line) const;
    void Clear();

    // Runs on the posting thread for each notification, before it is recorded; the payload is
    // still alive. Lets a test look at shared state at the moment of posting. Pass {} to remove.
    void SetObserver(std::function<void(const Notification&)> observer);
    // While refusing, every post fails like a PostMessageW to a destroyed window: nothing is
    // recorded and the payload stays the sender's to free.
    void SetRefusing(bool refusing);

private:
    static bool Hook(uint32_t code, uintptr_t wParam, intptr_t lParam);
    bool Receive(uint32_t code, uintptr_t wParam, intptr_t lParam);

    mutable std::mutex mutex_;
    std::vector<Notification> received_;
    std::function<void(const Notification&)> observer_;
    bool refusing_ = false;
};
