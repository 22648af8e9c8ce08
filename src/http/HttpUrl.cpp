#include "http/HttpInterface.h"

#include <cstdlib>

namespace {

int ParsePort(const std::wstring& text) { return _wtoi(text.c_str()); }
int ParsePort(const std::string& text) { return std::atoi(text.c_str()); }

template <typename Text>
void SplitUrl(const Text& url, Text& host, Text& path, int& port, const Text& http, const Text& https)
{
    using Char = typename Text::value_type;
    port = 80;
    Text rest = url;
    // Only a leading scheme counts: an address whose query names another address
    // ("https://a/?next=http://b/") still goes to its own host.
    if (url.compare(0, http.size(), http) == 0) {
        rest = url.substr(http.size());
    } else if (url.compare(0, https.size(), https) == 0) {
        rest = url.substr(https.size());
        port = 443;
    }
    size_t slash = rest.find(Char('/'));
    host = rest.substr(0, slash);
    path = slash == Text::npos ? Text(1, Char('/')) : rest.substr(slash);
    size_t colon = host.find(Char(':'));
    if (colon != Text::npos) {
        port = ParsePort(host.substr(colon + 1));
        host.erase(colon);
    }
}

}  // namespace

void SplitHttpUrl(const std::wstring& url, std::wstring& host, std::wstring& path, int& port)
{
    SplitUrl<std::wstring>(url, host, path, port, L"http://", L"https://");
}

void SplitHttpUrl(const std::string& url, std::string& host, std::string& path, int& port)
{
    SplitUrl<std::string>(url, host, path, port, "http://", "https://");
}
