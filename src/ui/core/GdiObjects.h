#pragma once
// Small owners for GDI handles: an object deleted on release, a memory device
// context, and a selection that puts the previous object back.

#include <windows.h>

#include <utility>

namespace Veneer {

// Owns any GDI object that DeleteObject frees (pen, brush, font, bitmap, region).
template <typename Handle>
class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(Handle handle) : handle_(handle) {}
    ~CGdiObject() { Reset(); }
    CGdiObject(CGdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle Release() { return std::exchange(handle_, nullptr); }
    void Reset(Handle handle = nullptr) {
        if (handle_) {
            DWORD error = GetLastError();
            DeleteObject(handle_);
            SetLastError(error);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

// A memory device context compatible with another one (or the screen).
class CMemoryDC {
public:
    explicit CMemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~CMemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

// Selects an object into a device context for the scope; the previous one returns.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~CSelectObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace Veneer
