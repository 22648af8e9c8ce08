// Images, fills, strokes, clips and surfaces of the draw engine.

#include "ui/core/DrawEngine.h"

#include <algorithm>
#include <climits>

#include "ui/control/Control.h"
#include "ui/core/DrawColors.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/SystemLibrary.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {

using AlphaBlendFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using GradientFillFunction = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

// msimg32 is looked up once; without it blending and gradients fall back to plain GDI.
struct Msimg32 {
    AlphaBlendFunction alphaBlend = nullptr;
    GradientFillFunction gradientFill = nullptr;
    Msimg32() {
        if (HMODULE module = LoadSystemLibrary(L"msimg32.dll")) {
            alphaBlend = reinterpret_cast<AlphaBlendFunction>(
                reinterpret_cast<void*>(GetProcAddress(module, "AlphaBlend")));
            gradientFill = reinterpret_cast<GradientFillFunction>(
                reinterpret_cast<void*>(GetProcAddress(module, "GradientFill")));
        }
    }
};

const Msimg32& Blending() {
    static const Msimg32 functions;
    return functions;
}

bool IsZero(const RECT& rect) {
    return rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0;
}

// Sizes of rectangles that may come from a hostile skin: worked out in 64 bits and cut
// to what an int holds.
int Span(LONG from, LONG to) {
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(to) - from, INT_MIN, INT_MAX));
}
int Width(const RECT& rect) { return Span(rect.left, rect.right); }
int Height(const RECT& rect) { return Span(rect.top, rect.bottom); }

// Draws one part of a nine-patch: source part `from` into destination part `to`.
class CPartPainter {
public:
    CPartPainter(HDC dc, HDC source, const RECT& paintRect, bool blend, BYTE fade)
        : dc_(dc), source_(source), paintRect_(paintRect), blend_(blend) {
        function_ = {AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
    }
    const RECT& PaintRect() const { return paintRect_; }

    void Draw(const RECT& to, const RECT& from) const {
        if (Width(to) <= 0 || Height(to) <= 0 || Width(from) <= 0 || Height(from) <= 0) return;
        RECT visible;
        if (!IntersectRect(&visible, &to, &paintRect_)) return;
        const bool unscaled = Width(to) == Width(from) && Height(to) == Height(from);
        const int sourceX = from.left + visible.left - to.left, sourceY = from.top + visible.top - to.top;
        if (blend_ && unscaled) {
            // Unscaled: only the part under the paint rectangle is drawn.
            Blending().alphaBlend(dc_, visible.left, visible.top, Width(visible), Height(visible), source_, sourceX,
                                  sourceY, Width(visible), Height(visible), function_);
        } else if (blend_) {
            Blending().alphaBlend(dc_, to.left, to.top, Width(to), Height(to), source_, from.left, from.top,
                                  Width(from), Height(from), function_);
        } else if (unscaled) {
            BitBlt(dc_, visible.left, visible.top, Width(visible), Height(visible), source_, sourceX, sourceY,
                   SRCCOPY);
        } else {
            StretchBlt(dc_, to.left, to.top, Width(to), Height(to), source_, from.left, from.top, Width(from),
                       Height(from), SRCCOPY);
        }
    }

private:
    HDC dc_;
    HDC source_;
    RECT paintRect_;
    bool blend_;
    BLENDFUNCTION function_;
};

// The first tile, counted from `start` in steps of `step`, that reaches past `from`.
long long FirstTile(long long start, long long step, long long from) {
    return from <= start ? start : start + (from - start) / step * step;
}

// Tiles the source centre over the destination centre from its top-left corner; the
// last tile in a tiled direction is cut, a direction that is not tiled is stretched.
// Only the tiles under the paint rectangle are visited, so a destination far larger
// than the window (a hostile skin's) costs no more than the window.
void TileCentre(const CPartPainter& painter, const RECT& to, const RECT& from, bool xTiled, bool yTiled) {
    const long long tileWidth = Width(from), tileHeight = Height(from);
    if (tileWidth <= 0 || tileHeight <= 0) return;
    const long long stepX = xTiled ? tileWidth : static_cast<long long>(to.right) - to.left;
    const long long stepY = yTiled ? tileHeight : static_cast<long long>(to.bottom) - to.top;
    if (stepX <= 0 || stepY <= 0) return;
    const RECT& paint = painter.PaintRect();
    const long long endX = std::min(to.right, paint.right), endY = std::min(to.bottom, paint.bottom);
    for (long long y = FirstTile(to.top, stepY, paint.top); y < endY; y += stepY) {
        const long long h = std::min<long long>(stepY, to.bottom - y);
        const long long sourceHeight = yTiled ? h : tileHeight;
        for (long long x = FirstTile(to.left, stepX, paint.left); x < endX; x += stepX) {
            const long long w = std::min<long long>(stepX, to.right - x);
            const long long sourceWidth = xTiled ? w : tileWidth;
            painter.Draw(RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + w), static_cast<LONG>(y + h)},
                         RECT{from.left, from.top, static_cast<LONG>(from.left + sourceWidth),
                              static_cast<LONG>(from.top + sourceHeight)});
        }
    }
}

}  // namespace

HBITMAP CDrawEngine::MakeArgbSection(HDC dc, int width, int height, BYTE** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = width * height * 4;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bits) *bits = bitmap ? static_cast<BYTE*>(pixels) : nullptr;
    return bitmap;
}

bool CDrawEngine::PaintImage(HDC dc, CWindowManagerUI* manager, const RECT& rect, const RECT& paintRect,
                             DrawInfo& drawInfo) {
    if (drawInfo.parsed && manager && drawInfo.dpi != manager->Scale().Dpi()) drawInfo.Reset();
    if (!drawInfo.parsed) {
        // Without a manager nothing can load yet; the string is read once one exists.
        if (!manager) return false;
        drawInfo.parsed = true;
        drawInfo.dpi = manager->Scale().Dpi();
        if (drawInfo.attributes.empty()) return false;
        ParseImageAttributes(drawInfo.attributes.c_str(), drawInfo, manager->Scale());
        if (drawInfo.imageName.empty()) return false;
        drawInfo.image = manager->ImageOrLoad(
            drawInfo.imageName.c_str(), drawInfo.resourceType.empty() ? nullptr : drawInfo.resourceType.c_str(),
            drawInfo.mask);
        if (!drawInfo.image) return false;
        if (IsZero(drawInfo.source)) drawInfo.source = RECT{0, 0, drawInfo.image->width, drawInfo.image->height};
        if (drawInfo.hsl && drawInfo.image->adjustBits.empty()) {
            const ImageRecord& image = *drawInfo.image;
            image.adjustBits.assign(image.bits, image.bits + static_cast<size_t>(image.width) * image.height * 4);
            image.adjust = true;
        }
    }
    const ImageRecord* image = drawInfo.image.get();
    if (!image) return false;
    drawInfo.source.right = std::min(drawInfo.source.right, static_cast<LONG>(image->width));
    drawInfo.source.bottom = std::min(drawInfo.source.bottom, static_cast<LONG>(image->height));
    if (!dc) return true;
    RECT target;
    if (!TargetOf(rect, paintRect, drawInfo, target)) return true;
    BlitImage(dc, image->bitmap, target, paintRect, drawInfo.source, drawInfo.corners, image->hasAlpha,
              drawInfo.fade, drawInfo.hole, drawInfo.xTiled, drawInfo.yTiled);
    return true;
}

bool CDrawEngine::TargetOf(const RECT& rect, const RECT& paintRect, const DrawInfo& drawInfo, RECT& target) {
    target = rect;
    if (!IsZero(drawInfo.dest)) {
        target = RECT{rect.left + drawInfo.dest.left, rect.top + drawInfo.dest.top,
                      std::min(rect.left + drawInfo.dest.right, rect.right),
                      std::min(rect.top + drawInfo.dest.bottom, rect.bottom)};
    }
    RECT unused;
    return IntersectRect(&unused, &target, &rect) && IntersectRect(&unused, &target, &paintRect);
}

bool CDrawEngine::PaintImageShape(HDC dc, CWindowManagerUI* manager, const RECT& rect, const RECT& paintRect,
                                  DrawInfo& drawInfo, DWORD color) {
    if (!PaintImage(nullptr, manager, rect, paintRect, drawInfo)) return false;
    RECT target;
    if (!dc || !TargetOf(rect, paintRect, drawInfo, target)) return true;
    const ImageRecord& image = *drawInfo.image;
    const RECT& source = drawInfo.source;
    const int width = source.right - source.left, height = source.bottom - source.top;
    if (width <= 0 || height <= 0) return true;
    BYTE* bits = nullptr;
    UniqueGdiObject<HBITMAP> shape(MakeArgbSection(nullptr, width, height, &bits));
    if (!shape) return true;
    const DWORD red = (color >> 16) & 0xFF, green = (color >> 8) & 0xFF, blue = color & 0xFF;
    DWORD* out = reinterpret_cast<DWORD*>(bits);
    for (int y = 0; y < height; ++y) {
        const BYTE* row = image.bits + (static_cast<size_t>(source.top + y) * image.width + source.left) * 4;
        for (int x = 0; x < width; ++x) {
            const DWORD alpha = row[x * 4 + 3];
            out[y * width + x] = (alpha << 24) | ((red * alpha / 255) << 16) | ((green * alpha / 255) << 8) |
                                 (blue * alpha / 255);
        }
    }
    BlitImage(dc, shape.Get(), target, paintRect, RECT{0, 0, width, height}, drawInfo.corners, true, drawInfo.fade,
              drawInfo.hole, drawInfo.xTiled, drawInfo.yTiled);
    return true;
}

void CDrawEngine::BlitImage(HDC dc, HBITMAP bitmap, const RECT& rect, const RECT& paintRect, const RECT& source,
                            const RECT& corners, bool hasAlpha, BYTE fade, bool hole, bool xTiled, bool yTiled) {
    if (!dc || !bitmap) return;
    // One memory device context serves every blit: creating one per image costs more
    // than the blit itself under Wine.
    static UniqueDeviceContext memory(CreateCompatibleDC(nullptr));
    if (!memory) return;
    CSelectObject selected(memory.Get(), bitmap);
    const bool blend = Blending().alphaBlend && (hasAlpha || fade < 255);
    if (!blend) SetStretchBltMode(dc, COLORONCOLOR);
    CPartPainter painter(dc, memory.Get(), paintRect, blend, fade);

    const RECT& c = corners;
    const RECT& s = source;
    const RECT& d = rect;
    if (!hole) {
        const RECT to{d.left + c.left, d.top + c.top, d.right - c.right, d.bottom - c.bottom};
        const RECT from{s.left + c.left, s.top + c.top, s.right - c.right, s.bottom - c.bottom};
        if (xTiled || yTiled) {
            TileCentre(painter, to, from, xTiled, yTiled);
        } else {
            painter.Draw(to, from);
        }
    }
    // Corners, unscaled.
    painter.Draw({d.left, d.top, d.left + c.left, d.top + c.top}, {s.left, s.top, s.left + c.left, s.top + c.top});
    painter.Draw({d.right - c.right, d.top, d.right, d.top + c.top},
                 {s.right - c.right, s.top, s.right, s.top + c.top});
    painter.Draw({d.left, d.bottom - c.bottom, d.left + c.left, d.bottom},
                 {s.left, s.bottom - c.bottom, s.left + c.left, s.bottom});
    painter.Draw({d.right - c.right, d.bottom - c.bottom, d.right, d.bottom},
                 {s.right - c.right, s.bottom - c.bottom, s.right, s.bottom});
    // Edges, stretched along their length.
    painter.Draw({d.left + c.left, d.top, d.right - c.right, d.top + c.top},
                 {s.left + c.left, s.top, s.right - c.right, s.top + c.top});
    painter.Draw({d.left + c.left, d.bottom - c.bottom, d.right - c.right, d.bottom},
                 {s.left + c.left, s.bottom - c.bottom, s.right - c.right, s.bottom});
    painter.Draw({d.left, d.top + c.top, d.left + c.left, d.bottom - c.bottom},
                 {s.left, s.top + c.top, s.left + c.left, s.bottom - c.bottom});
    painter.Draw({d.right - c.right, d.top + c.top, d.right, d.bottom - c.bottom},
                 {s.right - c.right, s.top + c.top, s.right, s.bottom - c.bottom});
}

void CDrawEngine::FillColor(HDC dc, const RECT& rect, DWORD color) {
    const BYTE alpha = static_cast<BYTE>(color >> 24);
    if (!dc || alpha == 0 || Width(rect) <= 0 || Height(rect) <= 0) return;
    if (alpha == 255 || !Blending().alphaBlend) {
        SetBkColor(dc, ToColorRef(color));
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
        return;
    }
    BYTE* bits = nullptr;
    UniqueGdiObject<HBITMAP> pixel(MakeArgbSection(dc, 1, 1, &bits));
    UniqueDeviceContext memory(CreateCompatibleDC(dc));
    if (!pixel || !memory) return;
    // The colour itself at full strength, blended with a constant alpha.
    *reinterpret_cast<DWORD*>(bits) = color | 0xFF000000;
    CSelectObject selected(memory.Get(), pixel.Get());
    BLENDFUNCTION function = {AC_SRC_OVER, 0, alpha, 0};
    Blending().alphaBlend(dc, rect.left, rect.top, Width(rect), Height(rect), memory.Get(), 0, 0, 1, 1, function);
}

namespace {

TRIVERTEX Vertex(LONG x, LONG y, DWORD color) {
    TRIVERTEX vertex = {};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = static_cast<COLOR16>(((color >> 16) & 0xFF) << 8);
    vertex.Green = static_cast<COLOR16>(((color >> 8) & 0xFF) << 8);
    vertex.Blue = static_cast<COLOR16>((color & 0xFF) << 8);
    vertex.Alpha = 0xFF00;
    return vertex;
}

void DrawGradient(HDC dc, const RECT& rect, DWORD color1, DWORD color2, bool vertical, int steps) {
    if (Blending().gradientFill) {
        TRIVERTEX vertices[2] = {Vertex(rect.left, rect.top, color1), Vertex(rect.right, rect.bottom, color2)};
        GRADIENT_RECT gradient = {0, 1};
        Blending().gradientFill(dc, vertices, 2, &gradient, 1,
                                vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
        return;
    }
    const int shift = steps < 4 ? 1 : steps < 8 ? 2 : steps < 16 ? 3 : steps < 32 ? 4 : steps < 64 ? 5 : 6;
    const int bands = 1 << shift;
    const int length = vertical ? Height(rect) : Width(rect);
    for (int i = 0; i < bands; ++i) {
        auto mix = [&](int component) {
            const int a = (color1 >> component) & 0xFF, b = (color2 >> component) & 0xFF;
            return static_cast<DWORD>(a + (b - a) * i / (bands - 1)) << component;
        };
        const DWORD color = 0xFF000000 | mix(16) | mix(8) | mix(0);
        RECT band = rect;
        if (vertical) {
            band.top = rect.top + length * i / bands;
            band.bottom = rect.top + length * (i + 1) / bands;
        } else {
            band.left = rect.left + length * i / bands;
            band.right = rect.left + length * (i + 1) / bands;
        }
        CDrawEngine::FillColor(dc, band, color);
    }
}

}  // namespace

void CDrawEngine::FillGradient(HDC dc, const RECT& rect, DWORD color1, DWORD color2, bool vertical, int steps) {
    const BYTE alpha = static_cast<BYTE>(((color1 >> 24) + (color2 >> 24)) / 2);
    if (!dc || alpha == 0 || Width(rect) <= 0 || Height(rect) <= 0) return;
    if (alpha == 255 || !Blending().alphaBlend) {
        DrawGradient(dc, rect, color1, color2, vertical, steps);
        return;
    }
    UniqueGdiObject<HBITMAP> surface(MakeArgbSection(dc, Width(rect), Height(rect), nullptr));
    UniqueDeviceContext memory(CreateCompatibleDC(dc));
    if (!surface || !memory) return;
    CSelectObject selected(memory.Get(), surface.Get());
    DrawGradient(memory.Get(), RECT{0, 0, Width(rect), Height(rect)}, color1, color2, vertical, steps);
    BLENDFUNCTION function = {AC_SRC_OVER, 0, alpha, 0};
    Blending().alphaBlend(dc, rect.left, rect.top, Width(rect), Height(rect), memory.Get(), 0, 0, Width(rect),
                          Height(rect), function);
}

void CDrawEngine::StrokeLine(HDC dc, const RECT& rect, int width, DWORD color, int style) {
    if (!dc) return;
    UniqueGdiObject<HPEN> pen(CreatePen(style, width, ToColorRef(color)));
    CSelectObject selected(dc, pen.Get());
    MoveToEx(dc, rect.left, rect.top, nullptr);
    LineTo(dc, rect.right, rect.bottom);
}

void CDrawEngine::StrokeRect(HDC dc, const RECT& rect, int width, DWORD color, int style) {
    if (!dc) return;
    UniqueGdiObject<HPEN> pen(CreatePen(style | PS_INSIDEFRAME, width, ToColorRef(color)));
    CSelectObject selectedPen(dc, pen.Get());
    CSelectObject selectedBrush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
}

void CDrawEngine::StrokeRoundRect(HDC dc, const RECT& rect, int width, int ellipseWidth, int ellipseHeight,
                                  DWORD color, int style) {
    if (!dc) return;
    UniqueGdiObject<HPEN> pen(CreatePen(style | PS_INSIDEFRAME, width, ToColorRef(color)));
    CSelectObject selectedPen(dc, pen.Get());
    CSelectObject selectedBrush(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, ellipseWidth, ellipseHeight);
}

CRenderClip::~CRenderClip() { Restore(); }

void CRenderClip::Restore() {
    if (!dc_) return;
    SelectClipRgn(dc_, previous_.Get());
    previous_.Reset();
    region_.Reset();
    dc_ = nullptr;
}

// Takes ownership of region (device coordinates), cut to the current clip box, and
// selects it; the device context's own clip region is kept for Restore.
void CRenderClip::Select(HDC dc, HRGN region) {
    RECT box;
    GetClipBox(dc, &box);
    LPtoDP(dc, reinterpret_cast<POINT*>(&box), 2);
    UniqueGdiObject<HRGN> boxRegion(CreateRectRgnIndirect(&box));
    CombineRgn(region, region, boxRegion.Get(), RGN_AND);
    previous_.Reset(CreateRectRgn(0, 0, 0, 0));
    if (GetClipRgn(dc, previous_.Get()) != 1) previous_.Reset();
    dc_ = dc;
    region_.Reset(region);
    SelectClipRgn(dc, region);
}

namespace {

// Regions live in device coordinates; RenderToBitmap paints with a moved origin.
RECT ToDevice(HDC dc, RECT rect) {
    LPtoDP(dc, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

void CDrawEngine::ClipToRect(HDC dc, const RECT& rect, CRenderClip& clip) {
    clip.Restore();
    if (!dc) return;
    const RECT device = ToDevice(dc, rect);
    clip.Select(dc, CreateRectRgnIndirect(&device));
}

void CDrawEngine::ClipToRoundRect(HDC dc, const RECT& rect, const RECT& roundRect, int ellipseWidth,
                                  int ellipseHeight, CRenderClip& clip) {
    clip.Restore();
    if (!dc) return;
    const RECT device = ToDevice(dc, rect);
    const RECT deviceRound = ToDevice(dc, roundRect);
    HRGN region = CreateRectRgnIndirect(&device);
    UniqueGdiObject<HRGN> round(CreateRoundRectRgn(deviceRound.left, deviceRound.top, deviceRound.right,
                                                   deviceRound.bottom, ellipseWidth, ellipseHeight));
    CombineRgn(region, region, round.Get(), RGN_AND);
    clip.Select(dc, region);
}

HBITMAP CDrawEngine::RenderToBitmap(CWindowManagerUI* manager, const RECT& rect, CControlUI* stopControl,
                                    DWORD background) {
    if (!manager || !manager->Root()) return nullptr;
    const int width = Width(rect), height = Height(rect);
    if (width <= 0 || height <= 0) return nullptr;
    UniqueDeviceContext memory(CreateCompatibleDC(manager->PaintDC()));
    UniqueGdiObject<HBITMAP> bitmap(MakeArgbSection(manager->PaintDC(), width, height, nullptr));
    if (!memory || !bitmap) return nullptr;
    {
        CSelectObject selected(memory.Get(), bitmap.Get());
        if (background >> 24) FillColor(memory.Get(), RECT{0, 0, width, height}, background);
        // The tree paints in window coordinates; the bitmap's origin is the rectangle's corner.
        SetWindowOrgEx(memory.Get(), rect.left, rect.top, nullptr);
        manager->Root()->Paint(memory.Get(), rect, stopControl);
        SetWindowOrgEx(memory.Get(), 0, 0, nullptr);
    }
    return bitmap.Release();
}

}  // namespace Veneer
