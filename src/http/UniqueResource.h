#pragma once
// A move-only owner of one platform handle. Traits name the handle type, its
// invalid value and its close function, so every handle kind gets its own owner type.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : m_value(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.Detach()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    // Closing keeps the caller's GetLastError, which often explains the failure
    // that made it close.
    void Reset(Type value = Traits::Invalid())
    {
        if (m_value != Traits::Invalid()) {
            DWORD lastError = GetLastError();
            Traits::Close(m_value);
            SetLastError(lastError);
        }
        m_value = value;
    }
    Type Detach() { return std::exchange(m_value, Traits::Invalid()); }
    Type Get() const { return m_value; }
    bool Valid() const { return m_value != Traits::Invalid(); }

private:
    Type m_value = Traits::Invalid();
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseHandle(handle); }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

// Events, threads and the other kernel objects whose creation answers null on failure.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;

struct CrtFileTraits {
    using Type = FILE*;
    static Type Invalid() { return nullptr; }
    static void Close(Type file) { fclose(file); }
};
using UniqueCrtFile = UniqueResource<CrtFileTraits>;

// A block from malloc, as the downloads into memory hand out.
struct MallocBlockTraits {
    using Type = unsigned char*;
    static Type Invalid() { return nullptr; }
    static void Close(Type block) { free(block); }
};
using UniqueMallocBlock = UniqueResource<MallocBlockTraits>;
