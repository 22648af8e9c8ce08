#include "log/RollingFileAppender.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

TEST(RollingFileAppender, FormatsDateLikeTheLayoutDefault)
{
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 7;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 4;
    t.wMilliseconds = 12;
    EXPECT_EQ("2026-03-07 09:05:04,012", RollingFileAppender::FormatDate(t));
}

TEST(RollingFileAppender, RollsOverToOneBackupAtTheLimit)
{
    TempFolder dir;
    std::wstring path = dir.Path() + L"\\roll.log";
    RollingFileAppender appender("roll", path, 1000, 1);
    const std::string message(100, 'x');  // record: 23 date + 1 + 100 + 3 = 127 bytes
    for (int i = 0; i < 7; ++i) appender.Append(message);
    EXPECT_EQ(7u * 127, ReadFileBytes(path).size());
    appender.Append(message);  // 1016 bytes: at the limit, rolls over
    EXPECT_EQ(8u * 127, ReadFileBytes(path + L".1").size());
    EXPECT_TRUE(ReadFileBytes(path).empty());
    for (int i = 0; i < 16; ++i) appender.Append(message);  // a second roll replaces the backup
    EXPECT_EQ(8u * 127, ReadFileBytes(path + L".1").size());
    EXPECT_EQ(0u, ReadFileBytes(path).size());
    EXPECT_FALSE(FileExistsW(path + L".2"));
}

}  // namespace
