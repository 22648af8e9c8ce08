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

// The traits of a kind whose failure value is null and whose close function takes
// the handle alone. Two kinds of the same C type differ in their close function,
// so they are still two types.
template <typename Handle, auto CloseFunction>
struct ClosedBy {
    using Type = Handle;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseFunction(handle); }
};

// The traits of a kind whose creation answers INVALID_HANDLE_VALUE on failure.
template <auto CloseFunction>
struct InvalidValueClosedBy {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseFunction(handle); }
};

// Files and tool-help snapshots.
using UniqueFileHandle = UniqueResource<InvalidValueClosedBy<&CloseHandle>>;
// A directory search from FindFirstFile.
using UniqueFindHandle = UniqueResource<InvalidValueClosedBy<&FindClose>>;
// Events, threads, processes, jobs, mutexes: their creation answers null on failure.
using UniqueKernelHandle = UniqueResource<ClosedBy<HANDLE, &CloseHandle>>;
// The process and thread handles CreateProcess hands out.
struct UniqueProcessInformation {
    UniqueProcessInformation() = default;
    explicit UniqueProcessInformation(const PROCESS_INFORMATION& info)
        : process(info.hProcess), thread(info.hThread), processId(info.dwProcessId)
    {
    }
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
    DWORD processId = 0;
};

using UniqueRegKey = UniqueResource<ClosedBy<HKEY, &RegCloseKey>>;
using UniqueModule = UniqueResource<ClosedBy<HMODULE, &FreeLibrary>>;

// winhttp.h and wininet.h cannot share a translation unit, so both handles are
// kept as the void pointer that HINTERNET is; each close function is defined beside
// the transport that opens the handles (net/WinHttpTransport.cpp, net/WinInetTransport.cpp).
void CloseWinHttpHandle(void* handle);
void CloseInternetHandle(void* handle);
using UniqueWinHttpHandle = UniqueResource<ClosedBy<void*, &CloseWinHttpHandle>>;
using UniqueInternetHandle = UniqueResource<ClosedBy<void*, &CloseInternetHandle>>;

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() { return INVALID_SOCKET; }
    static void Close(Type socket) { closesocket(socket); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

using UniqueCrtFile = UniqueResource<ClosedBy<FILE*, &fclose>>;
// A block from malloc, as the downloads into memory hand out.
using UniqueMallocBlock = UniqueResource<ClosedBy<unsigned char*, &free>>;

// Any GDI object that DeleteObject frees: pen, brush, font, bitmap, region.
template <typename Handle>
using UniqueGdiObject = UniqueResource<ClosedBy<Handle, &DeleteObject>>;
// A device context of its own (CreateCompatibleDC, CreateDC); not one from GetDC.
using UniqueDeviceContext = UniqueResource<ClosedBy<HDC, &DeleteDC>>;

// A window's device context from GetDC (or GetWindowDC, GetDCEx): released to the
// window it came from.
class UniqueWindowDC {
public:
    UniqueWindowDC() = default;
    explicit UniqueWindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    UniqueWindowDC(HWND window, HDC dc) : m_window(window), m_dc(dc) {}
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

inline void CloseCertStore(HCERTSTORE store) { CertCloseStore(store, 0); }
inline void CloseBCryptAlgorithm(BCRYPT_ALG_HANDLE algorithm) { BCryptCloseAlgorithmProvider(algorithm, 0); }

using UniqueCryptMsg = UniqueResource<ClosedBy<HCRYPTMSG, &CryptMsgClose>>;
using UniqueCertStore = UniqueResource<ClosedBy<HCERTSTORE, &CloseCertStore>>;
using UniqueCertContext = UniqueResource<ClosedBy<PCCERT_CONTEXT, &CertFreeCertificateContext>>;
using UniqueCertChain = UniqueResource<ClosedBy<PCCERT_CHAIN_CONTEXT, &CertFreeCertificateChain>>;
using UniqueBCryptAlgorithm = UniqueResource<ClosedBy<BCRYPT_ALG_HANDLE, &CloseBCryptAlgorithm>>;
using UniqueBCryptHash = UniqueResource<ClosedBy<BCRYPT_HASH_HANDLE, &BCryptDestroyHash>>;
