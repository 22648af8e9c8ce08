#pragma once
// Asks the redirect service for the installer's real address.
//
// Thread contract: blocking; runs on the install worker.

#include <string>
#include <vector>

// "http://" or "https://", the host (with its port) up to the first "/", the path
// after it, as TransportPolicy::ParseWrittenAddress cracks it. An address with
// neither prefix leaves host and path as they are and succeeds.
bool SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path);

// `url` is the redirect service's address (in) and, on a 302 answer, its Location
// (out). The request follows the address's scheme: TLS on 443 (or the address's
// port) for https, plain HTTP on 80 (or the port) otherwise. True with the address
// unchanged when the answer cannot be received, so the download then uses the
// service's own address; false on any other failure and for a status other than 302.
bool GetRedirectUrl(const std::wstring& host, const std::wstring& path, std::wstring& url);

// The address to download the installer from. With a redirect service configured,
// its answer, when the transport policy takes it as a download address: an absolute
// https address without user information, on one of `allowedHosts` unless that list
// is empty. Otherwise `configured` (STR_DOWN_URL), and a log line says why.
std::wstring ResolveDownloadUrl(const std::wstring& redirectService, const std::wstring& configured,
                                const std::vector<std::wstring>& allowedHosts);
