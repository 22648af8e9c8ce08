// Downloads one address with the segmented downloader and prints how long the
// download itself took and the process's peak memory, for tools/download-bench/run.
// As in the installer, the size query of the install flow comes first: it is timed
// apart (it carries the process's first TLS handshake, which Wine makes slow).
// Usage: download_bench.exe URL SAVE_PATH THREADS

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "tool/HttpDownload.h"

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) {
        fprintf(stderr, "usage: download_bench URL SAVE_PATH THREADS\n");
        return 2;
    }
    DownloadParam param;
    param.strDownloadUrl = argv[1];
    param.strSavePath = argv[2];
    param.nDownloadThread = _wtoi(argv[3]);
    LocalFree(argv);

    LARGE_INTEGER frequency, queried, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&queried);
    long long size = QueryUrlFileSize(param.strDownloadUrl);
    QueryPerformanceCounter(&begin);
    bool done = size > 0 && HttpDownload(&param, nullptr, nullptr);
    QueryPerformanceCounter(&end);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    double ms = 1000.0 * static_cast<double>(end.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
    double queryMs =
        1000.0 * static_cast<double>(begin.QuadPart - queried.QuadPart) / static_cast<double>(frequency.QuadPart);
    printf("done=%d elapsed_ms=%.1f size_query_ms=%.1f peak_working_set=%lu\n", done ? 1 : 0, ms, queryMs,
           static_cast<unsigned long>(memory.PeakWorkingSetSize));
    return done ? 0 : 1;
}
