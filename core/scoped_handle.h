#pragma once
// One owner for a handle of any kind (a kernel handle, a device list, a GDI object): owned from the
// statement that makes it and released on every path. Windows code adds its kinds in
// core/scoped_handle_win32.h and ui/gdi_guards.h.

#include <utility>

// Counts nothing: the kind for handles whose leaks no test tallies.
struct Uncounted {
    static void Made() {}
    static void Released() {}
};

// One handle; Handle{} is none. Count tallies the handles its guards hold: a release the system
// refuses leaves the handle counted, as it leaves it alive.
template <typename Handle, bool (*Free)(Handle), typename Count = Uncounted>
class Owned {
public:
    using HandleType = Handle;
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {
        if (handle_ != Handle{}) Count::Made();
    }
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, Handle{});
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    // Whether a handle was there and the system released it.
    bool Reset() {
        const bool released = handle_ != Handle{} && Free(handle_);
        if (released) Count::Released();
        handle_ = Handle{};
        return released;
    }
    // Hands the handle to a caller that closes it itself.
    Handle Take() {
        if (handle_ != Handle{}) Count::Released();
        return std::exchange(handle_, Handle{});
    }

private:
    Handle handle_{};
};
