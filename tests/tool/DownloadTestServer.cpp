#include "DownloadTestServer.h"

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <sstream>

#include "TestSupport.h"

namespace {

std::wstring StatePath(const std::wstring& name) { return BuildPath(L"tests\\tool\\download-server\\" + name); }

const std::map<std::string, int>& Ports()
{
    static const std::map<std::string, int> ports = [] {
        std::map<std::string, int> found;
        std::istringstream lines(ReadFileBytes(StatePath(L"ports")));
        std::string mode;
        int port = 0;
        while (lines >> mode >> port) found[mode] = port;
        return found;
    }();
    return ports;
}

}  // namespace

int PortOf(ServerPort port)
{
    static const char* const kModes[] = {"plain", "tls", "dual", "selfsigned", "expired", "wronghost", "tls11"};
    const char* mode = kModes[static_cast<int>(port)];
    auto found = Ports().find(mode);
    if (found == Ports().end()) {
        ADD_FAILURE() << "no test server: the download_server fixture writes " << ToUtf8(StatePath(L"ports"));
        return 1;
    }
    return found->second;
}

std::wstring ServerUrl(ServerPort port, bool https, const std::string& path)
{
    return ToWide((https ? "https://localhost:" : "http://localhost:") + std::to_string(PortOf(port)) + "/" + path);
}

std::vector<ServedRequest> RequestsFor(const std::string& path)
{
    std::vector<ServedRequest> found;
    std::istringstream lines(ReadFileBytes(StatePath(L"requests.log")));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ServedRequest request;
        fields >> request.port >> request.scheme >> request.method >> request.status >> request.range >> request.path >>
            request.ifRange;
        if (request.path == "/" + path) found.push_back(request);
    }
    return found;
}

long long BytesSentFor(const std::string& path)
{
    long long total = 0;
    std::istringstream lines(ReadFileBytes(StatePath(L"sent.log")));
    long long count = 0;
    std::string sentPath;
    while (lines >> count >> sentPath) {
        if (sentPath == "/" + path) total += count;
    }
    return total;
}

std::vector<std::string> ClearTextWith(const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream lines(ReadFileBytes(StatePath(L"clear.log")));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
}

std::string ServedFile(const std::string& name) { return ReadFileBytes(StatePath(L"files\\" + ToWide(name))); }

std::string UniquePath(const std::string& directivesAndFile)
{
    static std::atomic<int> serial{0};
    // The server outlives one run of the tests, and Wine reuses process ids.
    static const unsigned long long run = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string id = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
    return "id=" + id + "." + std::to_string(run) + "." + std::to_string(serial++) + "/" +
           directivesAndFile;
}

std::string Sha256(const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0) {
        if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                           static_cast<ULONG>(bytes.size()), 0);
            BCryptFinishHash(hash, digest, sizeof digest, 0);
            BCryptDestroyHash(hash);
        }
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    char hex[65] = {};
    for (int i = 0; i < 32; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}
