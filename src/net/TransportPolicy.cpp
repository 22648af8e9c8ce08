#include "net/TransportPolicy.h"

#include <cwctype>

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size() || towlower(text[i]) != towlower(prefix[i])) return false;
    }
    return true;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (towlower(a[i]) != towlower(b[i])) return false;
    }
    return true;
}

bool IsAsciiAlnum(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'); }

// Text that no part of an address may hold: blanks, control characters (they split
// header lines and hide text in logs) and backslashes (browsers and some stacks read
// them as slashes, which moves the host).
bool HasForbiddenCharacter(const std::wstring& text)
{
    for (wchar_t c : text) {
        if (c <= L' ' || c == 0x7F || c == L'\\') return true;
    }
    return false;
}

// "scheme:" at the start: a letter, then letters, digits, "+", "-" or ".".
bool HasScheme(const std::wstring& text)
{
    if (text.empty() || !iswalpha(text[0])) return false;
    for (size_t i = 1; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L':') return true;
        if (!IsAsciiAlnum(c) && c != L'+' && c != L'-' && c != L'.') return false;
    }
    return false;
}

bool IsValidHost(const std::wstring& host)
{
    if (host.empty() || host.size() > 255) return false;
    if (host.front() == L'[') {
        if (host.size() < 3 || host.back() != L']') return false;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            wchar_t c = host[i];
            if (!iswxdigit(c) && c != L':' && c != L'.') return false;
        }
        return true;
    }
    for (wchar_t c : host) {
        if (!IsAsciiAlnum(c) && c != L'-' && c != L'.' && c != L'_') return false;
    }
    return host.front() != L'.' && host.front() != L'-';
}

bool Refuse(std::wstring* problem, const wchar_t* reason)
{
    if (problem) *problem = reason;
    return false;
}

}  // namespace

namespace TransportPolicy {

bool ParseAddress(const std::wstring& url, TransportAddress& address, std::wstring* problem)
{
    if (url.empty()) return Refuse(problem, L"it is empty");
    if (HasForbiddenCharacter(url)) return Refuse(problem, L"it holds a blank, a control character or a backslash");
    TransportAddress parsed;
    size_t start = 0;
    if (StartsWithNoCase(url, L"https://")) {
        parsed.bSecure = true;
        start = 8;
    } else if (StartsWithNoCase(url, L"http://")) {
        start = 7;
    } else if (url.compare(0, 2, L"//") == 0 || !HasScheme(url)) {
        return Refuse(problem, L"it is not an absolute address");
    } else {
        return Refuse(problem, L"its scheme is neither https nor http");
    }
    size_t end = url.find_first_of(L"/?#", start);
    if (end == std::wstring::npos) end = url.size();
    std::wstring authority = url.substr(start, end - start);
    if (authority.find(L'@') != std::wstring::npos) return Refuse(problem, L"it carries user information");

    size_t colon = authority.rfind(L':');
    if (colon != std::wstring::npos && authority.find(L']', colon) == std::wstring::npos) {
        std::wstring digits = authority.substr(colon + 1);
        unsigned long port = 0;
        if (digits.empty() || digits.size() > 5) return Refuse(problem, L"its port is not valid");
        for (wchar_t c : digits) {
            if (c < L'0' || c > L'9') return Refuse(problem, L"its port is not valid");
            port = port * 10 + (c - L'0');
        }
        if (port < 1 || port > 65535) return Refuse(problem, L"its port is not valid");
        parsed.nPort = static_cast<unsigned short>(port);
        authority.resize(colon);
    }
    if (!IsValidHost(authority)) return Refuse(problem, L"its host is not valid");
    parsed.strHost = authority;

    std::wstring rest = url.substr(end);
    rest = rest.substr(0, rest.find(L'#'));
    if (rest.empty() || rest[0] != L'/') rest.insert(0, L"/");
    parsed.strObject = rest;
    address = parsed;
    return true;
}

bool ParseWrittenAddress(const std::wstring& url, TransportAddress& address)
{
    size_t start = url.compare(0, 7, L"http://") == 0 ? 7 : url.compare(0, 8, L"https://") == 0 ? 8 : 0;
    if (start == 0) return false;
    size_t end = url.find_first_of(L"/?#", start);
    if (end == std::wstring::npos || url[end] != L'/') return false;
    return ParseAddress(url, address);
}

std::wstring FormatAddress(const TransportAddress& address)
{
    std::wstring text = address.bSecure ? L"https://" : L"http://";
    text += address.strHost;
    if (address.nPort) text += L":" + std::to_wstring(address.nPort);
    return text + address.strObject;
}

bool IsRedirectStatus(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool ResolveRedirect(const TransportAddress& from, const std::wstring& location, TransportAddress& to)
{
    if (location.empty() || HasForbiddenCharacter(location)) return false;
    TransportAddress next;
    if (location.compare(0, 2, L"//") == 0) {
        if (!ParseAddress((from.bSecure ? L"https:" : L"http:") + location, next)) return false;
    } else if (HasScheme(location)) {
        if (!ParseAddress(location, next)) return false;
    } else {
        next = from;
        std::wstring object = location.substr(0, location.find(L'#'));
        if (object.empty() || object[0] != L'/') {
            // Relative to the folder of the path that answered.
            std::wstring path = from.strObject.substr(0, from.strObject.find(L'?'));
            object = path.substr(0, path.rfind(L'/') + 1) + object;
        }
        next.strObject = object;
    }
    if (from.bSecure && !next.bSecure) return false;
    to = next;
    return true;
}

bool IsFinalAddressAllowed(const TransportAddress& asked, const std::wstring& finalUrl)
{
    return !asked.bSecure || StartsWithNoCase(finalUrl, L"https://");
}

bool CheckRedirectAnswer(const std::wstring& location, const std::vector<std::wstring>& allowedHosts,
                         std::wstring& reason)
{
    TransportAddress address;
    if (location.empty()) {
        reason = L"the answer names no address";
        return false;
    }
    if (!ParseAddress(location, address, &reason)) return false;
    if (!address.bSecure) {
        reason = L"it is not an https address";
        return false;
    }
    if (allowedHosts.empty()) return true;
    for (const std::wstring& host : allowedHosts) {
        if (EqualNoCase(host, address.strHost)) return true;
    }
    reason = L"its host is not one of the allowed download hosts";
    return false;
}

bool IsBrowsableAddress(const std::wstring& url)
{
    TransportAddress ignored;
    return ParseAddress(url, ignored);
}

}  // namespace TransportPolicy
