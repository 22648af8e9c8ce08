// The platform's floor for tools/download-bench/run: the same five ranges as the
// downloader, fetched with bare WinHTTP calls on five threads and written at their
// offsets, with nothing else: no retries, no checks, no state. What the downloader
// costs beyond this is its own; the rest is WinHTTP's and Wine's. Like the downloader
// in the installer, it comes after one size query, untimed.
// Usage: download_floor.exe https://HOST:PORT/PATH SAVE_PATH THREADS

#include <windows.h>
#include <shellapi.h>
#include <winhttp.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Target {
    std::wstring host, path;
    INTERNET_PORT port = 443;
};

bool Crack(const wchar_t* url, Target& target)
{
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256], path[2048];
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(url, 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    target.host = host;
    target.path = path;
    target.port = parts.nPort;
    return true;
}

// One request over its own session; answers the response's Content-Length (HEAD) or
// the bytes of the range written into the file (GET), -1 on any failure.
long long Fetch(const Target& target, const wchar_t* verb, long long first, long long last, HANDLE file)
{
    long long result = -1;
    HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = session ? WinHttpConnect(session, target.host.c_str(), target.port, 0) : nullptr;
    HINTERNET request = connection ? WinHttpOpenRequest(connection, verb, target.path.c_str(), nullptr, nullptr,
                                                        nullptr, WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH)
                                   : nullptr;
    wchar_t range[80];
    swprintf(range, 80, L"Range: bytes=%lld-%lld", first, last);
    if (request && WinHttpSendRequest(request, file ? range : nullptr, file ? static_cast<DWORD>(-1L) : 0, nullptr,
                                      0, 0, 0) &&
        WinHttpReceiveResponse(request, nullptr)) {
        if (!file) {
            wchar_t length[32] = {};
            DWORD size = sizeof length;
            if (WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, nullptr, length, &size, nullptr)) {
                result = _wtoi64(length);
            }
        } else {
            std::vector<char> buffer(102400);
            long long at = first;
            DWORD read = 0;
            while (WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0) {
                OVERLAPPED position{};
                position.Offset = static_cast<DWORD>(at);
                position.OffsetHigh = static_cast<DWORD>(at >> 32);
                DWORD written = 0;
                if (!WriteFile(file, buffer.data(), read, &written, &position)) break;
                at += read;
            }
            result = at - first;
        }
    }
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    if (session) WinHttpCloseHandle(session);
    return result;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Target target;
    if (!argv || argc != 4 || !Crack(argv[1], target)) {
        fprintf(stderr, "usage: download_floor https://HOST:PORT/PATH SAVE_PATH THREADS\n");
        return 2;
    }
    int threads = _wtoi(argv[3]);
    HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LocalFree(argv);
    if (file == INVALID_HANDLE_VALUE || threads < 1) return 2;

    Fetch(target, L"HEAD", 0, 0, nullptr);
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    long long size = Fetch(target, L"HEAD", 0, 0, nullptr);
    long long length = size / threads;
    std::vector<long long> got(threads, -1);
    std::vector<std::thread> workers;
    for (int i = 0; size > 0 && i < threads; ++i) {
        long long first = i * length;
        long long last = i == threads - 1 ? size - 1 : first + length - 1;
        workers.emplace_back([&, i, first, last] { got[i] = Fetch(target, L"GET", first, last, file); });
    }
    for (auto& worker : workers) worker.join();
    QueryPerformanceCounter(&end);
    CloseHandle(file);

    long long total = 0;
    for (long long bytes : got) total += bytes > 0 ? bytes : 0;
    bool done = size > 0 && total == size;
    double ms = 1000.0 * static_cast<double>(end.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
    printf("done=%d elapsed_ms=%.1f\n", done ? 1 : 0, ms);
    return done ? 0 : 1;
}
