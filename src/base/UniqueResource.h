#pragma once
// Move-only owners, one type per handle kind. Each kind closes with its own
// function: two kinds that share a C type (a WinHTTP and a WinINet handle, a
// BCrypt algorithm and a hash) are still two owner types, so one cannot be handed
// to the other's close function.
//
// Closing keeps the caller's GetLastError(): an owner often closes on the way out
// of the very failure that the caller is about to report.

#include <winsock2.h>
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

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
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    void Reset(Type value = Traits::Invalid())
    {
        Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            DWORD lastError = GetLastError();
            Traits::Close(old);
            SetLastError(lastError);
        }
    }
    // Gives up ownership without closing.
    Type Release() { return std::exchange(m_value, Traits::Invalid()); }
    // For the calls that hand out a handle through a pointer: closes what is held first.
    Type* Receive()
    {
        Reset();
        return &m_value;
    }
    Type Get() const { return m_value; }
    bool Valid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

private:
    Type m_value = Traits::Invalid();
};

// Kernel objects whose creation answers INVALID_HANDLE_VALUE on failure: files,
// tool-help snapshots.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseHandle(handle); }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

// Kernel objects whose creation answers null on failure: events, threads,
// processes, jobs, mutexes.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;

// A directory search from FindFirstFile.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { FindClose(handle); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { RegCloseKey(key); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type module) { FreeLibrary(module); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// winhttp.h and wininet.h cannot share a translation unit, so both handles are
// kept as the void pointer that HINTERNET is; each Close is defined beside the
// transport that opens the handles (net/WinHttpTransport.cpp, net/WinInetTransport.cpp).
struct WinHttpHandleTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle);
};
using UniqueWinHttpHandle = UniqueResource<WinHttpHandleTraits>;

struct InternetHandleTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle);
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() { return INVALID_SOCKET; }
    static void Close(Type socket) { closesocket(socket); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

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

// Any GDI object that DeleteObject frees: pen, brush, font, bitmap, region.
template <typename Handle>
struct GdiObjectTraits {
    using Type = Handle;
    static Type Invalid() { return nullptr; }
    static void Close(Type object) { DeleteObject(object); }
};
template <typename Handle>
using UniqueGdiObject = UniqueResource<GdiObjectTraits<Handle>>;

// A device context of its own (CreateCompatibleDC, CreateDC); not one from GetDC.
struct DeviceContextTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { DeleteDC(dc); }
};
using UniqueDeviceContext = UniqueResource<DeviceContextTraits>;

// A window's device context from GetDC: released to the window it came from.
class UniqueWindowDC {
public:
    UniqueWindowDC() = default;
    explicit UniqueWindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~UniqueWindowDC() { Reset(); }
    UniqueWindowDC(UniqueWindowDC&& other) noexcept
        : m_window(std::exchange(other.m_window, nullptr)), m_dc(std::exchange(other.m_dc, nullptr))
    {
    }
    UniqueWindowDC& operator=(UniqueWindowDC&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_window = std::exchange(other.m_window, nullptr);
            m_dc = std::exchange(other.m_dc, nullptr);
        }
        return *this;
    }
    UniqueWindowDC(const UniqueWindowDC&) = delete;
    UniqueWindowDC& operator=(const UniqueWindowDC&) = delete;

    void Reset()
    {
        HDC dc = std::exchange(m_dc, nullptr);
        if (dc != nullptr) {
            DWORD lastError = GetLastError();
            ReleaseDC(m_window, dc);
            SetLastError(lastError);
        }
        m_window = nullptr;
    }
    HDC Get() const { return m_dc; }
    bool Valid() const { return m_dc != nullptr; }
    explicit operator bool() const { return Valid(); }

private:
    HWND m_window = nullptr;
    HDC m_dc = nullptr;
};

struct CryptMsgTraits {
    using Type = HCRYPTMSG;
    static Type Invalid() { return nullptr; }
    static void Close(Type message) { CryptMsgClose(message); }
};
using UniqueCryptMsg = UniqueResource<CryptMsgTraits>;

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() { return nullptr; }
    static void Close(Type store) { CertCloseStore(store, 0); }
};
using UniqueCertStore = UniqueResource<CertStoreTraits>;

struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() { return nullptr; }
    static void Close(Type certificate) { CertFreeCertificateContext(certificate); }
};
using UniqueCertContext = UniqueResource<CertContextTraits>;

struct CertChainTraits {
    using Type = PCCERT_CHAIN_CONTEXT;
    static Type Invalid() { return nullptr; }
    static void Close(Type chain) { CertFreeCertificateChain(chain); }
};
using UniqueCertChain = UniqueResource<CertChainTraits>;

struct BCryptAlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type algorithm) { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using UniqueBCryptAlgorithm = UniqueResource<BCryptAlgorithmTraits>;

struct BCryptHashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type hash) { BCryptDestroyHash(hash); }
};
using UniqueBCryptHash = UniqueResource<BCryptHashTraits>;
