#pragma once
// CDpiScale: where the skin's lengths become device pixels.
//
// A skin is written in pixels of a 96-DPI display. A window on a display of another
// density converts every length the skin gives (window size, caption, size box,
// corners, positions, fixed and limit sizes, padding, insets, borders, font sizes,
// image destinations, sources and corners, brace-tag offsets) here, once, as the
// skin is applied; controls and layouts then work in device pixels with their
// arithmetic unchanged. At 96 DPI every conversion returns its input unchanged.
//
// Thread contract: a value type; any thread.

#include <windows.h>

#include <string>

namespace Veneer {

class CDpiScale {
public:
    static constexpr int kSkinDpi = 96;

    explicit CDpiScale(int dpi = kSkinDpi) : dpi_(dpi > 0 ? dpi : kSkinDpi) {}

    int Dpi() const { return dpi_; }
    bool IsSkinScale() const { return dpi_ == kSkinDpi; }

    // Rounded to the nearest pixel, halves away from zero (as MulDiv rounds).
    int Length(int skinPixels) const;
    RECT Rect(const RECT& skin) const;
    SIZE Size(const SIZE& skin) const;

    // Control attributes (names as written, case-sensitive) whose value is a list of
    // lengths.
    static bool IsLengthAttribute(const wchar_t* name);
    // The root element's window attributes (names in any case) that are lengths.
    static bool IsWindowLengthAttribute(const wchar_t* name);
    // Every number of the list scaled, read the way the attribute readers read it:
    // a decimal number, then one separator character that is skipped. Characters
    // that are no number stay where they are, so the readers see the same shape.
    std::wstring Lengths(const wchar_t* value) const;
    // A control attribute's device value: lengths scaled, other values as written.
    std::wstring AttributeValue(const wchar_t* name, const wchar_t* value) const;

private:
    int dpi_;
};

// How far the process told the system that it scales its own windows.
// kAlreadyDeclared: the manifest (or an earlier call) decided, and the system keeps that.
enum class DpiAwareness { kPerMonitorV2, kPerMonitor, kSystem, kAlreadyDeclared, kUnaware };

// Declares the process DPI aware, so that the system never stretches its windows into
// a blurry bitmap: per monitor (v2), else per monitor, else system aware. A manifest
// that declared it already wins (the calls then fail and nothing changes). Call it at
// start, before the first window exists; it writes no log line, since the log may not
// be open yet.
DpiAwareness DeclareDpiAwareness();

}  // namespace Veneer
