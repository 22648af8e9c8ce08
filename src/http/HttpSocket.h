#pragma once
// The raw-socket back-end of the HTTP client library (type code 0): plain HTTP/1.1
// over Winsock, no TLS, so "https://" and port 443 are refused.
//
// Thread contract: one thread at a time (see HttpInterface.h); a download blocks its
// thread, at most 10000 ms per receive.

#include <winsock2.h>

#include "http/HttpClientBase.h"
#include "base/UniqueResource.h"

class CHttpSocket : public CHttpClientBase<CHttpSocket, ISocketHttp> {
public:
    CHttpSocket();
    virtual ~CHttpSocket();
    CHttpSocket(const CHttpSocket&) = delete;
    CHttpSocket& operator=(const CHttpSocket&) = delete;

    bool FetchToFile(const wchar_t* url, const wchar_t* filePath) override;
    bool FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size) override;
    std::wstring GetPeerAddress() override;

private:
    class Body;
    class FileBody;
    class MemoryBody;
    enum class Outcome { kComplete, kRedirect, kPeerClosed };

    // Answers for one URL and follows redirections to other URLs.
    bool Fetch(const std::wstring& url, Body& body, int redirects);
    bool Connect(const std::string& host, int port);
    // Runs requests on the open connection until a body is complete, the peer
    // closes, or a redirection names another URL (stored in location).
    Outcome Exchange(const std::string& path, Body& body, int& redirects, std::wstring& location);
    void SendGetRequest(const std::string& path);
    // Receives more bytes into m_strPending; 0 when the peer closed.
    size_t ReceiveMore();
    // Skips bytes of a body nobody wants (a redirection's); false when the peer closed.
    bool Discard(unsigned long long count);

    UniqueSocket m_socket;
    std::wstring m_strPeerAddress;
    // Received bytes not consumed yet.
    std::string m_strPending;
    // The Host field is ours (not the caller's): it follows the host we connect to.
    bool m_bHostFromUrl = false;
    bool m_bWinsockReady = false;
};
