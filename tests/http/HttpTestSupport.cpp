#include "HttpTestSupport.h"

#include "TestSupport.h"

#include <cctype>

namespace {

std::string RecordName(const std::string& target)
{
    std::string name = target;
    for (auto& c : name) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '_';
    }
    return name;
}

}  // namespace

TestServer::TestServer(const std::wstring& stateName) : m_state(BuildPath(L"testserver\\" + stateName)) {}

bool TestServer::Ready() const { return Port(L"http") > 0; }

int TestServer::Port(const wchar_t* listener) const
{
    return static_cast<int>(GetPrivateProfileIntW(L"ports", listener, 0, (m_state + L"\\ports.ini").c_str()));
}

std::wstring TestServer::Url(const wchar_t* listener, const std::string& path) const
{
    bool plain = std::wstring(listener) == L"http";
    return (plain ? L"http://127.0.0.1:" : L"https://localhost:") + std::to_wstring(Port(listener)) + ToWide(path);
}

std::wstring TestServer::RecordPath(const std::string& name) const
{
    return m_state + L"\\records\\" + ToWide(name);
}

std::string TestServer::Record(const std::string& target) const
{
    std::wstring path = RecordPath(RecordName(target) + ".req");
    for (int i = 0; i < 40 && !FileExistsW(path); ++i) Sleep(50);
    return ReadFileBytes(path);
}

int TestServer::RecordConnection(const std::string& target) const
{
    return atoi(ReadFileBytes(RecordPath(RecordName(target) + ".conn")).c_str());
}

void TestServer::ForgetRecord(const std::string& target) const
{
    DeleteFileW(RecordPath(RecordName(target) + ".req").c_str());
    DeleteFileW(RecordPath(RecordName(target) + ".conn").c_str());
}

std::string RequestField(const std::string& request, const std::string& name)
{
    size_t end = request.find("\r\n\r\n");
    std::string header = request.substr(0, end);
    size_t start = header.find("\r\n");
    while (start != std::string::npos) {
        size_t next = header.find("\r\n", start + 2);
        std::string line = header.substr(start + 2, next == std::string::npos ? std::string::npos : next - start - 2);
        size_t colon = line.find(':');
        if (colon != std::string::npos && _stricmp(line.substr(0, colon).c_str(), name.c_str()) == 0) {
            size_t value = line.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
        start = next;
    }
    return {};
}

std::string RequestBody(const std::string& request)
{
    size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

bool IsPatternBody(const unsigned char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != '0' + i % 10) return false;
    }
    return true;
}

void RecordingSink::OnProgress(DWORD userValue, int state, double total, double done)
{
    calls.push_back({userValue, state, total, done});
}

bool RecordingSink::ShouldStop()
{
    ++shouldStopQuestions;
    return stopAfterDataCalls >= 0 && CountState(kHttpProgressData) >= stopAfterDataCalls;
}

int RecordingSink::CountState(int state) const
{
    int count = 0;
    for (const auto& call : calls) count += call.state == state;
    return count;
}
