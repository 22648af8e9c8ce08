#pragma once
// One HTTP request of the download engine, over WinHTTP (CWinHttpRequest) or WinINet
// (CInternetRequest). An object makes exactly one request: set strVerb, strHeaders
// and dwMaxConnsPerServer, OpenUrl, then GetUrlFileSize and/or HttpRead until it
// answers 0 or less, then delete it.
//
// Thread contract: an object is used by one thread only. The static helpers work on
// process-wide WinINet settings and may be called from any thread.
//
// winhttp.h and wininet.h cannot meet in one translation unit, so this header
// includes neither: the handles are kept as the void pointers both call HINTERNET.

#include <windows.h>

#include <string>

#include "net/TransportPolicy.h"

class CBaseRequest {
public:
    enum RequestType { kWinHttpRequest = 0, kInternetRequest = 1 };

    static CBaseRequest* CreateInstance(int nType);

    CBaseRequest();
    virtual ~CBaseRequest();
    CBaseRequest(const CBaseRequest&) = delete;
    CBaseRequest& operator=(const CBaseRequest&) = delete;

    virtual const char* GetTypeName() = 0;
    // The response's Content-Length; fails when it is missing or beyond 2^53.
    virtual bool GetUrlFileSize(long long& llSize) = 0;
    // Bytes read, 0 at the end of the body, -1 on failure.
    virtual int HttpRead(void* pBuffer, int nCapacity) = 0;

    // The response's status code and one response header by name; both fail when
    // no request was sent or the header is absent.
    virtual bool GetStatusCode(DWORD& dwStatus) = 0;
    virtual bool GetResponseHeader(const wchar_t* pszName, std::wstring& strValue) = 0;

    bool OpenUrl(const std::wstring& strUrl);

    // "http://host[:port]/object" or "https://...". nPort is 0 when the URL names none.
    static bool SplitUrl(const std::wstring& strUrl, std::wstring& strHostOut, int& nPortOut, bool& bHttpsOut,
                         std::wstring& strObjectOut);

    static bool QueryInternetOpt(DWORD dwOption, std::string& strValue);
    static bool QueryInternetOptDword(DWORD dwOption, DWORD& dwValue);
    static bool InternetSetOpt(DWORD dwOption, DWORD dwValue);
    static void ShowApiError(const char* pszCallName, DWORD dwError, HMODULE hModule, const char* pszContext);

    // Test seam: requests of the back-end with this type name ("WinHttp" or
    // "Internet") fail before opening their session, as on a machine whose stack is
    // broken. Null mends it.
    static void SetBrokenBackEndForTesting(const char* pszTypeName);

    // How long a request may wait for the server (connect, send, answer, each read)
    // before it fails: 30000 ms unless a test changes it.
    static DWORD StallLimit();
    static void SetStallLimitForTesting(DWORD dwMilliseconds);

    std::wstring strVerb;
    std::wstring strHeaders;
    std::wstring strObject;
    std::wstring strHost;
    // The URL's port, or 0 for the back-end's own choice (443 secure, 80 plain).
    int nPort;
    void* hSession;
    void* hConnect;
    void* hRequest;
    DWORD dwMaxConnsPerServer;

protected:
    virtual bool OpenSession() = 0;
    virtual bool ConnectSession(bool bSecure) = 0;
    virtual bool OpenRequest(bool bSecure) = 0;
    virtual bool SendRequest() = 0;
    // Closes hRequest, hConnect and hSession, newest first, and clears them.
    virtual void CloseHandles() = 0;

    bool ConnectAndSend(bool bSecure, const std::wstring& strHostName, const std::wstring& strObjectPath);
    // What every request of this layer asks of the transport policy.
    TransportOptions RequestOptions() const;

    // Content-Length text as a size: blanks around decimal digits only, at most 2^53.
    bool ParseContentLength(const std::wstring& strText, long long& llSize);
    // Logs the failed platform call with the error it left; answers false.
    static bool FailCall(const char* pszCallName, const char* pszContext);

    // The address of the attempt in progress as the transport policy sees it: the
    // attempt's security, strHost, nPort and strObject; a redirect followed by the
    // request moves it (and those fields) on.
    TransportAddress m_target;
};
