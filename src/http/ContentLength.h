#pragma once
// The one reading of a Content-Length value: decimal digits only, blanks around
// them allowed, at most 2^53. A sign, a second number, a fraction or an empty
// value is no length; callers treat that as a failed answer, never as an empty one.
//
// Thread contract: stateless; any thread.

#include <string>

namespace ContentLength {

// Far beyond any installer, and every size and offset below it is exact wherever
// it travels, doubles included.
constexpr long long kLargest = 1LL << 53;

enum class Parsed { kValid, kNotANumber, kTooLarge };

Parsed Parse(const std::wstring& text, long long& size);
Parsed Parse(const std::string& text, long long& size);

}  // namespace ContentLength
