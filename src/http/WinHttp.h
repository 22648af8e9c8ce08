#pragma once
// The WinHTTP back-end of the HTTP client library (type code 2). It carries the
// analytics requests. Certificates are checked: an untrusted or mismatched server
// certificate fails the request.
//
// Thread contract: one thread at a time (see HttpInterface.h).

#include "http/HttpHeader.h"
#include "http/HttpInterface.h"
#include "http/UniqueResource.h"

// winhttp.h clashes with wininet.h, so the handle is kept as the void pointer that
// HINTERNET is, and closed in WinHttp.cpp.
struct WinHttpHandleTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle);
};
using UniqueWinHttpHandle = UniqueResource<WinHttpHandleTraits>;

class CWinHttp : public IWinHttp {
public:
    CWinHttp();
    virtual ~CWinHttp();
    CWinHttp(const CWinHttp&) = delete;
    CWinHttp& operator=(const CWinHttp&) = delete;

    void SetProgressSink(IHttpProgressSink* sink, DWORD userValue) override;
    bool FetchToFile(const wchar_t* url, const wchar_t* filePath) override;
    bool FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size) override;
    void Release() override;
    HttpInterfaceError GetLastErrorCode() override;
    void SetHeaderField(const char* name, const char* value) override;
    int GetLastStatus() override;
    std::string Execute(const wchar_t* url, bool post, const char* body, const wchar_t* extraHeaders) override;
    std::string ExecuteA(const char* url, bool post, const char* body, const char* extraHeaders) override;
    void SetTimeouts(DWORD connectMs, DWORD sendMs, DWORD receiveMs) override;

private:
    void CloseHandles();
    void OpenSession();
    void SendRequest(const std::wstring& url, bool post, const char* body, const wchar_t* extraHeaders);
    int ReadStatus();
    // Content-Length of the response; kHttpErrQuery when it cannot be read.
    unsigned long long ReadContentLength();
    // Hands every piece of the body to the consumer until none is left.
    template <typename Consumer>
    void ReadBody(Consumer&& consume);

    int m_nStatusCode = 0;
    bool m_bSecure = false;
    // Declared in opening order: destruction closes request, connection, session.
    UniqueWinHttpHandle m_hSession;
    UniqueWinHttpHandle m_hConnection;
    UniqueWinHttpHandle m_hRequest;
    DWORD m_dwConnectTimeout = 5000;
    DWORD m_dwSendTimeout = 5000;
    DWORD m_dwReceiveTimeout = 5000;
    CHttpHeader m_header;
    DWORD m_dwUserData = 0;
    IHttpProgressSink* m_pSink = nullptr;
    HttpInterfaceError m_error = kHttpErrNone;
};
