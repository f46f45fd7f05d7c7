#include "core/detached_thread.h"

#include <windows.h>

#include <process.h>

#include <cerrno>
#include <memory>

#include "core/scoped_handle_win32.h"

namespace {

unsigned __stdcall RunJob(void* job) {
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(job));
    (*owned)();
    return 0;
}

} // namespace

// A native thread: the C++ library's detach here (winpthreads) races with a thread that ends at
// once, closes a handle twice and can hang the process.
std::error_code StartDetachedThread(std::function<void()> job) {
    auto owned = std::make_unique<std::function<void()>>(std::move(job));
    const OwnedHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RunJob, owned.get(), 0, nullptr)));
    if (!thread) return std::error_code(errno, std::generic_category());
    owned.release();
    return {};
}
