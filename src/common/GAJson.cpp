#include "common/GAJson.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <utility>

namespace {

rapidjson::Value CopyString(const std::string& text, rapidjson::Document::AllocatorType& allocator)
{
    return rapidjson::Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

}  // namespace

CDownloaderGAJSONStruct::CDownloaderGAJSONStruct(const GAData* data, int filterMode,
                                                 std::unordered_set<std::string> filterKeys)
    : nFilterMode(filterMode), setFilterKeys(std::move(filterKeys)), m_pData(data)
{
}

void CDownloaderGAJSONStruct::ReservedHook(rapidjson::Value&) {}

bool CDownloaderGAJSONStruct::Keeps(const char* key) const
{
    bool listed = setFilterKeys.count(key) != 0;
    if (nFilterMode == kGAFilterExclude) return !listed;
    if (nFilterMode == kGAFilterOnly) return listed;
    return true;
}

rapidjson::Value CDownloaderGAJSONStruct::ToJson(rapidjson::Document::AllocatorType& allocator)
{
    rapidjson::Value root(rapidjson::kObjectType);
    if (Keeps("client_id")) root.AddMember("client_id", CopyString(m_pData->strClientId, allocator), allocator);

    if (Keeps("user_properties")) {
        rapidjson::Value properties(rapidjson::kObjectType);
        if (Keeps("uid")) {
            rapidjson::Value uid(rapidjson::kObjectType);
            if (Keeps("value")) uid.AddMember("value", CopyString(m_pData->strUid, allocator), allocator);
            properties.AddMember("uid", uid, allocator);
        }
        root.AddMember("user_properties", properties, allocator);
    }

    if (Keeps("events")) {
        rapidjson::Value events(rapidjson::kArrayType);
        for (const GAEvent& event : m_pData->vecEvents) {
            rapidjson::Value entry(rapidjson::kObjectType);
            if (Keeps("name")) entry.AddMember("name", CopyString(event.strName, allocator), allocator);
            if (Keeps("params")) {
                rapidjson::Value params(rapidjson::kObjectType);
                if (Keeps("event_category")) {
                    params.AddMember("event_category", CopyString(event.strCategory, allocator), allocator);
                }
                if (Keeps("event_label")) {
                    params.AddMember("event_label", CopyString(event.strLabel, allocator), allocator);
                }
                for (const auto& param : event.vecParams) {
                    if (Keeps(param.first.c_str())) {
                        params.AddMember(CopyString(param.first, allocator), CopyString(param.second, allocator),
                                         allocator);
                    }
                }
                entry.AddMember("params", params, allocator);
            }
            events.PushBack(entry, allocator);
        }
        root.AddMember("events", events, allocator);
    }
    return root;
}

std::string SerializeJson(IJSONStruct& record, rapidjson::Document& document)
{
    rapidjson::Value root = record.ToJson(document.GetAllocator());
    static_cast<rapidjson::Value&>(document).Swap(root);
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 4);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}
