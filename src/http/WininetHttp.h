#pragma once
// The WinINet back-end of the HTTP client library (type code 1). Its requests are
// made under the transport policy (net/TransportPolicy.h): certificates are checked
// in full, their dates included, and an https request never follows a redirect to
// http.
//
// Thread contract: one thread at a time (see HttpInterface.h).

#include "http/HttpClientBase.h"
#include "base/UniqueResource.h"

#include <functional>

class CWininetHttp : public CRequestClientBase<CWininetHttp, IWininetHttp> {
public:
    CWininetHttp() = default;
    virtual ~CWininetHttp();
    CWininetHttp(const CWininetHttp&) = delete;
    CWininetHttp& operator=(const CWininetHttp&) = delete;

    bool FetchToFile(const wchar_t* url, const wchar_t* filePath) override;
    bool FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size) override;

private:
    friend class CRequestClientBase<CWininetHttp, IWininetHttp>;

    void CloseHandles();
    void SendRequest(const std::wstring& url, bool post, const char* body, const wchar_t* extraHeaders);
    int ReadStatus();
    // The response's Content-Length; false when it has none, kHttpErrQuery (or
    // kHttpErrTooLarge) when it is no length.
    bool ReadContentLength(long long& length);
    // Reads the body into the buffer; 0 at its end, kHttpErrRead on failure.
    DWORD ReadPiece(void* buffer, DWORD capacity);
    // Hands every piece of the body to the consumer until none is left.
    void ReadBody(const std::function<void(const char* data, DWORD count)>& consume);

    bool m_bSecure = false;
    // Declared in opening order: destruction closes request, connection, session.
    UniqueInternetHandle m_hSession;
    UniqueInternetHandle m_hConnection;
    UniqueInternetHandle m_hRequest;
};
