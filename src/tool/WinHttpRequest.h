#pragma once
// The request over WinHTTP. Its secure attempt uses port 443 (or the URL's port)
// with TLS; its plain attempt port 80 (or the URL's port) in clear text.

#include "tool/BaseRequest.h"

class CWinHttpRequest : public CBaseRequest {
public:
    CWinHttpRequest() = default;
    ~CWinHttpRequest() override;

    const char* GetTypeName() override;
    bool GetUrlFileSize(int& nSize) override;
    int HttpRead(void* pBuffer, int nCapacity) override;
    bool GetStatusCode(DWORD& dwStatus) override;
    bool GetResponseHeader(const wchar_t* pszName, std::wstring& strValue) override;

protected:
    bool OpenSession() override;
    bool ConnectSession(bool bSecure) override;
    bool OpenRequest(bool bSecure) override;
    bool SendRequest() override;
    void ApplyTimeouts() override;
    void CloseHandles() override;
};
