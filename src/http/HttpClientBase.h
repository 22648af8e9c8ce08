#pragma once
// What the back-ends share. The templates add no virtual functions, so each
// concrete class keeps its interface's slots followed by its own destructor.

#include "base/TextEncoding.h"
#include "http/HttpHeader.h"
#include "http/HttpInterface.h"
#include "net/TransportPolicy.h"

// The header table, the progress sink, the last status and the last error.
template <typename Derived, typename Interface>
class CHttpClientBase : public Interface {
public:
    void SetProgressSink(IHttpProgressSink* sink, DWORD userValue) override
    {
        m_pSink = sink;
        m_dwUserData = userValue;
    }
    void Release() override { delete static_cast<Derived*>(this); }
    HttpInterfaceError GetLastErrorCode() override { return m_error; }
    void SetHeaderField(const char* name, const char* value) override
    {
        if (name && value) m_header.SetHeaderField(name, value);
    }
    int GetLastStatus() override { return m_nStatusCode; }

protected:
    ~CHttpClientBase() = default;

    // Checks the arguments of a download into memory and clears its results.
    static void StartMemoryFetch(const wchar_t* url, unsigned char** block, DWORD* size)
    {
        if (!block || !size) throw kHttpErrBadDownloadParam;
        *block = nullptr;
        *size = 0;
        if (!url || !*url) throw kHttpErrBadDownloadParam;
    }

    void ReportProgress(int state, double total, double done)
    {
        if (m_pSink) m_pSink->OnProgress(m_dwUserData, state, total, done);
    }

    int m_nStatusCode = 0;
    CHttpHeader m_header;
    DWORD m_dwUserData = 0;
    IHttpProgressSink* m_pSink = nullptr;
    HttpInterfaceError m_error = kHttpErrNone;
};

// Execute and ExecuteA over the back-end's SendRequest, ReadStatus and ReadBody.
template <typename Derived, typename Interface>
class CRequestClientBase : public CHttpClientBase<Derived, Interface> {
public:
    std::string Execute(const wchar_t* url, bool post, const char* body, const wchar_t* extraHeaders) override
    {
        Derived& self = static_cast<Derived&>(*this);
        try {
            if (!url || !*url) throw kHttpErrBadRequestParam;
            self.SendRequest(url, post, body, extraHeaders);
            this->m_nStatusCode = self.ReadStatus();
            if (this->m_nStatusCode == 404) throw kHttpErrStatus;
            std::string answer;
            self.ReadBody([&answer](const char* data, DWORD count) { answer.append(data, count); });
            return answer;
        } catch (HttpInterfaceError error) {
            this->m_error = error;
            return {};
        }
    }

    std::string ExecuteA(const char* url, bool post, const char* body, const char* extraHeaders) override
    {
        std::wstring wideUrl = url ? Text::AnsiToWide(url) : std::wstring();
        std::wstring wideHeaders = extraHeaders ? Text::AnsiToWide(extraHeaders) : std::wstring();
        return Execute(url ? wideUrl.c_str() : nullptr, post, body, extraHeaders ? wideHeaders.c_str() : nullptr);
    }

protected:
    ~CRequestClientBase() = default;

    // The request of a download into a file, up to its status: an error page is not
    // the file that was asked for.
    void SendFileRequest(const wchar_t* url)
    {
        Derived& self = static_cast<Derived&>(*this);
        if (!url || !*url) throw kHttpErrBadDownloadParam;
        self.SendRequest(url, false, nullptr, nullptr);
        this->m_nStatusCode = self.ReadStatus();
        if (this->m_nStatusCode >= 400) throw kHttpErrStatus;
    }

    // A download into a file failed: its error is kept and no part of the file stays.
    template <typename File>
    bool FailFileFetch(HttpInterfaceError error, File& file, const wchar_t* filePath)
    {
        this->m_error = error;
        if (file.Valid()) {
            file.Reset();
            DeleteFileW(filePath);
        }
        return false;
    }

    // Where a request goes, split by SplitHttpUrl. An "https://" address on another
    // port than 443 is still meant to be encrypted.
    static TransportAddress TargetOf(const std::wstring& url)
    {
        std::wstring host, path;
        int port = 80;
        SplitHttpUrl(url, host, path, port);
        TransportAddress target;
        target.bSecure = port == 443 || url.compare(0, 8, L"https://") == 0;
        target.strHost = host;
        target.nPort = static_cast<unsigned short>(port);
        target.strObject = path;
        return target;
    }
};
