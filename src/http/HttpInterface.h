#pragma once
// The general HTTP client library: one interface over three back-ends (raw socket,
// WinINet, WinHTTP), chosen by a type code.
//
// Thread contract: a client object is used by one thread at a time; the library has
// no shared state, so different objects may run on different threads at once.
//
// Errors are raised inside an operation as HttpInterfaceError values and caught at the
// operation's edge: no exception ever leaves the library.

#include <windows.h>

#include <cstdint>
#include <string>

enum HttpInterfaceError : int32_t {
    kHttpErrNone = 0,
    kHttpErrOpen = 1,
    kHttpErrConnect = 2,
    kHttpErrSend = 3,
    kHttpErrQuery = 4,
    kHttpErrStatus = 5,
    kHttpErrBadDownloadParam = 6,
    kHttpErrCreateFile = 7,
    kHttpErrRead = 8,
    kHttpErrResolve = 9,
    kHttpErrSocket = 10,
    kHttpErrCancelled = 11,
    kHttpErrTooLarge = 12,
    kHttpErrNoHeader = 13,
    kHttpErrBadRequestParam = 14,
    kHttpErrWriteFile = 15,
};

// States passed to IHttpProgressSink::OnProgress.
enum HttpProgressState { kHttpProgressData = 0, kHttpProgressFailed = 1, kHttpProgressDone = 2 };

// The largest block a download into memory hands out (8 MiB).
constexpr uint32_t kHttpMemoryLimit = 8388608;

class IHttpProgressSink {
public:
    virtual void OnProgress(DWORD userValue, int state, double total, double done) = 0;
    // Asked by the socket client before every receive.
    virtual bool ShouldStop() = 0;

protected:
    ~IHttpProgressSink() = default;
};

class IHttpBase {
public:
    virtual void SetProgressSink(IHttpProgressSink* sink, DWORD userValue) = 0;
    virtual bool FetchToFile(const wchar_t* url, const wchar_t* filePath) = 0;
    // The block comes from malloc; the caller frees it with free.
    virtual bool FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size) = 0;
    virtual void Release() = 0;
    virtual HttpInterfaceError GetLastErrorCode() = 0;
    // Ignored when either text is null or empty; an existing field keeps its value.
    virtual void SetHeaderField(const char* name, const char* value) = 0;
    virtual int GetLastStatus() = 0;

protected:
    ~IHttpBase() = default;
};

class ISocketHttp : public IHttpBase {
public:
    // Dotted IPv4 text of the last resolved host, empty before any connection.
    virtual std::wstring GetPeerAddress() = 0;

protected:
    ~ISocketHttp() = default;
};

class IWininetHttp : public IHttpBase {
public:
    // Body: zero-terminated bytes sent unchanged, or null. Answers the response body,
    // empty on failure (GetLastErrorCode tells why).
    virtual std::string Execute(const wchar_t* url, bool post, const char* body, const wchar_t* extraHeaders) = 0;
    // The same with URL and extra header text in the ANSI code page.
    virtual std::string ExecuteA(const char* url, bool post, const char* body, const char* extraHeaders) = 0;

protected:
    ~IWininetHttp() = default;
};

class IWinHttp : public IWininetHttp {
public:
    // Milliseconds; they take effect with the next request.
    virtual void SetTimeouts(DWORD connectMs, DWORD sendMs, DWORD receiveMs) = 0;

protected:
    ~IWinHttp() = default;
};

// Type codes of CreateHttpClient.
enum HttpClientType { kHttpClientSocket = 0, kHttpClientWininet = 1, kHttpClientWinHttp = 2 };

// The caller owns the new object and ends it with Release. Any other code: null and false.
bool CreateHttpClient(IHttpBase** client, int type);

// Host, path ("/" when the URL has none) and port (80, 443 for "https://", or the
// number after a colon in the host part), as TransportPolicy::ParseAddress cracks
// the address; text without a scheme is an http address. An address it refuses
// gives an empty host and port 0.
void SplitHttpUrl(const std::wstring& url, std::wstring& host, std::wstring& path, int& port);
void SplitHttpUrl(const std::string& url, std::string& host, std::string& path, int& port);
