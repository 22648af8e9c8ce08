#include "http/HttpInterface.h"

#include <algorithm>

#include "net/TransportPolicy.h"

void SplitHttpUrl(const std::wstring& url, std::wstring& host, std::wstring& path, int& port)
{
    // Text without a scheme has always been taken as an http address.
    bool schemed = url.compare(0, 7, L"http://") == 0 || url.compare(0, 8, L"https://") == 0;
    std::wstring full = schemed ? url : L"http://" + url;
    // An empty port ("host:/") was read by the C library's conversion, as 0.
    size_t authorityEnd = std::min(full.find_first_of(L"/?#", full.find(L"://") + 3), full.size());
    bool emptyPort = full[authorityEnd - 1] == L':';
    if (emptyPort) full.erase(authorityEnd - 1, 1);
    TransportAddress address;
    if (!TransportPolicy::ParseAddress(full, address)) {
        // Nothing that could be connected to.
        host.clear();
        path = L"/";
        port = 0;
        return;
    }
    host = address.strHost;
    path = address.strObject;
    port = emptyPort ? 0 : address.Port();
}

void SplitHttpUrl(const std::string& url, std::string& host, std::string& path, int& port)
{
    // Byte for byte: what is not ASCII stays as it came, in the path only.
    std::wstring wide, wideHost, widePath;
    for (unsigned char c : url) wide += static_cast<wchar_t>(c);
    SplitHttpUrl(wide, wideHost, widePath, port);
    auto narrow = [](const std::wstring& text) {
        std::string bytes;
        for (wchar_t c : text) bytes += static_cast<char>(c);
        return bytes;
    };
    host = narrow(wideHost);
    path = narrow(widePath);
}
