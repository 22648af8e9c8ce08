#pragma once
// The JSON body of an analytics request: the record of one request, the interface
// through which a record builds its JSON value, and the printer.

#include <rapidjson/document.h>

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

struct GAEvent {
    std::string strName;
    std::string strCategory;  // event parameter event_category
    std::string strLabel;     // event parameter event_label
    // Further string parameters, written after event_label in this order.
    std::vector<std::pair<std::string, std::string>> vecParams;
};

// The values of one request, in UTF-8.
struct GAData {
    std::string strClientId;
    std::string strUid;  // value of the user property uid
    std::vector<GAEvent> vecEvents;
};

class IJSONStruct {
public:
    // Kept free for records that need to see the value again; nothing calls it.
    virtual void ReservedHook(rapidjson::Value& value) = 0;
    // The caller owns the value; its strings live in the given allocator.
    virtual rapidjson::Value ToJson(rapidjson::Document::AllocatorType& allocator) = 0;

protected:
    ~IJSONStruct() = default;
};

// Filter modes of CDownloaderGAJSONStruct.
enum GAFilterMode { kGAFilterExclude = 0, kGAFilterOnly = 1 };

class CDownloaderGAJSONStruct : public IJSONStruct {
public:
    // data is borrowed and must outlive ToJson. Mode 0 leaves out the keys in the set,
    // mode 1 writes only those, any other mode writes every key.
    CDownloaderGAJSONStruct(const GAData* data, int filterMode, std::unordered_set<std::string> filterKeys);

    void ReservedHook(rapidjson::Value& value) override;
    rapidjson::Value ToJson(rapidjson::Document::AllocatorType& allocator) override;

private:
    bool Keeps(const char* key) const;

    int nFilterMode;
    std::unordered_set<std::string> setFilterKeys;
    const GAData* m_pData;
};

// Makes the record's value the document's root and prints it with four blanks of
// indent per level, without a final line break.
std::string SerializeJson(IJSONStruct& record, rapidjson::Document& document);
