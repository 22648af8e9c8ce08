#include "http/ContentLength.h"

namespace {

template <typename Text>
ContentLength::Parsed ParseText(const Text& text, long long& size)
{
    using Char = typename Text::value_type;
    const Char blanks[] = {Char(' '), Char('\t'), Char(0)};
    size_t first = text.find_first_not_of(blanks);
    if (first == Text::npos) return ContentLength::Parsed::kNotANumber;
    size_t last = text.find_last_not_of(blanks);
    long long value = 0;
    for (size_t i = first; i <= last; ++i) {
        Char c = text[i];
        if (c < Char('0') || c > Char('9')) return ContentLength::Parsed::kNotANumber;
        value = value * 10 + (c - Char('0'));
        if (value > ContentLength::kLargest) return ContentLength::Parsed::kTooLarge;
    }
    size = value;
    return ContentLength::Parsed::kValid;
}

}  // namespace

namespace ContentLength {

Parsed Parse(const std::wstring& text, long long& size) { return ParseText(text, size); }

Parsed Parse(const std::string& text, long long& size) { return ParseText(text, size); }

}  // namespace ContentLength
