#include "log/RollingFileAppender.h"

#include <cstdio>
#include <utility>

RollingFileAppender::RollingFileAppender(std::string name, std::wstring path, unsigned long long maxFileSize,
                                         unsigned maxBackupIndex)
    : name_(std::move(name)), path_(std::move(path)), maxFileSize_(maxFileSize), maxBackupIndex_(maxBackupIndex)
{
    std::lock_guard<std::mutex> guard(lock_);
    OpenLocked();
}

RollingFileAppender::~RollingFileAppender() = default;

std::string RollingFileAppender::FormatDate(const SYSTEMTIME& t)
{
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u,%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond, t.wMilliseconds);
    return text;
}

void RollingFileAppender::OpenLocked()
{
    // Shared for delete too, so another process may rename or remove the file while
    // the installer keeps writing (log viewers, the roll-over of a second copy).
    file_.Reset(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void RollingFileAppender::Append(const std::string& message)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    // The layout writes "%d %m%n ": date, blank, message, line break, blank. The file
    // is a Windows text file, so the line break is CR LF.
    std::string record = FormatDate(now);
    record += ' ';
    record += message;
    record += "\r\n ";

    std::lock_guard<std::mutex> guard(lock_);
    if (!file_) OpenLocked();
    if (!file_) return;
    DWORD written = 0;
    WriteFile(file_.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file_.Get(), &size) && static_cast<unsigned long long>(size.QuadPart) >= maxFileSize_) {
        RollOverLocked();
    }
}

void RollingFileAppender::RollOverLocked()
{
    file_.Reset();
    if (maxBackupIndex_ > 0) {
        // Shift file.(n-1) -> file.n down to file -> file.1; the oldest is dropped.
        std::wstring oldest = path_ + L"." + std::to_wstring(maxBackupIndex_);
        DeleteFileW(oldest.c_str());
        for (unsigned i = maxBackupIndex_ - 1; i > 0; --i) {
            std::wstring from = path_ + L"." + std::to_wstring(i);
            std::wstring to = path_ + L"." + std::to_wstring(i + 1);
            MoveFileW(from.c_str(), to.c_str());
        }
        std::wstring first = path_ + L".1";
        MoveFileW(path_.c_str(), first.c_str());
    } else {
        DeleteFileW(path_.c_str());
    }
    OpenLocked();
}
