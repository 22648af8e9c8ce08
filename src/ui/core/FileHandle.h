#pragma once
// CFileHandle: the owner of one kernel file handle (CreateFileW's result).

#include <windows.h>

#include <utility>

namespace Veneer {

class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(HANDLE handle) : handle_(handle) {}
    ~CFileHandle() { Reset(); }
    CFileHandle(CFileHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    CFileHandle& operator=(CFileHandle&& other) noexcept
    {
        if (this != &other) Reset(std::exchange(other.handle_, INVALID_HANDLE_VALUE));
        return *this;
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

    // Closing keeps the caller's last-error code, so a failure can still be reported.
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (IsValid()) {
            DWORD error = GetLastError();
            CloseHandle(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace Veneer
