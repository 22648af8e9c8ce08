#include "ui/core/UiString.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace Veneer {

namespace {
int LengthOf(const wchar_t* text, int length) {
    if (text == nullptr) return 0;
    return length < 0 ? static_cast<int>(wcslen(text)) : length;
}
}  // namespace

CUiString::CUiString() : data_(inline_) { inline_[0] = L'\0'; }

CUiString::CUiString(const wchar_t* text) : CUiString() { Assign(text); }

CUiString::CUiString(const wchar_t* text, int length) : CUiString() { Assign(text, length); }

CUiString::CUiString(wchar_t ch) : CUiString() { Assign(&ch, 1); }

CUiString::CUiString(const CUiString& other) : CUiString() { Assign(other.data_, other.length_); }

CUiString::CUiString(CUiString&& other) noexcept : CUiString() { *this = static_cast<CUiString&&>(other); }

CUiString::~CUiString() {
    if (data_ != inline_) free(data_);
}

CUiString& CUiString::operator=(const CUiString& other) {
    if (this != &other) Assign(other.data_, other.length_);
    return *this;
}

CUiString& CUiString::operator=(CUiString&& other) noexcept {
    if (this == &other) return *this;
    if (other.data_ == other.inline_) {
        Assign(other.data_, other.length_);
    } else {
        if (data_ != inline_) free(data_);
        data_ = other.data_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.data_ = other.inline_;
        other.capacity_ = kInlineLength;
    }
    other.length_ = 0;
    other.inline_[0] = L'\0';
    return *this;
}

CUiString& CUiString::operator=(const wchar_t* text) {
    Assign(text);
    return *this;
}

CUiString& CUiString::operator=(wchar_t ch) {
    Assign(&ch, 1);
    return *this;
}

void CUiString::Reserve(int length) {
    if (length <= capacity_) return;
    int capacity = capacity_ * 2 > length ? capacity_ * 2 : length;
    auto* grown = static_cast<wchar_t*>(malloc((capacity + 1) * sizeof(wchar_t)));
    if (grown == nullptr) abort();
    wmemcpy(grown, data_, length_ + 1);
    if (data_ != inline_) free(data_);
    data_ = grown;
    capacity_ = capacity;
}

void CUiString::Assign(const wchar_t* text, int length) {
    length = LengthOf(text, length);
    if (text >= data_ && text <= data_ + length_) {
        // Assigning a part of itself: copy first.
        CUiString copy(text, length);
        *this = static_cast<CUiString&&>(copy);
        return;
    }
    Reserve(length);
    if (length > 0) wmemcpy(data_, text, length);
    length_ = length;
    data_[length_] = L'\0';
}

void CUiString::Append(const wchar_t* text, int length) {
    length = LengthOf(text, length);
    if (length == 0) return;
    if (text >= data_ && text <= data_ + length_) {
        CUiString copy(text, length);
        Append(copy.data_, copy.length_);
        return;
    }
    Reserve(length_ + length);
    wmemcpy(data_ + length_, text, length);
    length_ += length;
    data_[length_] = L'\0';
}

CUiString& CUiString::operator+=(const CUiString& text) {
    Append(text.data_, text.length_);
    return *this;
}

CUiString& CUiString::operator+=(const wchar_t* text) {
    Append(text);
    return *this;
}

CUiString& CUiString::operator+=(wchar_t ch) {
    Append(&ch, 1);
    return *this;
}

CUiString operator+(const CUiString& left, const CUiString& right) {
    CUiString joined(left);
    joined += right;
    return joined;
}

CUiString operator+(const CUiString& left, const wchar_t* right) {
    CUiString joined(left);
    joined += right;
    return joined;
}

void CUiString::Empty() {
    length_ = 0;
    data_[0] = L'\0';
}

int CUiString::Compare(const wchar_t* text) const { return wcscmp(data_, text != nullptr ? text : L""); }

int CUiString::CompareNoCase(const wchar_t* text) const { return _wcsicmp(data_, text != nullptr ? text : L""); }

void CUiString::MakeUpper() { CharUpperBuffW(data_, length_); }

void CUiString::MakeLower() { CharLowerBuffW(data_, length_); }

CUiString CUiString::Left(int length) const {
    if (length < 0) length = 0;
    if (length > length_) length = length_;
    return CUiString(data_, length);
}

CUiString CUiString::Mid(int start, int length) const {
    if (start < 0) start = 0;
    if (start > length_) start = length_;
    if (length < 0 || start + length > length_) length = length_ - start;
    return CUiString(data_ + start, length);
}

CUiString CUiString::Right(int length) const {
    if (length < 0) length = 0;
    if (length > length_) length = length_;
    return CUiString(data_ + length_ - length, length);
}

int CUiString::Find(wchar_t ch, int start) const {
    if (start < 0 || start >= length_) return -1;
    const wchar_t* found = wcschr(data_ + start, ch);
    return found != nullptr && ch != L'\0' ? static_cast<int>(found - data_) : -1;
}

int CUiString::Find(const wchar_t* text, int start) const {
    if (start < 0 || start > length_ || text == nullptr) return -1;
    const wchar_t* found = wcsstr(data_ + start, text);
    return found != nullptr ? static_cast<int>(found - data_) : -1;
}

int CUiString::ReverseFind(wchar_t ch) const {
    for (int i = length_ - 1; i >= 0; --i) {
        if (data_[i] == ch) return i;
    }
    return -1;
}

int CUiString::Replace(const wchar_t* from, const wchar_t* to) {
    int fromLength = LengthOf(from, -1);
    if (fromLength == 0) return 0;
    int toLength = LengthOf(to, -1);
    CUiString result;
    int count = 0;
    int position = 0;
    for (int found = Find(from, 0); found >= 0; found = Find(from, position)) {
        result.Append(data_ + position, found - position);
        result.Append(to, toLength);
        position = found + fromLength;
        ++count;
    }
    if (count == 0) return 0;
    result.Append(data_ + position, length_ - position);
    *this = static_cast<CUiString&&>(result);
    return count;
}

CUiString CUiString::Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int needed = _vscwprintf(format, args);
    va_end(args);
    CUiString result;
    if (needed <= 0) return result;
    result.Reserve(needed);
    va_start(args, format);
    _vsnwprintf(result.data_, needed + 1, format, args);
    va_end(args);
    result.length_ = needed;
    result.data_[needed] = L'\0';
    return result;
}

}  // namespace Veneer
