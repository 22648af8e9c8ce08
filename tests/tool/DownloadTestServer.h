#pragma once
// What the download tests share: the misbehaving file server that the ctest
// fixture started (tools/testserver) and SHA-256; LogCapture for the log lines a
// test produced.

#include <windows.h>

#include <string>
#include <vector>

#include "LogCapture.h"

// kPlain, kTls and kDual serve files; the others serve them too, but the clients
// must refuse them: a self-signed, a long expired and a certificate naming another
// host, and a server that speaks TLS 1.1 at most.
enum class ServerPort { kPlain, kTls, kDual, kSelfSigned, kExpired, kWrongHost, kTls11 };

// One line of the server's request log.
struct ServedRequest {
    int port = 0;
    std::string scheme;  // "plain" or "tls"
    std::string method;
    std::string status;  // a number, or "dropped"
    std::string range;   // "-" without a Range header
    std::string path;
    std::string ifRange;  // "-" without an If-Range header; blanks written as "_"
};

int PortOf(ServerPort port);
// "https://localhost:<port>/<path>" (or http://); path without a leading slash.
std::wstring ServerUrl(ServerPort port, bool https, const std::string& path);
// The requests the server logged for exactly this path, oldest first.
std::vector<ServedRequest> RequestsFor(const std::string& path);
// The body bytes the server sent for this path, all GETs together.
long long BytesSentFor(const std::string& path);
// The lines of what arrived in clear text (any port) that mention this text.
std::vector<std::string> ClearTextWith(const std::string& text);
// A file the server serves ("1000.bin"), as the test reads it from the disk.
std::string ServedFile(const std::string& name);
// A path that no other test uses: "id=<test name>/<directives>/<file>".
std::string UniquePath(const std::string& directivesAndFile);

std::string Sha256(const std::string& bytes);
