#include "log/Log.h"

#include <shlwapi.h>

#include <atomic>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "base/FolderTree.h"
#include "base/TextEncoding.h"
#include "log/RollingFileAppender.h"

namespace {

// log4cpp's rolling file appender settings the installer has always used.
constexpr unsigned long long kMaxFileSize = 10485760;
constexpr unsigned kMaxBackupIndex = 1;
const char kFatalMessage[] = "***Fatal Error Check,Please Fix it!***";

std::atomic<bool> g_locationPrefix{false};
std::atomic<bool> g_echoToDebugger{false};
std::atomic<Log::MessageBoxHook> g_messageBoxHook{nullptr};

// Guards only the creation of the appender; the appender serialises the writes.
// Constant-initialised and never torn down, so records written while statics are
// destroyed still find it.
std::mutex g_initLock;

RollingFileAppender*& Appender()
{
    static RollingFileAppender* appender = nullptr;  // lives to the end of the process
    return appender;
}

HMODULE FacadeModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&FacadeModule), &module);
    return module;
}

// The executable's file name without folder, cut at its first dot.
const std::string& LogName()
{
    static const std::string name = [] {
        char path[MAX_PATH * 2] = {};
        GetModuleFileNameA(FacadeModule(), path, static_cast<DWORD>(sizeof path - 1));
        std::string file = PathFindFileNameA(path);
        return file.substr(0, file.find('.'));
    }();
    return name;
}

std::wstring ModuleFolder()
{
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(FacadeModule(), &path[0], static_cast<DWORD>(path.size()));
    path.resize(length);
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// --- structured-fault guard -------------------------------------------------
// GCC has no __try: a vectored handler sends a fault raised inside the guarded
// formatting back to the guard's setjmp on the same thread.
thread_local std::jmp_buf* t_faultGuard = nullptr;

LONG CALLBACK FaultHandler(EXCEPTION_POINTERS* info)
{
    std::jmp_buf* guard = t_faultGuard;
    if (!guard) return EXCEPTION_CONTINUE_SEARCH;
    switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
        t_faultGuard = nullptr;
        std::longjmp(*guard, 1);
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
}

void InstallFaultHandler()
{
    static const bool installed = AddVectoredExceptionHandler(1, FaultHandler) != nullptr;
    (void)installed;
}

// Runs build() under the fault guard; false when a fault was raised inside it.
// build() may only allocate with malloc: the jump skips destructors.
template <typename Build>
bool RunGuarded(Build&& build)
{
    InstallFaultHandler();
    std::jmp_buf guard;
    if (setjmp(guard) != 0) return false;
    t_faultGuard = &guard;
    build();
    t_faultGuard = nullptr;
    return true;
}

// The C runtime's formatting for both kinds of text; the wide one follows
// Windows' conventions (%s wide).
int CountFormatted(const char* format, va_list args) { return _vscprintf(format, args); }
int CountFormatted(const wchar_t* format, va_list args) { return _vscwprintf(format, args); }
void Format(char* out, int size, const char* format, va_list args) { _vsnprintf(out, size, format, args); }
void Format(wchar_t* out, int size, const wchar_t* format, va_list args) { _vsnwprintf(out, size, format, args); }
const char* FileName(const char* path) { return PathFindFileNameA(path ? path : ""); }
const wchar_t* FileName(const wchar_t* path) { return PathFindFileNameW(path ? path : L""); }
const char* PrefixFormat(char) { return "[%s:%d][%s] %s"; }
const wchar_t* PrefixFormat(wchar_t) { return L"[%s:%d][%s] %s"; }

template <typename Char>
Char* FormatToBlock(const Char* format, ...)
{
    va_list args, counting;
    va_start(args, format);
    va_copy(counting, args);
    int length = CountFormatted(format, counting);
    va_end(counting);
    Char* text = length > 0 ? static_cast<Char*>(malloc((length + 1) * sizeof(Char))) : nullptr;
    if (text) {
        Format(text, length + 1, format, args);
        text[length] = Char(0);
    }
    va_end(args);
    return text;
}

// Formatting and line building; may fault on a bad argument. The result is
// malloc'd so that nothing with a destructor is skipped by the guard's jump.
template <typename Char>
Char* BuildLine(const Char* function, const Char* sourceFile, int line, bool prefix, const Char* format, va_list args)
{
    va_list counting;
    va_copy(counting, args);
    int length = CountFormatted(format, counting);
    va_end(counting);
    if (length <= 0) return nullptr;
    Char* message = static_cast<Char*>(malloc((length + 1) * sizeof(Char)));
    if (!message) return nullptr;
    Format(message, length + 1, format, args);
    message[length] = Char(0);
    if (!prefix) return message;
    static const Char kNone[] = {Char(0)};
    Char* full = FormatToBlock(PrefixFormat(Char()), FileName(sourceFile), line, function ? function : kNone, message);
    free(message);
    return full;
}

RollingFileAppender* EnsureAppender()
{
    {
        std::lock_guard<std::mutex> hold(g_initLock);
        if (Appender()) return Appender();
    }
    InitLog(L"", L"");
    std::lock_guard<std::mutex> hold(g_initLock);
    return Appender();
}

// Steps after formatting: echo, lazy appender, level test, write.
void Emit(int level, const char* line)
{
    if (g_echoToDebugger) {
        std::string echo = "[log] ";
        echo += line ? line : "";
        echo += "\n";
        OutputDebugStringA(echo.c_str());
    }
    RollingFileAppender* appender = EnsureAppender();
    if (!line || !*line || level < kLogDebug || level > kLogError || !appender) return;
    appender->Append(line);
}

void WriteFatalLine(const char* function, const char* sourceFile, int line, int level)
{
    const char* file = PathFindFileNameA(sourceFile ? sourceFile : "");
    char text[1024];
    _snprintf(text, sizeof text, "[%s:%d][%s] %s", file, line, function ? function : "", kFatalMessage);
    text[sizeof text - 1] = '\0';
    Emit(level, text);
}

}  // namespace

void InitLog(const wchar_t* fileName, const wchar_t* folder)
{
    std::lock_guard<std::mutex> hold(g_initLock);
    if (!Appender()) {
        std::wstring dir = folder && *folder ? folder : ModuleFolder() + L"\\Log";
        CreateFolderTree(dir);
        std::wstring file = fileName && *fileName ? fileName : Text::AnsiToWide(LogName()) + L".log";
        if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
        Appender() = new RollingFileAppender(LogName(), dir + L"\\" + file, kMaxFileSize, kMaxBackupIndex);
    }
}

void WriteLogA(const char* function, const char* sourceFile, int line, int level, const char* format, ...)
{
    if (!format || !*format) return;
    char* text = nullptr;
    va_list args;
    va_start(args, format);
    bool formatted = RunGuarded([&] { text = BuildLine(function, sourceFile, line, g_locationPrefix, format, args); });
    va_end(args);
    if (!formatted) {
        WriteFatalLine(function, sourceFile, line, level);
        return;
    }
    Emit(level, text);
    free(text);
}

void WriteLogW(const wchar_t* function, const wchar_t* sourceFile, int line, int level, const wchar_t* format, ...)
{
    if (!format || !*format) return;
    wchar_t* wide = nullptr;
    va_list args;
    va_start(args, format);
    bool formatted = RunGuarded([&] { wide = BuildLine(function, sourceFile, line, g_locationPrefix, format, args); });
    va_end(args);
    if (!formatted) {
        WriteFatalLine(Text::WideToOem(function ? function : L"").c_str(),
                       Text::WideToOem(sourceFile ? sourceFile : L"").c_str(), line, level);
        return;
    }
    // The log file has always been in the OEM code page.
    std::string text = wide ? Text::WideToOem(wide) : std::string();
    free(wide);
    Emit(level, text.empty() ? nullptr : text.c_str());
}

void DebugTrace(const char* format, ...)
{
    if (!format || !*format) return;
    va_list args;
    va_start(args, format);
    int length = _vscprintf(format, args);
    va_end(args);
    if (length <= 0) return;
    std::unique_ptr<char[]> text(new char[length + 1]);
    va_start(args, format);
    _vsnprintf(text.get(), length + 1, format, args);
    va_end(args);
    text[length] = '\0';
    printf("%s", text.get());
    OutputDebugStringA(text.get());
}

void AssertReport(const char* expression, const char* function, int line, const char* detail)
{
    const char* format = "Assert(%s);\n (in function %s,at line %d)\n is Debug?\n%s\n";
    int length = _scprintf(format, expression, function, line, detail);
    if (length < 0) return;
    std::unique_ptr<char[]> text(new char[length + 1]);
    _snprintf(text.get(), length + 1, format, expression, function, line, detail);
    text[length] = '\0';
    const unsigned flags = MB_YESNO;
    Log::MessageBoxHook hook = g_messageBoxHook;
    int answer = hook ? hook(text.get(), "AssertError!", flags) : MessageBoxA(nullptr, text.get(), "AssertError!", flags);
    if (answer == IDYES && IsDebuggerPresent()) DebugBreak();
}

void AssertCheck(bool condition, const char* expression, const char* function, int line)
{
    if (!condition) AssertReport(expression, function, line, "");
}

void AssertCheckFormat(bool condition, const char* expression, const char* function, int line, const char* format, ...)
{
    if (condition) return;
    std::string detail;
    if (format && *format) {
        va_list args;
        va_start(args, format);
        int length = _vscprintf(format, args);
        va_end(args);
        if (length > 0) {
            detail.resize(length + 1);
            va_start(args, format);
            _vsnprintf(&detail[0], length + 1, format, args);
            va_end(args);
            detail.resize(length);
        }
    }
    AssertReport(expression, function, line, detail.c_str());
}

namespace Log {

std::string QualifiedFunctionName(const char* pretty)
{
    std::string text = pretty ? pretty : "";
    // Cut the parameter list at the last '(' that opens at nesting level zero.
    int depth = 0;
    size_t open = std::string::npos;
    for (size_t i = text.size(); i-- > 0;) {
        char c = text[i];
        if (c == ')') ++depth;
        else if (c == '(') {
            if (--depth == 0) {
                open = i;
                break;
            }
        }
    }
    if (open != std::string::npos) text.resize(open);
    // The return type ends at the last blank outside template brackets.
    depth = 0;
    for (size_t i = text.size(); i-- > 0;) {
        char c = text[i];
        if (c == '>') ++depth;
        else if (c == '<') --depth;
        else if (c == ' ' && depth == 0) return text.substr(i + 1);
    }
    return text;
}

std::wstring Printable(const std::wstring& text, size_t limit)
{
    std::wstring shown = text.substr(0, limit);
    for (wchar_t& c : shown) {
        if (c < L' ' || c == 0x7F) c = L'?';
    }
    return text.size() > limit ? shown + L"..." : shown;
}

std::wstring CurrentLogFilePath()
{
    std::lock_guard<std::mutex> hold(g_initLock);
    return Appender() ? Appender()->Path() : std::wstring();
}

void SetAssertMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = hook; }
void SetLocationPrefix(bool on) { g_locationPrefix = on; }
void SetEchoToDebugger(bool on) { g_echoToDebugger = on; }

}  // namespace Log
