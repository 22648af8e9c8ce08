#pragma once
// A rolling file appender: appends records to one file and, once the file has
// reached its size limit, renames it to "<file>.1" (dropping an older backup) and
// starts a fresh file. Each record is "<date> <message>\n " as the pattern
// "%d %m%n " gives it, the date being "YYYY-MM-DD HH:MM:SS,mmm" in local time.
//
// Thread contract: Append may be called from any thread; one lock serialises the
// write and the roll-over, so a record is never torn or split across files.

#include <windows.h>

#include <mutex>
#include <string>

#include "base/UniqueResource.h"

class RollingFileAppender {
public:
    RollingFileAppender(std::string name, std::wstring path, unsigned long long maxFileSize, unsigned maxBackupIndex);
    ~RollingFileAppender();
    RollingFileAppender(const RollingFileAppender&) = delete;
    RollingFileAppender& operator=(const RollingFileAppender&) = delete;

    const std::string& Name() const { return name_; }
    const std::wstring& Path() const { return path_; }

    // Writes one record; a file that cannot be opened drops it.
    void Append(const std::string& message);

    static std::string FormatDate(const SYSTEMTIME& time);

private:
    void OpenLocked();
    void RollOverLocked();

    const std::string name_;
    const std::wstring path_;
    const unsigned long long maxFileSize_;
    const unsigned maxBackupIndex_;
    std::mutex lock_;
    UniqueFileHandle file_;
};
