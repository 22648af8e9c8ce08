#pragma once
// The header table of one client object: request fields with the defaults every
// request carries, and, for a parsed response, its status line and fields.

#include <map>
#include <string>

class CHttpHeader {
public:
    // Adds the field when both texts are non-empty and the name is not present yet.
    void SetHeaderField(const std::string& name, const std::string& value);
    // Sets the field whether or not it is present.
    void ReplaceField(const std::string& name, const std::string& value);
    bool HasField(const std::string& name) const;
    // Servers choose the letter case of their fields, so a name that is not present
    // exactly is looked up without regard to case. Empty when absent.
    std::string GetField(const std::string& name) const;

    // "Name: value\r\n" for every field in byte-wise name order, after adding the
    // default fields that are missing (they stay for later requests).
    std::string BuildHeaderLines();
    // The socket client's request text for the current path.
    std::string BuildGetRequest();
    // Fills this table from a response header block without its closing empty line.
    void ParseResponseHeader(const std::string& text);

    int StatusCode() const { return m_nStatusCode; }
    const std::string& Version() const { return m_strVersion; }
    const std::string& Reason() const { return m_strReason; }
    const std::string& Path() const { return m_strPath; }
    void SetPath(const std::string& path) { m_strPath = path; }
    void SetVersion(const std::string& version) { m_strVersion = version; }

private:
    void AddDefaultFields();

    int m_nStatusCode = 0;
    std::string m_strVersion;
    std::string m_strReason;
    std::string m_strPath;
    std::map<std::string, std::string> m_mapFields;  // std::less: plain byte-wise order
};
