#include "core/detached_thread.h"

#include <pthread.h>

#include <memory>

namespace {

void* RunJob(void* job) {
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(job));
    (*owned)();
    return nullptr;
}

} // namespace

std::error_code StartDetachedThread(std::function<void()> job) {
    auto owned = std::make_unique<std::function<void()>>(std::move(job));
    pthread_t thread{};
    if (const int error = pthread_create(&thread, nullptr, RunJob, owned.get()); error != 0)
        return std::error_code(error, std::generic_category());
    owned.release();
    pthread_detach(thread);
    return {};
}
