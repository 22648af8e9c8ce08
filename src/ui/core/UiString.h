#pragma once
// CUiString: the Veneer framework's wide string. Short texts (names, notification
// types, attribute values) stay in the 63-character inline buffer; longer ones move
// to the heap.

#include <windows.h>

#include <cstddef>

namespace Veneer {

class CUiString {
public:
    static constexpr int kInlineLength = 63;

    CUiString();
    CUiString(const wchar_t* text);  // NOLINT: converts implicitly, like the platform's strings
    CUiString(const wchar_t* text, int length);  // length < 0: up to the terminator
    CUiString(wchar_t ch);
    CUiString(const CUiString& other);
    CUiString(CUiString&& other) noexcept;
    ~CUiString();

    CUiString& operator=(const CUiString& other);
    CUiString& operator=(CUiString&& other) noexcept;
    CUiString& operator=(const wchar_t* text);
    CUiString& operator=(wchar_t ch);

    void Assign(const wchar_t* text, int length = -1);
    void Append(const wchar_t* text, int length = -1);
    CUiString& operator+=(const CUiString& text);
    CUiString& operator+=(const wchar_t* text);
    CUiString& operator+=(wchar_t ch);
    friend CUiString operator+(const CUiString& left, const CUiString& right);
    friend CUiString operator+(const CUiString& left, const wchar_t* right);

    int GetLength() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    void Empty();
    const wchar_t* GetData() const { return data_; }
    operator const wchar_t*() const { return data_; }
    wchar_t GetAt(int index) const { return data_[index]; }
    wchar_t operator[](int index) const { return data_[index]; }
    void SetAt(int index, wchar_t ch) { data_[index] = ch; }

    int Compare(const wchar_t* text) const;
    int CompareNoCase(const wchar_t* text) const;
    bool operator==(const wchar_t* text) const { return Compare(text) == 0; }
    bool operator!=(const wchar_t* text) const { return Compare(text) != 0; }
    bool operator==(const CUiString& text) const { return Compare(text.data_) == 0; }
    bool operator!=(const CUiString& text) const { return Compare(text.data_) != 0; }
    bool operator<(const CUiString& text) const { return Compare(text.data_) < 0; }

    void MakeUpper();
    void MakeLower();
    CUiString Left(int length) const;
    CUiString Mid(int start, int length = -1) const;
    CUiString Right(int length) const;
    // Index of the first match at or after start, or -1.
    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* text, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    // Replaces every occurrence; returns how many were replaced.
    int Replace(const wchar_t* from, const wchar_t* to);

    // printf-style with Windows' wide conventions (%s is a wide string).
    static CUiString Format(const wchar_t* format, ...);

private:
    void Reserve(int length);

    wchar_t* data_;
    int length_ = 0;
    int capacity_ = kInlineLength;
    wchar_t inline_[kInlineLength + 1];
};

}  // namespace Veneer
