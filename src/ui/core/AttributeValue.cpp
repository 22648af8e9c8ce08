#include "ui/core/AttributeValue.h"

#include <climits>
#include <cwchar>

namespace Veneer {

bool IsTrueValue(const wchar_t* value) { return value != nullptr && wcscmp(value, L"true") == 0; }

bool IsTrueValueAnyCase(const wchar_t* value) { return value != nullptr && _wcsicmp(value, L"true") == 0; }

int ReadInteger(const wchar_t* value) {
    if (value == nullptr) return 0;
    // long is 32 bits on Windows, so wcstol's own clamp is the int range.
    static_assert(sizeof(long) == sizeof(int), "long and int differ in width");
    return static_cast<int>(wcstol(value, nullptr, 10));
}

double ReadDouble(const wchar_t* value) { return value == nullptr ? 0.0 : wcstod(value, nullptr); }

namespace {

// One number at *cursor; moves the cursor past it and past one separator, but
// never past the terminator.
template <typename Number, typename Reader>
int ReadList(const wchar_t* value, Number* numbers, int count, Reader read) {
    for (int i = 0; i < count; ++i) numbers[i] = 0;
    if (value == nullptr) return 0;
    const wchar_t* cursor = value;
    int read_count = 0;
    while (read_count < count && *cursor != L'\0') {
        wchar_t* end = nullptr;
        numbers[read_count++] = read(cursor, &end);
        cursor = (*end == L'\0') ? end : end + 1;
    }
    return read_count;
}

}  // namespace

int ReadIntegers(const wchar_t* value, long* numbers, int count) {
    return ReadList(value, numbers, count, [](const wchar_t* at, wchar_t** end) { return wcstol(at, end, 10); });
}

int ReadDoubles(const wchar_t* value, double* numbers, int count) {
    return ReadList(value, numbers, count, [](const wchar_t* at, wchar_t** end) { return wcstod(at, end); });
}

RECT ReadRect(const wchar_t* value) {
    long n[4];
    ReadIntegers(value, n, 4);
    return RECT{n[0], n[1], n[2], n[3]};
}

SIZE ReadSize(const wchar_t* value) {
    long n[2];
    ReadIntegers(value, n, 2);
    return SIZE{n[0], n[1]};
}

DWORD ReadColor(const wchar_t* value) {
    if (value == nullptr) return 0;
    if (*value == L'#') ++value;
    return static_cast<DWORD>(wcstoul(value, nullptr, 16));
}

DWORD ReadBackgroundColor(const wchar_t* value) {
    if (value == nullptr) return 0;
    while (*value >= 1 && *value <= 32) ++value;
    return ReadColor(value);
}

BYTE ReadAlpha(const wchar_t* value) {
    int alpha = ReadInteger(value);
    return static_cast<BYTE>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha);
}

}  // namespace Veneer
