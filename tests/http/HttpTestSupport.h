#pragma once
// What the HTTP and analytics tests share: the loopback test server that a ctest
// fixture started (its ports and what it recorded), and a progress sink that
// remembers every call.

#include "http/HttpInterface.h"

#include <string>
#include <vector>

class TestServer {
public:
    // stateName: the folder under build/testserver that the fixture gave the server.
    explicit TestServer(const std::wstring& stateName);
    bool Ready() const;
    int Port(const wchar_t* listener) const;
    // "http://127.0.0.1:port/path", or "https://localhost:port/path" for a TLS listener.
    std::wstring Url(const wchar_t* listener, const std::string& path) const;
    // The raw bytes of the last request for this target (path and query), waiting a
    // little for the server to write them; empty when none arrived.
    std::string Record(const std::string& target) const;
    // The server's number of the connection that carried that request, 0 when none.
    int RecordConnection(const std::string& target) const;
    void ForgetRecord(const std::string& target) const;
    std::wstring RecordPath(const std::string& name) const;

private:
    std::wstring m_state;
};

// A header field of a raw request, empty when absent.
std::string RequestField(const std::string& request, const std::string& name);
// The body of a raw request (after the first empty line).
std::string RequestBody(const std::string& request);
// The bytes the server's generated bodies carry: byte i is '0' + i % 10.
bool IsPatternBody(const unsigned char* data, size_t size);

struct ProgressCall {
    DWORD userValue;
    int state;
    double total;
    double done;
};

class RecordingSink : public IHttpProgressSink {
public:
    void OnProgress(DWORD userValue, int state, double total, double done) override;
    bool ShouldStop() override;
    int CountState(int state) const;

    std::vector<ProgressCall> calls;
    // ShouldStop answers true once this many data calls arrived; -1: never.
    int stopAfterDataCalls = -1;
    int shouldStopQuestions = 0;
};

// Owns a client from CreateHttpClient and releases it.
template <typename Interface>
class ClientPtr {
public:
    explicit ClientPtr(int type)
    {
        IHttpBase* client = nullptr;
        if (CreateHttpClient(&client, type)) m_client = static_cast<Interface*>(client);
    }
    ~ClientPtr()
    {
        if (m_client) m_client->Release();
    }
    ClientPtr(const ClientPtr&) = delete;
    ClientPtr& operator=(const ClientPtr&) = delete;
    Interface* operator->() const { return m_client; }
    Interface* get() const { return m_client; }

private:
    Interface* m_client = nullptr;
};
