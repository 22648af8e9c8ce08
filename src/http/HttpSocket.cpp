#include "http/HttpSocket.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "http/ContentLength.h"

namespace {

// A header that has not ended by then is not one.
const size_t kHeaderLimit = 65536;
const int kMaxRedirects = 10;
const DWORD kReceiveTimeoutMs = 10000;
const int kReceiveSize = 4096;

bool IsAbsoluteUrl(const std::string& text)
{
    return text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
}

// A Content-Length that is there; one that is no length fails the answer.
unsigned long long ReadLength(const std::string& text)
{
    long long size = 0;
    if (ContentLength::Parse(text, size) != ContentLength::Parsed::kValid) throw kHttpErrQuery;
    return static_cast<unsigned long long>(size);
}

}  // namespace

// Where a response body goes. Begin takes the size from the accepted response;
// Finish hands the result over; Abandon throws a partial result away.
class CHttpSocket::Body {
public:
    virtual ~Body() = default;
    virtual HttpInterfaceError ConnectError(HttpInterfaceError own) const = 0;
    virtual bool ReportsFailure() const = 0;
    virtual void Open() = 0;
    virtual void Begin(const CHttpHeader& response) = 0;
    virtual void Write(const char* data, size_t count) = 0;
    virtual void Finish() = 0;
    virtual void Abandon() = 0;

    // Appends what belongs to the body, cut at the announced size. True when complete.
    bool Deliver(const std::string& piece, IHttpProgressSink* sink, DWORD userValue)
    {
        size_t take = piece.size();
        if (m_bHasLength) take = static_cast<size_t>(std::min<unsigned long long>(take, m_total - m_done));
        Write(piece.data(), take);
        m_done += take;
        if (sink) sink->OnProgress(userValue, kHttpProgressData, double(m_total), double(m_done));
        if (!m_bHasLength || m_done < m_total) return false;
        if (sink) sink->OnProgress(userValue, kHttpProgressDone, double(m_total), double(m_done));
        return true;
    }
    // Without an announced size the body ends where the peer closes.
    bool EndsAtClose(IHttpProgressSink* sink, DWORD userValue)
    {
        if (m_bHasLength) return false;
        if (sink) sink->OnProgress(userValue, kHttpProgressDone, double(m_done), double(m_done));
        return true;
    }

protected:
    bool m_bHasLength = true;
    unsigned long long m_total = 0;
    unsigned long long m_done = 0;
};

class CHttpSocket::FileBody : public Body {
public:
    explicit FileBody(const wchar_t* path) : m_path(path ? path : L"") {}
    HttpInterfaceError ConnectError(HttpInterfaceError own) const override { return own; }
    bool ReportsFailure() const override { return true; }
    void Open() override
    {
        m_file.Reset();
        if (GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(m_path.c_str());
        m_file.Reset(_wfopen(m_path.c_str(), L"wb+"));
        if (!m_file.Valid()) throw kHttpErrCreateFile;
        m_bOpened = true;
    }
    void Begin(const CHttpHeader& response) override
    {
        std::string length = response.GetField("Content-Length");
        m_bHasLength = !length.empty();
        m_total = m_bHasLength ? ReadLength(length) : 0;
        m_done = 0;
    }
    void Write(const char* data, size_t count) override
    {
        if (count && fwrite(data, 1, count, m_file.Get()) != count) throw kHttpErrWriteFile;
    }
    void Finish() override { m_file.Reset(); }
    void Abandon() override
    {
        m_file.Reset();
        if (m_bOpened) DeleteFileW(m_path.c_str());
        m_bOpened = false;
    }

private:
    std::wstring m_path;
    UniqueCrtFile m_file;
    bool m_bOpened = false;
};

class CHttpSocket::MemoryBody : public Body {
public:
    MemoryBody(unsigned char** block, DWORD* size) : m_pBlock(block), m_pSize(size) {}
    // Callers of the memory download have always seen a failed connection as error 1.
    HttpInterfaceError ConnectError(HttpInterfaceError) const override { return kHttpErrOpen; }
    bool ReportsFailure() const override { return false; }
    void Open() override {}
    void Begin(const CHttpHeader& response) override
    {
        std::string text = response.GetField("Content-Length");
        // No length, or 0: nothing worth a block, as this back-end has always answered.
        unsigned long long length = text.empty() ? 0 : ReadLength(text);
        if (length < 1 || length > kHttpMemoryLimit) throw kHttpErrTooLarge;
        m_block.Reset(static_cast<unsigned char*>(malloc(static_cast<size_t>(length))));
        if (!m_block.Valid()) throw kHttpErrTooLarge;
        m_total = static_cast<unsigned long long>(length);
        m_done = 0;
    }
    void Write(const char* data, size_t count) override { memcpy(m_block.Get() + m_done, data, count); }
    void Finish() override
    {
        *m_pSize = static_cast<DWORD>(m_done);
        *m_pBlock = m_block.Release();
    }
    void Abandon() override { m_block.Reset(); }

private:
    unsigned char** m_pBlock;
    DWORD* m_pSize;
    UniqueMallocBlock m_block;
};

CHttpSocket::CHttpSocket()
{
    WSADATA data;
    m_bWinsockReady = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CHttpSocket::~CHttpSocket()
{
    m_socket.Reset();
    if (m_bWinsockReady) WSACleanup();
}

std::wstring CHttpSocket::GetPeerAddress() { return m_strPeerAddress; }

bool CHttpSocket::FetchToFile(const wchar_t* url, const wchar_t* filePath)
{
    if (!url || !*url) {
        m_error = kHttpErrBadDownloadParam;
        return false;
    }
    FileBody body(filePath);
    return Fetch(url, body, 0);
}

bool CHttpSocket::FetchToMemory(const wchar_t* url, unsigned char** block, DWORD* size)
{
    try {
        StartMemoryFetch(url, block, size);
    } catch (HttpInterfaceError error) {
        m_error = error;
        return false;
    }
    MemoryBody body(block, size);
    return Fetch(url, body, 0);
}

bool CHttpSocket::Connect(const std::string& host, int port)
{
    hostent* entry = gethostbyname(host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list[0]) {
        m_error = kHttpErrResolve;
        return false;
    }
    const unsigned char* address = reinterpret_cast<const unsigned char*>(entry->h_addr_list[0]);
    wchar_t text[16];
    swprintf(text, 16, L"%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    m_strPeerAddress = text;

    m_socket.Reset();
    m_strPending.clear();
    m_socket.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!m_socket.Valid()) {
        m_error = kHttpErrSocket;
        return false;
    }
    DWORD timeout = kReceiveTimeoutMs;
    setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    memcpy(&peer.sin_addr, address, 4);
    if (connect(m_socket.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
        m_error = kHttpErrConnect;
        return false;
    }
    return true;
}

bool CHttpSocket::Fetch(const std::wstring& url, Body& body, int redirects)
{
    std::wstring host;
    std::wstring path;
    int port = 80;
    SplitHttpUrl(url, host, path, port);
    // No TLS in this client.
    if (port == 443 || url.compare(0, 8, L"https://") == 0) {
        body.Abandon();
        return false;
    }

    std::string narrowHost = Text::WideToAnsi(host);
    if (!Connect(narrowHost, port)) {
        m_error = body.ConnectError(m_error);
        body.Abandon();
        return false;
    }

    Outcome outcome = Outcome::kPeerClosed;
    std::wstring location;
    try {
        // Our own Host field follows the host of every new connection; a caller's stays.
        if (!m_header.HasField("Host")) {
            m_header.SetHeaderField("Host", narrowHost);
            m_bHostFromUrl = true;
        } else if (m_bHostFromUrl) {
            m_header.ReplaceField("Host", narrowHost);
        }
        body.Open();
        outcome = Exchange(Text::WideToAnsi(path), body, redirects, location);
    } catch (HttpInterfaceError error) {
        m_error = error;
        m_socket.Reset();
        if (body.ReportsFailure()) ReportProgress(kHttpProgressFailed, 0, 0);
        body.Abandon();
        return false;
    }
    m_socket.Reset();

    switch (outcome) {
    case Outcome::kComplete:
        body.Finish();
        return true;
    case Outcome::kRedirect:
        return Fetch(location, body, redirects);
    case Outcome::kPeerClosed:
        break;
    }
    body.Abandon();
    return false;
}

CHttpSocket::Outcome CHttpSocket::Exchange(const std::string& firstPath, Body& body, int& redirects,
                                           std::wstring& location)
{
    std::string path = firstPath;
    for (;;) {
        SendGetRequest(path);

        size_t headerEnd;
        while ((headerEnd = m_strPending.find("\r\n\r\n")) == std::string::npos) {
            if (m_strPending.size() > kHeaderLimit) throw kHttpErrNoHeader;
            if (ReceiveMore() == 0) return Outcome::kPeerClosed;
        }
        if (headerEnd > kHeaderLimit) throw kHttpErrNoHeader;
        CHttpHeader response;
        response.ParseResponseHeader(m_strPending.substr(0, headerEnd));
        m_strPending.erase(0, headerEnd + 4);
        m_nStatusCode = response.StatusCode();

        if (m_nStatusCode >= 301 && m_nStatusCode <= 399) {
            std::string target = response.GetField("Location");
            if (target.empty() || ++redirects > kMaxRedirects) throw kHttpErrStatus;
            if (IsAbsoluteUrl(target)) {
                location = Text::AnsiToWide(target);
                return Outcome::kRedirect;
            }
            // The next answer on this connection follows the redirection's own body.
            std::string length = response.GetField("Content-Length");
            if (!Discard(length.empty() ? 0 : ReadLength(length))) {
                return Outcome::kPeerClosed;
            }
            path = target;
            continue;
        }
        // An error page is not the file that was asked for.
        if (m_nStatusCode >= 400) throw kHttpErrStatus;

        body.Begin(response);
        std::string piece;
        piece.swap(m_strPending);
        while (!body.Deliver(piece, m_pSink, m_dwUserData)) {
            if (ReceiveMore() == 0) {
                return body.EndsAtClose(m_pSink, m_dwUserData) ? Outcome::kComplete : Outcome::kPeerClosed;
            }
            piece.clear();
            piece.swap(m_strPending);
        }
        return Outcome::kComplete;
    }
}

void CHttpSocket::SendGetRequest(const std::string& path)
{
    m_header.SetPath(path);
    std::string request = m_header.BuildGetRequest();
    int sent = send(m_socket.Get(), request.data(), static_cast<int>(request.size()), 0);
    if (sent != static_cast<int>(request.size())) throw kHttpErrSend;
}

size_t CHttpSocket::ReceiveMore()
{
    if (m_pSink && m_pSink->ShouldStop()) throw kHttpErrCancelled;
    char buffer[kReceiveSize];
    int received = recv(m_socket.Get(), buffer, kReceiveSize, 0);
    if (received == SOCKET_ERROR) throw kHttpErrSocket;
    m_strPending.append(buffer, static_cast<size_t>(received));
    return static_cast<size_t>(received);
}

bool CHttpSocket::Discard(unsigned long long count)
{
    for (;;) {
        size_t take = static_cast<size_t>(std::min<unsigned long long>(count, m_strPending.size()));
        m_strPending.erase(0, take);
        count -= take;
        if (count == 0) return true;
        if (ReceiveMore() == 0) return false;
    }
}
