#pragma once
// CDrawEngine: the framework's stateless drawing routines over a device context,
// with the records they work on: loaded images (ImageRecord) and the per-image
// drawing record that controls keep (DrawInfo).
//
// Thread contract: UI thread only. The routines keep no state of their own apart
// from the msimg32 entry points (resolved once) and the font-variant counter.
//
// Colours are 0xAARRGGBB everywhere; text and pens drop the alpha.
//
// What the routines ask of the window manager (CWindowManagerUI): FontRecordById,
// StandardFontRecord, FontIdMatching and RegisterFont (font variants of the markup
// text), ImageOrLoad, LocalizedText / ReplaceLocalizedTokens, the default link,
// hovered-link and selected-background colours, LastMousePosition, PaintDC, Root.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/UniqueResource.h"
#include "ui/core/DpiScale.h"

namespace Veneer {

class CWindowManagerUI;
class CControlUI;
class CUiString;

// One loaded image: a top-down 32-bit DIB section holding premultiplied BGRA; deletes
// its bitmap. Shared: the window manager's image table holds it by name, and every
// drawing record that drew it keeps it, so replacing the name's image leaves those
// records drawing the one they loaded.
struct ImageRecord {
    HBITMAP bitmap = nullptr;
    BYTE* bits = nullptr;               // the section's pixels, width * height * 4 bytes
    // Untouched copy for hue/saturation/lightness, made when a drawing record asks.
    mutable std::vector<BYTE> adjustBits;
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    mutable bool adjust = false;
    std::wstring resourceType;
    DWORD mask = 0;

    ImageRecord() = default;
    ~ImageRecord();
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;
};

// What a control keeps for one of its image attributes. The attribute string is
// parsed and its image loaded once; a string that failed is not parsed again.
struct DrawInfo {
    std::wstring attributes;            // the image attribute string as written
    std::wstring imageName;
    std::wstring resourceType;          // only with "res" or "color"
    std::shared_ptr<const ImageRecord> image;
    RECT dest{};                        // all 0: the whole control rectangle
    RECT source{};                      // all 0: the whole image
    RECT corners{};                     // nine-patch margins
    DWORD mask = 0;
    BYTE fade = 255;
    bool hole = false;
    bool xTiled = false;
    bool yTiled = false;
    bool hsl = false;
    bool parsed = false;
    int dpi = CDpiScale::kSkinDpi;      // the scale the string was read at

    DrawInfo() = default;
    explicit DrawInfo(const std::wstring& text) : attributes(text) {}
    // Back to an unparsed record for the same string.
    void Reset();
    // A new attribute string drops the image; the same string keeps a loaded image.
    void Assign(const std::wstring& text);
    bool Empty() const { return attributes.empty(); }
};

// A clip region selected into a device context; the previous clip comes back on
// release (destruction).
class CRenderClip {
public:
    CRenderClip() = default;
    ~CRenderClip();
    CRenderClip(const CRenderClip&) = delete;
    CRenderClip& operator=(const CRenderClip&) = delete;

private:
    friend class CDrawEngine;
    void Select(HDC dc, HRGN region);
    void Restore();
    HDC dc_ = nullptr;
    UniqueGdiObject<HRGN> previous_;  // null: there was no clip region before
    UniqueGdiObject<HRGN> region_;
};

class CDrawEngine {
public:
    // Font variants registered by the markup painter take ids from this number up,
    // clear of the skin's own font numbers.
    static constexpr int kFirstVariantFontId = 30000;

    // ---- images ----------------------------------------------------------------
    // type "*COLOR*": name is a colour; another type: a module resource; no type: a
    // file through the resource lookups. Null when nothing could be decoded.
    // At another scale than 96 DPI a file is read from its variant for the scale when
    // the skin has one ("img/close@1.5x.png", "img/close@2x.png"), else from the
    // nearest larger variant, else from the largest; a picture whose density differs
    // from the scale is resampled with a filter (colours, masks and resources as well).
    static std::unique_ptr<ImageRecord> LoadBitmapImage(const wchar_t* name, const wchar_t* type = nullptr,
                                                       DWORD mask = 0, const CDpiScale& scale = CDpiScale());
    // Decodes image file bytes (PNG, JPEG, BMP, GIF, ...) into premultiplied BGRA,
    // resampled by factor (target density / the bytes' density) when it is not 1.
    static std::unique_ptr<ImageRecord> DecodeImage(const void* bytes, size_t size, DWORD mask = 0,
                                                    double factor = 1.0);
    // Reads the image attribute string into the record's fields (name, type, rectangles,
    // mask, fade, flags); keys that are absent leave their fields as they are. The
    // rectangles are skin pixels, stored at the given scale.
    static void ParseImageAttributes(const wchar_t* text, DrawInfo& info, const CDpiScale& scale = CDpiScale());

    // Draws drawInfo into rect, only where it meets paintRect; dc null only parses and
    // loads. False when no image could be had. A record read at another scale than the
    // manager's is read again.
    static bool PaintImage(HDC dc, CWindowManagerUI* manager, const RECT& rect, const RECT& paintRect,
                           DrawInfo& drawInfo);
    // The image's shape in one colour (its alpha kept, its colours dropped), placed as
    // PaintImage places it: how high contrast shows glyphs and logos drawn for a
    // coloured background. False when no image could be had.
    static bool PaintImageShape(HDC dc, CWindowManagerUI* manager, const RECT& rect, const RECT& paintRect,
                                DrawInfo& drawInfo, DWORD color);
    // Nine-patch drawing of a bitmap part (source) into rect, corners unscaled.
    static void BlitImage(HDC dc, HBITMAP bitmap, const RECT& rect, const RECT& paintRect, const RECT& source,
                          const RECT& corners, bool hasAlpha, BYTE fade = 255, bool hole = false,
                          bool xTiled = false, bool yTiled = false);

    // Where PaintImage draws: the control rectangle, or its "dest" part cut at the
    // rectangle's right and bottom; false when that misses the rectangle or the paint
    // rectangle.
    static bool TargetOf(const RECT& rect, const RECT& paintRect, const DrawInfo& drawInfo, RECT& target);

    // ---- fills and strokes -------------------------------------------------------
    static void FillColor(HDC dc, const RECT& rect, DWORD color);
    static void FillGradient(HDC dc, const RECT& rect, DWORD color1, DWORD color2, bool vertical, int steps);
    static void StrokeLine(HDC dc, const RECT& rect, int width, DWORD color, int style = PS_SOLID);
    static void StrokeRect(HDC dc, const RECT& rect, int width, DWORD color, int style = PS_SOLID);
    static void StrokeRoundRect(HDC dc, const RECT& rect, int width, int ellipseWidth, int ellipseHeight,
                                DWORD color, int style = PS_SOLID);

    // ---- text --------------------------------------------------------------------
    // "%{n}" tokens become the localized text n; DrawTextW with style | DT_NOPREFIX.
    // With DT_CALCRECT rect receives the extent.
    static void PaintPlainText(HDC dc, CWindowManagerUI* manager, RECT& rect, const wchar_t* text, DWORD color,
                               int fontId, UINT style);
    // Brace-tag text. linkCount: on entry the capacity of linkRects/linkTargets (may
    // be null when 0), on return the links found. With DT_CALCRECT nothing is drawn
    // and rect's right and bottom receive the extent.
    static void PaintMarkupText(HDC dc, CWindowManagerUI* manager, RECT& rect, const wchar_t* text, DWORD color,
                                RECT* linkRects, CUiString* linkTargets, int& linkCount, int fontId, UINT style);
    // The words brace-tag text shows, without its tags (line breaks become blanks);
    // links counts the link tags in it when not null.
    static std::wstring MarkupPlainText(const wchar_t* text, int* links = nullptr);

    // ---- clips and surfaces -----------------------------------------------------
    // The current clip box intersected with rect; clip restores the previous clip.
    static void ClipToRect(HDC dc, const RECT& rect, CRenderClip& clip);
    static void ClipToRoundRect(HDC dc, const RECT& rect, const RECT& roundRect, int ellipseWidth,
                                int ellipseHeight, CRenderClip& clip);
    // A top-down 32-bit DIB section; bits receives its pixels when not null.
    static HBITMAP MakeArgbSection(HDC dc, int width, int height, BYTE** bits);
    // The tree's part under rect painted into a new 32-bit bitmap (caller deletes it),
    // filled first with background when its alpha is not 0.
    static HBITMAP RenderToBitmap(CWindowManagerUI* manager, const RECT& rect, CControlUI* stopControl,
                                  DWORD background);
};

}  // namespace Veneer
