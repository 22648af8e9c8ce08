#pragma once
// The WinINet back-end of the HTTP client library (type code 1). Certificates are
// checked in full, their dates included.
//
// Thread contract: one thread at a time (see HttpInterface.h).

#include "http/HttpHeader.h"
#include "http/HttpInterface.h"
#include "http/UniqueResource.h"

// wininet.h clashes with winhttp.h, so the handle is kept as the void pointer that
// HINTERNET is, and closed in WininetHttp.cpp.
struct InternetHandleTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle);
};
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

class CWininetHttp : public IWininetHttp {
public:
    CWininetHttp() = default;
    virtual ~CWininetHttp();
    CWininetHttp(const CWininetHttp&) = delete;
    CWininetHttp& operator=(const CWininetHttp&) = delete;

    void SetProgressSink(IHttpProgressSink* sink, DWORD userValue) override;
    bool FetchToFile(const wchar_t* url, const wchar_t* filePath) override;
    bool FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size) override;
    void Release() override;
    HttpInterfaceError GetLastErrorCode() override;
    void SetHeaderField(const char* name, const char* value) override;
    int GetLastStatus() override;
    std::string Execute(const wchar_t* url, bool post, const char* body, const wchar_t* extraHeaders) override;
    std::string ExecuteA(const char* url, bool post, const char* body, const char* extraHeaders) override;

private:
    void CloseHandles();
    void SendRequest(const std::wstring& url, bool post, const char* body, const wchar_t* extraHeaders);
    int ReadStatus();
    // Reads the body into the buffer; 0 at its end, kHttpErrRead on failure.
    DWORD ReadPiece(void* buffer, DWORD capacity);

    int m_nStatusCode = 0;
    bool m_bSecure = false;
    // Declared in opening order: destruction closes request, connection, session.
    UniqueInternetHandle m_hSession;
    UniqueInternetHandle m_hConnection;
    UniqueInternetHandle m_hRequest;
    CHttpHeader m_header;
    DWORD m_dwUserData = 0;
    IHttpProgressSink* m_pSink = nullptr;
    HttpInterfaceError m_error = kHttpErrNone;
};
