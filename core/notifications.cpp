#include "core/notifications.h"

#include <memory>
#include <new>

#include "text/seam.h"

#ifdef _WIN32
#include <windows.h>

#include "core/app_state.h"
#endif

namespace {

bool PlatformPost(uint32_t code, uintptr_t wParam, intptr_t lParam) {
#ifdef _WIN32
    auto* window = static_cast<HWND>(App().mainWindow);
    return window != nullptr &&
           PostMessageW(window, code, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE;
#else
    (void)code;
    (void)wParam;
    (void)lParam;
    return false;
#endif
}

constexpr PostHooks kPlatformPosting{.post = PlatformPost};
constinit Seam<PostHooks> postSeam{kPlatformPosting};

void PostText(uint32_t code, uintptr_t wParam, const std::wstring& text) {
    auto payload = std::make_unique<std::wstring>(text);
    if (PostNotification(code, wParam, reinterpret_cast<intptr_t>(payload.get()))) payload.release();
}

} // namespace

bool PostNotification(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    return CurrentPostHooks().post(code, wParam, lParam);
}

void PostStatusLine(int line, const std::wstring& text) {
    PostText(MSG_STATUS_LINE, static_cast<uintptr_t>(static_cast<intptr_t>(line)), text);
}

void PostOperationDone(OperationResult result, const std::wstring& text) {
    try {
        PostText(MSG_OPERATION_DONE, result, text);
    } catch (const std::bad_alloc&) {
        // The window stays busy until it hears of the end: without memory for the text, the end
        // still goes, with no text.
        PostNotification(MSG_OPERATION_DONE, result, 0);
    }
}

void SetPostHooks(const PostHooks* hooks) { postSeam.Set(hooks); }

const PostHooks& CurrentPostHooks() { return postSeam.Current(); }
