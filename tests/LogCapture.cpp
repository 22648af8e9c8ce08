#include "LogCapture.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "log/Log.h"

LogCapture::LogCapture()
{
    // The first record creates the log file: only then is its path known.
    WriteLogA("LogCapture", __FILE__, __LINE__, kLogInfo, "--- %s",
              ::testing::UnitTest::GetInstance()->current_test_info()
                  ? ::testing::UnitTest::GetInstance()->current_test_info()->name()
                  : "");
    start_ = ReadFileBytes(Log::CurrentLogFilePath()).size();
}

std::string LogCapture::Text() const
{
    std::string all = ReadFileBytes(Log::CurrentLogFilePath());
    return start_ <= all.size() ? all.substr(start_) : all;
}

size_t LogCapture::Count(const std::string& text) const
{
    std::string all = Text();
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++count;
    return count;
}
