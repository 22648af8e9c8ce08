#include "log/Log.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstdint>
#include <regex>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

std::wstring g_parentLogFolder;

std::string ParentLog() { return ReadFileBytes(g_parentLogFolder + L"\\parent.log"); }

// The record "<date> <message>\r\n " whose message is exactly `message`.
bool HasRecord(const std::string& log, const std::string& message)
{
    std::regex record("(^| )\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2},\\d{3} " +
                      std::regex_replace(message, std::regex(R"([\[\]\(\)\.\*\+\?\^\$\\\|\{\}])"), "\\$&") +
                      "\r\n ");
    return std::regex_search(log, record);
}

TEST(LogFormat, WritesDateBlankMessageLineBreakBlank)
{
    WriteLogA("F", __FILE__, 1, kLogInfo, "hello %d %s", 42, "world");
    std::string log = ParentLog();
    EXPECT_TRUE(HasRecord(log, "hello 42 world")) << log;
    EXPECT_EQ(0u, log.find("20")) << "the first record of a file starts with its date";
}

TEST(LogFormat, EveryLevelCodeFromZeroToThreeIsWrittenAndHigherCodesAreNot)
{
    for (int level = 0; level <= 4; ++level) {
        WriteLogA("F", __FILE__, 1, level, "level record %d", level);
    }
    std::string log = ParentLog();
    for (int level = 0; level <= 3; ++level) EXPECT_TRUE(HasRecord(log, "level record " + std::to_string(level)));
    EXPECT_EQ(std::string::npos, log.find("level record 4"));
}

TEST(LogFormat, EmptyFormatOrEmptyMessageWritesNothing)
{
    size_t before = ParentLog().size();
    WriteLogA("F", __FILE__, 1, kLogInfo, nullptr);
    WriteLogW(L"F", L"f.cpp", 1, kLogInfo, L"");
    WriteLogA("F", __FILE__, 1, kLogInfo, "%s", "");
    EXPECT_EQ(before, ParentLog().size());
}

TEST(LogFormat, WideMessagesAreWrittenInTheOemCodePage)
{
    WriteLogW(L"F", L"f.cpp", 1, kLogInfo, L"wide %s %d \u65E5\u672C", L"text", 7);
    EXPECT_TRUE(HasRecord(ParentLog(), "wide text 7 ??"));
}

TEST(LogFormat, LocationPrefixNamesFileLineAndFunction)
{
    Log::SetLocationPrefix(true);
    LOG_A("prefixed %d", 1);
    int line = __LINE__ - 1;
    Log::SetLocationPrefix(false);
    std::string expected =
        "[LogTest.cpp:" + std::to_string(line) + "][{anonymous}::LogFormat_LocationPrefixNamesFileLineAndFunction_Test::TestBody] prefixed 1";
    EXPECT_TRUE(HasRecord(ParentLog(), expected)) << ParentLog();
}

TEST(LogFatalPath, AFaultingFormatWritesTheFixedLineAndGoesOn)
{
    const char* bad = reinterpret_cast<const char*>(static_cast<uintptr_t>(16));
    WriteLogA("CFoo::Bar", "C:\\src\\Foo.cpp", 77, kLogInfo, "bad %s", bad);
    WriteLogW(L"CFoo::Baz", L"C:\\src\\Foo.cpp", 78, kLogInfo, L"bad %s", reinterpret_cast<const wchar_t*>(bad));
    WriteLogA("F", __FILE__, 1, kLogInfo, "after the fault");
    std::string log = ParentLog();
    EXPECT_TRUE(HasRecord(log, "[Foo.cpp:77][CFoo::Bar] ***Fatal Error Check,Please Fix it!***")) << log;
    EXPECT_TRUE(HasRecord(log, "[Foo.cpp:78][CFoo::Baz] ***Fatal Error Check,Please Fix it!***")) << log;
    EXPECT_TRUE(HasRecord(log, "after the fault"));
}

TEST(LogConcurrency, ManyThreadsNeverTearALine)
{
    constexpr int kThreads = 8, kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) WriteLogA("F", __FILE__, 1, kLogInfo, "thread %d line %d %s", t, i, "payload-payload-payload");
        });
    }
    for (auto& thread : threads) thread.join();
    std::string log = ParentLog();
    std::regex record(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2},\d{3} thread (\d) line (\d+) payload-payload-payload\r\n )");
    int found = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), record); it != std::sregex_iterator(); ++it) ++found;
    EXPECT_EQ(kThreads * kLines, found);
}

std::string g_assertText, g_assertCaption;
unsigned g_assertFlags = 0;

TEST(LogAssert, ReportGoesThroughTheMessageBoxWithItsText)
{
    Log::SetAssertMessageBoxHook([](const char* text, const char* caption, unsigned flags) {
        g_assertText = text;
        g_assertCaption = caption;
        g_assertFlags = flags;
        return IDNO;
    });
    AssertCheck(true, "never", "F", 1);
    EXPECT_TRUE(g_assertText.empty());
    AssertCheckFormat(1 == 2, "1 == 2", "CBaseRequest::OpenUrl", 321, "code %d", 12029);
    Log::SetAssertMessageBoxHook(nullptr);
    EXPECT_EQ("Assert(1 == 2);\n (in function CBaseRequest::OpenUrl,at line 321)\n is Debug?\ncode 12029\n", g_assertText);
    EXPECT_EQ("AssertError!", g_assertCaption);
    EXPECT_EQ(static_cast<unsigned>(MB_YESNO), g_assertFlags);
}

TEST(LogNames, QualifiedFunctionNameDropsReturnTypeAndParameters)
{
    EXPECT_EQ("CHttpDownload::DownLoadContent", Log::QualifiedFunctionName("int CHttpDownload::DownLoadContent(int, void*)"));
    EXPECT_EQ("Foo", Log::QualifiedFunctionName("void Foo()"));
    EXPECT_EQ("ns::C<int>::Run", Log::QualifiedFunctionName("std::map<int, int> ns::C<int>::Run(std::function<void(int)>)"));
    EXPECT_EQ("main", Log::QualifiedFunctionName("main"));
}

TEST(LogNames, PrintableTextCannotStartALineAndIsBounded)
{
    EXPECT_EQ(L"https://a.example/?X-Forged: 1", Log::Printable(L"https://a.example/\nX-Forged: 1"));
    EXPECT_EQ(L"a?b?c?d", Log::Printable(L"a\rb\tc\x7F" L"d"));
    EXPECT_EQ(L"abc...", Log::Printable(L"abcdef", 3));
    EXPECT_EQ(L"abc", Log::Printable(L"abc", 3));
    EXPECT_EQ(std::wstring(300, L'x') + L"...", Log::Printable(std::wstring(5000, L'x')));
}

// --- child processes: where the first record goes ----------------------------

std::wstring CopyOfSelf(const std::wstring& folder, const std::wstring& name)
{
    std::wstring copy = folder + L"\\" + name;
    EXPECT_TRUE(CopyFileW(SelfPath().c_str(), copy.c_str(), FALSE));
    return copy;
}

TEST(LogLocation, LazyDefaultIsLogFolderBesideTheExeNamedUpToTheFirstDot)
{
    TempFolder dir;
    std::wstring exe = CopyOfSelf(dir.Path(), L"Setup.beta.exe");
    ASSERT_EQ(0, RunAndWait(exe, L"--child-lazy"));
    EXPECT_TRUE(HasRecord(ReadFileBytes(dir.Path() + L"\\Log\\Setup.log"), "lazy record"));
}

TEST(LogLocation, FrameInitialisedFolderWinsAndALaterInitChangesNothing)
{
    TempFolder dir;
    std::wstring exe = CopyOfSelf(dir.Path(), L"frame.exe");
    std::wstring logDir = dir.Path() + L"/work/deeper\\Log";  // missing folders, forward slashes
    ASSERT_EQ(0, RunAndWait(exe, L"--child-frame \"" + logDir + L"\""));
    std::string log = ReadFileBytes(dir.Path() + L"\\work\\deeper\\Log\\vantelo_down.log");
    EXPECT_TRUE(HasRecord(log, "frame record"));
    EXPECT_TRUE(HasRecord(log, "after second init"));
    EXPECT_FALSE(FileExistsW(dir.Path() + L"\\Log"));
}

int RunChild(const std::wstring& mode, const std::wstring& argument)
{
    if (mode == L"--child-lazy") {
        LOG_A("lazy record");
        return Log::CurrentLogFilePath().empty() ? 1 : 0;
    }
    if (mode == L"--child-frame") {
        InitLog(L"vantelo_down.log", argument.c_str());
        LOG_W(L"frame %s", L"record");
        InitLog(L"other.log", L"C:\\elsewhere");
        LOG_A("after second init");
        return 0;
    }
    return 3;
}

}  // namespace

int main(int argc, char** argv)
{
    int wideCount = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    if (wideCount >= 2 && std::wstring(wide[1]).rfind(L"--child-", 0) == 0) {
        return RunChild(wide[1], wideCount >= 3 ? wide[2] : L"");
    }
    TempFolder parentLogs;
    g_parentLogFolder = parentLogs.Path();
    InitLog(L"parent.log", g_parentLogFolder.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
