// Move-only owners of system handles: each closes its handle when it goes out of scope.
#pragma once

#include <windows.h>

#include <utility>

// Traits give the handle type, the value that means "none" and how to close one.
template <typename Traits>
class OwnedHandle {
public:
    using Handle = typename Traits::Handle;

    explicit OwnedHandle(Handle handle = Traits::None()) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(OwnedHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Traits::None())) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, Traits::None());
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    explicit operator bool() const { return handle_ != Traits::None(); }
    Handle get() const { return handle_; }

    // Closes now; false when the system reports that the handle could not be closed cleanly.
    bool Close() {
        if (handle_ == Traits::None()) {
            return true;
        }
        bool closed = Traits::Close(handle_);
        handle_ = Traits::None();
        return closed;
    }

private:
    Handle handle_;
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return CloseHandle(handle) != 0; }
};

// A file opened with CreateFileW.
using FileHandle = OwnedHandle<FileHandleTraits>;

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static bool Close(Handle handle) { return CloseHandle(handle) != 0; }
};

// An event, thread or other handle that CloseHandle closes and that is null when there is none
// (unlike CreateFileW's, whose "none" is INVALID_HANDLE_VALUE).
using KernelHandle = OwnedHandle<KernelHandleTraits>;
