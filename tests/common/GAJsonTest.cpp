#include "common/GAJson.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const char kGuid[] = "0123ABCD-4567-89ab-CDEF-0123456789AB";

GAData ExampleData()
{
    GAData data;
    data.strClientId = kGuid;
    data.strUid = kGuid;
    data.vecEvents.push_back({"Downloader_Start_Install", "Vantelo Pexar (Windows version)", kGuid});
    return data;
}

std::string Print(const GAData& data, int mode = kGAFilterExclude, std::unordered_set<std::string> keys = {})
{
    CDownloaderGAJSONStruct record(&data, mode, std::move(keys));
    rapidjson::Document document;
    return SerializeJson(record, document);
}

TEST(GAJsonText, WorkedExampleIsExact)
{
    std::string expected = ReadFileBytes(TestDataPath(L"analytics\\worked-example.json"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Print(ExampleData()), expected);
}

TEST(GAJsonText, WithoutEventsTheArrayIsEmpty)
{
    GAData data = ExampleData();
    data.vecEvents.clear();
    EXPECT_EQ(Print(data), "{\n"
                           "    \"client_id\": \"0123ABCD-4567-89ab-CDEF-0123456789AB\",\n"
                           "    \"user_properties\": {\n"
                           "        \"uid\": {\n"
                           "            \"value\": \"0123ABCD-4567-89ab-CDEF-0123456789AB\"\n"
                           "        }\n"
                           "    },\n"
                           "    \"events\": []\n"
                           "}");
}

TEST(GAJsonText, EventsKeepTheirOrder)
{
    GAData data = ExampleData();
    data.vecEvents.push_back({"second", "c", "l"});
    std::string text = Print(data);
    EXPECT_LT(text.find("Downloader_Start_Install"), text.find("\"second\""));
    EXPECT_NE(text.find("            \"name\": \"second\",\n"), std::string::npos);
}

TEST(GAJsonText, FurtherParametersFollowTheLabelInTheirOrderAndPassTheFilter)
{
    GAData data = ExampleData();
    data.vecEvents[0].strName = "Downloader_Failed";
    data.vecEvents[0].vecParams = {{"reason", "install_exit"}, {"exit_code", "1"}};
    EXPECT_NE(Print(data).find("                \"event_label\": \"0123ABCD-4567-89ab-CDEF-0123456789AB\",\n"
                               "                \"reason\": \"install_exit\",\n"
                               "                \"exit_code\": \"1\"\n"
                               "            }"),
              std::string::npos)
        << Print(data);
    std::string filtered = Print(data, kGAFilterExclude, {"exit_code"});
    EXPECT_NE(filtered.find("\"reason\": \"install_exit\"\n"), std::string::npos) << filtered;
    EXPECT_EQ(filtered.find("exit_code"), std::string::npos);
}

TEST(GAJsonEscapes, QuoteBackslashAndControlCharactersAreEscaped)
{
    GAData data = ExampleData();
    data.vecEvents[0].strCategory = "say \"hi\" \\ tab\t line\n bell\x07";
    EXPECT_NE(Print(data).find("\"event_category\": \"say \\\"hi\\\" \\\\ tab\\t line\\n bell\\u0007\","),
              std::string::npos);
}

TEST(GAJsonEscapes, NonAsciiPassesAsUtf8)
{
    GAData data = ExampleData();
    data.vecEvents[0].strCategory = "Caf\xc3\xa9 \xe6\x9c\x80\xe6\x96\xb0";  // "Café 最新"
    EXPECT_NE(Print(data).find("\"event_category\": \"Caf\xc3\xa9 \xe6\x9c\x80\xe6\x96\xb0\","), std::string::npos);
}

TEST(GAJsonFilter, ExcludingParamsLeavesOnlyTheNames)
{
    std::string text = Print(ExampleData(), kGAFilterExclude, {"params"});
    EXPECT_NE(text.find("        {\n            \"name\": \"Downloader_Start_Install\"\n        }\n"), std::string::npos);
    EXPECT_EQ(text.find("event_category"), std::string::npos);
    EXPECT_NE(text.find("\"client_id\""), std::string::npos);
}

TEST(GAJsonFilter, OnlyModeWritesTheListedKeys)
{
    EXPECT_EQ(Print(ExampleData(), kGAFilterOnly, {"client_id"}),
              "{\n    \"client_id\": \"0123ABCD-4567-89ab-CDEF-0123456789AB\"\n}");
    EXPECT_EQ(Print(ExampleData(), kGAFilterOnly, {}), "{}");
}

TEST(GAJsonFilter, KeysCompareCaseSensitivelyAndOtherModesKeepAll)
{
    std::string expected = ReadFileBytes(TestDataPath(L"analytics\\worked-example.json"));
    EXPECT_EQ(Print(ExampleData(), kGAFilterExclude, {"Params", "CLIENT_ID"}), expected);
    EXPECT_EQ(Print(ExampleData(), 7, {"client_id", "events"}), expected);
}

TEST(GAJsonValue, StringsAreCopiedIntoTheDocument)
{
    GAData data = ExampleData();
    CDownloaderGAJSONStruct record(&data, kGAFilterExclude, {});
    rapidjson::Document document;
    rapidjson::Value value = record.ToJson(document.GetAllocator());
    data.strClientId = "changed afterwards";
    data.vecEvents.clear();
    ASSERT_TRUE(value.IsObject());
    EXPECT_STREQ(value["client_id"].GetString(), kGuid);
    EXPECT_STREQ(value["events"][0]["params"]["event_label"].GetString(), kGuid);
}

}  // namespace
