#include "tool/DownloadState.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "base/TextEncoding.h"
#include "log/Log.h"
#include "tool/RegularFile.h"

namespace {

const char kMagic[] = "vantelo-download-state 1";
// Bounds for a file that anyone able to write the work folder could have edited.
constexpr size_t kMaxFileBytes = 256 * 1024;
constexpr size_t kMaxRanges = 4096;
constexpr size_t kMaxTextChars = 4096;

unsigned long long Fnv1a64(const std::string& bytes)
{
    unsigned long long hash = 14695981039346656037ULL;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return hash;
}

// A value that fits on its line: no control characters, bounded.
bool IsLineText(const std::wstring& text)
{
    if (text.empty() || text.size() > kMaxTextChars) return false;
    for (wchar_t c : text) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// Decimal digits only, no sign, no leading blanks, within 63 bits.
bool ParseNumber(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 18) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "name value": the text after the first blank.
bool SplitLine(const std::string& line, std::string& name, std::string& value)
{
    size_t blank = line.find(' ');
    if (blank == std::string::npos) return false;
    name = line.substr(0, blank);
    value = line.substr(blank + 1);
    return true;
}

}  // namespace

std::wstring CDownloadState::PathFor(const std::wstring& strSavePath) { return strSavePath + L".state"; }

std::string CDownloadState::Serialize() const
{
    std::ostringstream out;
    out << kMagic << "\n";
    out << "size " << llFileSize << "\n";
    out << (bETag ? "etag " : "last-modified ") << Text::WideToUtf8(strValidator) << "\n";
    out << "url " << Text::WideToUtf8(strUrl) << "\n";
    for (const ByteRange& range : done) out << "done " << range.llFirst << " " << range.llEnd << "\n";
    std::string body = out.str();
    char check[40];
    snprintf(check, sizeof check, "check %016llx\n", Fnv1a64(body));
    return body + check;
}

bool CDownloadState::Parse(const std::string& strText)
{
    if (strText.size() > kMaxFileBytes) return false;
    size_t checkAt = strText.rfind("check ");
    if (checkAt == std::string::npos || (checkAt > 0 && strText[checkAt - 1] != '\n')) return false;
    std::string body = strText.substr(0, checkAt);
    char expected[40];
    snprintf(expected, sizeof expected, "check %016llx\n", Fnv1a64(body));
    if (strText.compare(checkAt, std::string::npos, expected) != 0) return false;

    CDownloadState parsed;
    std::istringstream lines(body);
    std::string line, name, value;
    if (!std::getline(lines, line) || line != kMagic) return false;
    if (!std::getline(lines, line) || !SplitLine(line, name, value) || name != "size" ||
        !ParseNumber(value, parsed.llFileSize)) {
        return false;
    }
    if (!std::getline(lines, line) || !SplitLine(line, name, value) || (name != "etag" && name != "last-modified") ||
        !IsLineText(parsed.strValidator = Text::Utf8ToWide(value))) {
        return false;
    }
    parsed.bETag = name == "etag";
    if (!std::getline(lines, line) || !SplitLine(line, name, value) || name != "url" ||
        !IsLineText(parsed.strUrl = Text::Utf8ToWide(value))) {
        return false;
    }
    long long previousEnd = 0;
    while (std::getline(lines, line)) {
        std::string first, end;
        if (!SplitLine(line, name, value) || name != "done" || !SplitLine(value, first, end)) return false;
        ByteRange range;
        if (!ParseNumber(first, range.llFirst) || !ParseNumber(end, range.llEnd)) return false;
        if (range.llFirst < previousEnd || range.llEnd <= range.llFirst || range.llEnd > parsed.llFileSize) return false;
        if (parsed.done.size() >= kMaxRanges) return false;
        parsed.done.push_back(range);
        previousEnd = range.llEnd;
    }
    *this = parsed;
    return true;
}

bool CDownloadState::Load(const std::wstring& strPath)
{
    std::string text;
    return ReadRegularFile(strPath, kMaxFileBytes, text) && Parse(text);
}

bool CDownloadState::Save(const std::wstring& strPath) const
{
    if (!IsLineText(strValidator) || !IsLineText(strUrl) || done.size() > kMaxRanges) {
        LOG_A("ERR:the download state cannot be written: validator or address unfit, or too many ranges");
        return false;
    }
    return ReplaceRegularFile(strPath, Serialize());
}

long long CDownloadState::DoneBytes() const
{
    long long total = 0;
    for (const ByteRange& range : done) total += range.Length();
    return total;
}
