#pragma once
// The WinHTTP back-end of the HTTP client library (type code 2). It carries the
// analytics requests. Its requests are made under the transport policy
// (net/TransportPolicy.h): certificates are checked, TLS 1.2 or later, and an
// https request never follows a redirect to http.
//
// Thread contract: one thread at a time (see HttpInterface.h).

#include "http/HttpClientBase.h"
#include "net/ProxyRoute.h"
#include "base/UniqueResource.h"
#include "net/TransportPolicy.h"

#include <functional>

class CWinHttp : public CRequestClientBase<CWinHttp, IWinHttp> {
public:
    CWinHttp();
    virtual ~CWinHttp();
    CWinHttp(const CWinHttp&) = delete;
    CWinHttp& operator=(const CWinHttp&) = delete;

    bool FetchToFile(const wchar_t* url, const wchar_t* filePath) override;
    bool FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size) override;
    void SetTimeouts(DWORD connectMs, DWORD sendMs, DWORD receiveMs) override;

private:
    friend class CRequestClientBase<CWinHttp, IWinHttp>;

    void CloseHandles();
    TransportOptions Options() const;
    // A session along the proxy route of the target (direct for an empty one).
    void OpenSession(const TransportAddress& target);
    void SendRequest(const std::wstring& url, bool post, const char* body, const wchar_t* extraHeaders);
    int ReadStatus();
    // Content-Length of the response; kHttpErrQuery when it cannot be read.
    unsigned long long ReadContentLength();
    // Hands every piece of the body to the consumer until none is left.
    void ReadBody(const std::function<void(const char* data, DWORD count)>& consume);

    bool m_bSecure = false;
    ProxyRoute m_route;
    // Declared in opening order: destruction closes request, connection, session.
    UniqueWinHttpHandle m_hSession;
    UniqueWinHttpHandle m_hConnection;
    UniqueWinHttpHandle m_hRequest;
    DWORD m_dwConnectTimeout = 5000;
    DWORD m_dwSendTimeout = 5000;
    DWORD m_dwReceiveTimeout = 5000;
};
