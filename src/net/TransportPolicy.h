#pragma once
// The transport policy: how every HTTP request of this program is made, whichever
// layer makes it (download engine, redirect query, HTTP client library and the
// analytics that ride on it) and over whichever stack.
//
//   - An https address never leaves TLS: no redirect to http is followed, and the
//     address a response finally came from is checked.
//   - Certificate errors are never ignored; TLS 1.2 or later.
//   - An http address is fetched in clear text on both stacks.
//
// This header is stack-neutral: the addresses, the options of one request and the
// judgement of addresses. WinHttpTransport.h and WinInetTransport.h open sessions
// and requests with the policy applied (winhttp.h and wininet.h cannot meet in one
// translation unit). Every layer opens its sessions, connections and requests only
// through those two, so settings that every request needs (time-outs, the proxy and
// its credentials) have one place to go.
//
// Thread contract: stateless; every function may run on any thread.

#include <windows.h>

#include <string>
#include <vector>

// One address as a stack is asked for it.
struct TransportAddress {
    bool bSecure = false;  // https: TLS, the certificate checked
    std::wstring strHost;
    // 0: the scheme's own port (443 or 80).
    unsigned short nPort = 0;
    // The request target: path and query, beginning with "/".
    std::wstring strObject;

    unsigned short Port() const { return nPort ? nPort : static_cast<unsigned short>(bSecure ? 443 : 80); }
};

// What a caller chooses for one request; the policy decides everything else.
struct TransportOptions {
    const wchar_t* pszAgent = nullptr;
    // The system's proxy settings, or a direct connection.
    bool bUseSystemProxy = true;
    // Redirects within the policy are followed; off, a redirect is the answer.
    bool bFollowRedirects = true;
    // Limits in milliseconds; 0 keeps the stack's default.
    DWORD dwConnectTimeout = 0;
    DWORD dwSendTimeout = 0;
    DWORD dwReceiveTimeout = 0;
};

namespace TransportPolicy {

// Redirects followed for one request at most (the stacks' own limit is 10 too).
constexpr int kMaxRedirects = 10;

// An absolute address: "http://" or "https://" (either case), a host name, an IPv4
// address or a bracketed IPv6 address, an optional port 1 to 65535, then the path
// and query (a fragment is dropped). Refused: user information ("user@"), blanks,
// control characters and backslashes anywhere. `problem`, when given, receives a
// short English reason for a refusal.
bool ParseAddress(const std::wstring& url, TransportAddress& address, std::wstring* problem = nullptr);
// ParseAddress for the callers that take an address only as written in full: the
// scheme "http://" or "https://" in lower case and a "/" right behind the host.
bool ParseWrittenAddress(const std::wstring& url, TransportAddress& address);
// "https://host[:port]/object".
std::wstring FormatAddress(const TransportAddress& address);

// 301, 302, 303, 307 and 308: the answers that name another address to follow.
bool IsRedirectStatus(DWORD status);

// The address that a redirect's Location leads to, resolved against the address
// that answered (absolute, protocol-relative, rooted or relative). False when the
// Location is no usable address, or when following it would leave TLS.
bool ResolveRedirect(const TransportAddress& from, const std::wstring& location, TransportAddress& to);

// Whether the answer to a request for `asked` may be used when the stack reports
// `finalUrl` as the address it finally came from.
bool IsFinalAddressAllowed(const TransportAddress& asked, const std::wstring& finalUrl);

// A redirect service's answer as the download address: an absolute https address
// without user information, on one of `allowedHosts` when that list is not empty
// (names compared without regard to case; the port is free). False with a short
// English reason otherwise.
bool CheckRedirectAnswer(const std::wstring& location, const std::vector<std::wstring>& allowedHosts,
                         std::wstring& reason);

// Opening a page in the user's browser: only absolute http and https addresses.
bool IsBrowsableAddress(const std::wstring& url);

}  // namespace TransportPolicy
