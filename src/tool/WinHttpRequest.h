#pragma once
// The request over WinHTTP. Its secure attempt uses port 443 (or the URL's port)
// with TLS; its plain attempt port 80 (or the URL's port) in clear text. Its session
// names the proxy found for the address, and it logs in to a proxy that asks.

#include "net/ProxyRoute.h"
#include "tool/BaseRequest.h"

class CWinHttpRequest : public CBaseRequest {
public:
    CWinHttpRequest() = default;
    ~CWinHttpRequest() override;

    const char* GetTypeName() override;
    bool GetUrlFileSize(long long& llSize) override;
    int HttpRead(void* pBuffer, int nCapacity) override;
    bool GetStatusCode(DWORD& dwStatus) override;
    bool GetResponseHeader(const wchar_t* pszName, std::wstring& strValue) override;

protected:
    bool OpenSession() override;
    bool ConnectSession(bool bSecure) override;
    bool OpenRequest(bool bSecure) override;
    bool SendRequest() override;
    void CloseHandles() override;

private:
    // Adds the extra headers, sends and receives the answer on hRequest.
    bool SendOnce(bool bAddHeaders);

    ProxyRoute m_route;
};
