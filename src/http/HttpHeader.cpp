#include "http/HttpHeader.h"

#include <cstdlib>
#include <cstring>

namespace {

const char kDefaultVersion[] = "HTTP/1.1";

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

void CHttpHeader::SetHeaderField(const std::string& name, const std::string& value)
{
    if (name.empty() || value.empty()) return;
    m_mapFields.emplace(name, value);
}

void CHttpHeader::ReplaceField(const std::string& name, const std::string& value)
{
    if (name.empty() || value.empty()) return;
    m_mapFields[name] = value;
}

bool CHttpHeader::HasField(const std::string& name) const { return m_mapFields.count(name) != 0; }

std::string CHttpHeader::GetField(const std::string& name) const
{
    auto exact = m_mapFields.find(name);
    if (exact != m_mapFields.end()) return exact->second;
    for (const auto& field : m_mapFields) {
        if (EqualsIgnoringCase(field.first, name)) return field.second;
    }
    return {};
}

void CHttpHeader::AddDefaultFields()
{
    SetHeaderField("User-Agent",
                   "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                   "Chrome/80.0.4044.92 Safari/537.36");
    SetHeaderField("Accept", "*/*");
    SetHeaderField("Connection", "Keep-Alive");
    SetHeaderField("Accept-Language", "zh-CN,zh;q=0.9");
}

std::string CHttpHeader::BuildHeaderLines()
{
    AddDefaultFields();
    std::string lines;
    for (const auto& field : m_mapFields) {
        lines += field.first;
        lines += ": ";
        lines += field.second;
        lines += "\r\n";
    }
    return lines;
}

std::string CHttpHeader::BuildGetRequest()
{
    std::string request = "GET " + m_strPath + " " + (m_strVersion.empty() ? kDefaultVersion : m_strVersion) + "\r\n";
    request += BuildHeaderLines();
    // Peers have always received one empty line more than the header needs.
    request += "\r\n\r\n";
    return request;
}

void CHttpHeader::ParseResponseHeader(const std::string& text)
{
    m_mapFields.clear();
    m_nStatusCode = 0;
    m_strReason.clear();

    size_t lineEnd = text.find("\r\n");
    std::string statusLine = text.substr(0, lineEnd);
    m_strVersion = statusLine.substr(0, 8);
    size_t firstBlank = statusLine.find(' ');
    if (firstBlank != std::string::npos) {
        m_nStatusCode = std::atoi(statusLine.c_str() + firstBlank + 1);
        size_t secondBlank = statusLine.find(' ', firstBlank + 1);
        if (secondBlank != std::string::npos) m_strReason = statusLine.substr(secondBlank + 1);
    }

    while (lineEnd != std::string::npos) {
        size_t start = lineEnd + 2;
        lineEnd = text.find("\r\n", start);
        std::string line = text.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        size_t separator = line.find(": ");
        // A line without the separator carries no field we could name.
        if (separator == std::string::npos) continue;
        // emplace keeps the first value of a repeated name.
        m_mapFields.emplace(line.substr(0, separator), line.substr(separator + 2));
    }
}
