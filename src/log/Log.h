#pragma once
// The log facade: every part of the program logs through these entries.
//
// Thread contract: every entry may be called from any thread at any time. The
// appender is created once (by InitLog, or lazily by the first record) under a
// process-wide lock and lives to the end of the process; records are serialised by
// the appender, so lines never interleave.
//
// Narrow formats follow the C runtime's printf (checked by the compiler). Wide
// formats follow Windows' conventions: %s is a wide string, %S a narrow one.

#include <windows.h>

#include <string>

#include "base/TextEncoding.h"

#if defined(__GNUC__)
#define VANTELO_PRINTF_FORMAT(fmt, args) __attribute__((format(ms_printf, fmt, args)))
#else
#define VANTELO_PRINTF_FORMAT(fmt, args)
#endif

// Level codes as callers pass them: 0 debug, 1 info, 2 warning, 3 error.
enum LogLevel { kLogDebug = 0, kLogInfo = 1, kLogWarning = 2, kLogError = 3 };

// Creates the appender unless one exists already: the first initialisation decides
// where the log goes. Empty folder: "Log" beside the executable; empty file name:
// the log name (executable base name up to its first dot) with ".log".
void InitLog(const wchar_t* fileName, const wchar_t* folder);

void WriteLogA(const char* function, const char* sourceFile, int line, int level, const char* format, ...)
    VANTELO_PRINTF_FORMAT(5, 6);
void WriteLogW(const wchar_t* function, const wchar_t* sourceFile, int line, int level, const wchar_t* format, ...);

// Formatted trace to standard output and the debugger.
void DebugTrace(const char* format, ...) VANTELO_PRINTF_FORMAT(1, 2);

void AssertCheck(bool condition, const char* expression, const char* function, int line);
void AssertCheckFormat(bool condition, const char* expression, const char* function, int line, const char* format,
                       ...) VANTELO_PRINTF_FORMAT(5, 6);
void AssertReport(const char* expression, const char* function, int line, const char* detail);

namespace Log {

// "void CHttpDownload::DownLoadContent(int)" -> "CHttpDownload::DownLoadContent".
std::string QualifiedFunctionName(const char* prettyFunction);
// Text from outside (a server, a file) as a log line may show it: control
// characters become "?", so none can start a line of its own, and what is longer
// than `limit` characters is cut, followed by "...".
std::wstring Printable(const std::wstring& text, size_t limit = 300);

// The full path of the log file once the appender exists, else empty.
std::wstring CurrentLogFilePath();

// Test seam: answers the assertion box instead of MessageBoxA. Null restores it.
using MessageBoxHook = int (*)(const char* text, const char* caption, unsigned flags);
void SetAssertMessageBoxHook(MessageBoxHook hook);

// The two process-wide switches; off in the product.
void SetLocationPrefix(bool on);
void SetEchoToDebugger(bool on);

}  // namespace Log

// Info-level records with the calling function's qualified name, file and line.
#define LOG_A(...) WriteLogA(::Log::QualifiedFunctionName(__PRETTY_FUNCTION__).c_str(), __FILE__, __LINE__, kLogInfo, __VA_ARGS__)
#define LOG_W(...)                                                                                              \
    WriteLogW(::Text::AnsiToWide(::Log::QualifiedFunctionName(__PRETTY_FUNCTION__)).c_str(),                 \
              ::Text::AnsiToWide(__FILE__).c_str(), __LINE__, kLogInfo, __VA_ARGS__)

#define ASSERT_CHECK(cond) AssertCheck(!!(cond), #cond, ::Log::QualifiedFunctionName(__PRETTY_FUNCTION__).c_str(), __LINE__)
#define ASSERT_CHECK_FORMAT(cond, ...) \
    AssertCheckFormat(!!(cond), #cond, ::Log::QualifiedFunctionName(__PRETTY_FUNCTION__).c_str(), __LINE__, __VA_ARGS__)
