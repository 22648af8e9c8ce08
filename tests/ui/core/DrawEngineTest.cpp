// The draw engine rendering into 32-bit DIB sections: pixels are checked at chosen
// points (colours, alpha edges, nine-patch parts, tiles, text colours, links).
// Test images are written by tests/data/draw/make_images.py.

#include "ui/core/DrawEngine.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "UiTestDoubles.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/UiString.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;

namespace {

// A memory device context drawing into a top-down 32-bit section.
class Surface {
public:
    Surface(int width, int height, DWORD fill = 0xFFFFFFFF)
        : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)), bitmap_(CDrawEngine::MakeArgbSection(nullptr, width, height, &bits_)),
          selected_(dc_.Get(), bitmap_.Get()) {
        Fill(fill);
    }
    HDC dc() const { return dc_.Get(); }
    int width() const { return width_; }
    void Fill(DWORD argb) {
        GdiFlush();
        DWORD* pixels = reinterpret_cast<DWORD*>(bits_);
        for (int i = 0; i < width_ * height_; ++i) pixels[i] = argb;
    }
    // 0x00RRGGBB: GDI leaves the alpha byte to chance.
    DWORD Rgb(int x, int y) const {
        GdiFlush();
        return reinterpret_cast<const DWORD*>(bits_)[y * width_ + x] & 0xFFFFFF;
    }
    DWORD Argb(int x, int y) const {
        GdiFlush();
        return reinterpret_cast<const DWORD*>(bits_)[y * width_ + x];
    }
    // Pixels in [left, right) x [top, bottom) for which test(rgb) holds.
    template <typename Test>
    int Count(int left, int top, int right, int bottom, Test test) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (test(Rgb(x, y))) ++count;
        return count;
    }

private:
    int width_, height_;
    BYTE* bits_ = nullptr;
    UniqueDeviceContext dc_;
    UniqueGdiObject<HBITMAP> bitmap_;
    CSelectObject selected_;
};

int Red(DWORD rgb) { return (rgb >> 16) & 0xFF; }
int Green(DWORD rgb) { return (rgb >> 8) & 0xFF; }
int Blue(DWORD rgb) { return rgb & 0xFF; }

std::unique_ptr<ImageRecord> LoadTestImage(const wchar_t* name, DWORD mask = 0) {
    std::string bytes = ReadFileBytes(TestDataPath(std::wstring(L"draw\\") + name));
    return CDrawEngine::DecodeImage(bytes.data(), bytes.size(), mask);
}

DWORD ImagePixel(const ImageRecord& image, int x, int y) {
    return reinterpret_cast<const DWORD*>(image.bits)[y * image.width + x];
}

const RECT kNoCorners{};

}  // namespace

// ---- the image attribute string -----------------------------------------------------

TEST(ImageAttributes, PlainNameIsTheImageName) {
    DrawInfo info;
    CDrawEngine::ParseImageAttributes(L"img\\bg.png", info);
    EXPECT_EQ(info.imageName, L"img\\bg.png");
    EXPECT_TRUE(info.resourceType.empty());
}

TEST(ImageAttributes, SkinCheckBoxString) {
    DrawInfo info;
    CDrawEngine::ParseImageAttributes(L"file='img/checked.png' dest='0,8,14,22'", info);
    EXPECT_EQ(info.imageName, L"img/checked.png");
    EXPECT_EQ(info.dest.left, 0);
    EXPECT_EQ(info.dest.top, 8);
    EXPECT_EQ(info.dest.right, 14);
    EXPECT_EQ(info.dest.bottom, 22);
}

TEST(ImageAttributes, PairGluedToThePreviousQuoteIsNotRead) {
    DrawInfo info;
    CDrawEngine::ParseImageAttributes(L"file='a.png'dest='0,8,14,22' fade='10'", info);
    EXPECT_EQ(info.imageName, L"a.png");
    EXPECT_EQ(info.dest.bottom, 0);
    EXPECT_EQ(info.fade, 255);
}

TEST(ImageAttributes, EveryKey) {
    DrawInfo info;
    CDrawEngine::ParseImageAttributes(L"file='n.png' source='1,2,3,4' corner='5,6,7,8' mask='#FFFF00FF' "
                                      L"fade='128' hole='true' xtiled='true' ytiled='true' hsl='true'",
                                      info);
    EXPECT_EQ(info.source.left, 1);
    EXPECT_EQ(info.source.bottom, 4);
    EXPECT_EQ(info.corners.left, 5);
    EXPECT_EQ(info.corners.bottom, 8);
    EXPECT_EQ(info.mask, 0xFFFF00FFu);
    EXPECT_EQ(info.fade, 128);
    EXPECT_TRUE(info.hole && info.xTiled && info.yTiled && info.hsl);

    DrawInfo scaled;
    CDrawEngine::ParseImageAttributes(L"file='n.png' scale9='2,2,2,2' hole='True' xtiled='1'", scaled);
    EXPECT_EQ(scaled.corners.right, 2);
    EXPECT_FALSE(scaled.hole);
    EXPECT_FALSE(scaled.xTiled);
}

TEST(ImageAttributes, FadeOutsideTheByteIsClamped) {
    DrawInfo high, low;
    CDrawEngine::ParseImageAttributes(L"file='a.png' fade='300'", high);
    CDrawEngine::ParseImageAttributes(L"file='a.png' fade='-5'", low);
    EXPECT_EQ(high.fade, 255);  // not 300 - 256 = 44
    EXPECT_EQ(low.fade, 0);
}

TEST(ImageAttributes, ResourceTypeOnlyWithRes) {
    DrawInfo file;
    CDrawEngine::ParseImageAttributes(L"file='a.png' restype='PNG'", file);
    EXPECT_EQ(file.imageName, L"a.png");
    EXPECT_TRUE(file.resourceType.empty());

    DrawInfo resource;
    CDrawEngine::ParseImageAttributes(L"restype='PNG' res='101'", resource);
    EXPECT_EQ(resource.imageName, L"101");
    EXPECT_EQ(resource.resourceType, L"PNG");
}

TEST(ImageAttributes, ColorImageWithOrWithoutHash) {
    DrawInfo hashed, bare;
    CDrawEngine::ParseImageAttributes(L"color='#FF1A57A9'", hashed);
    CDrawEngine::ParseImageAttributes(L"color='FF1A57A9'", bare);
    EXPECT_EQ(hashed.resourceType, L"*COLOR*");
    EXPECT_EQ(bare.resourceType, L"*COLOR*");
    auto a = CDrawEngine::LoadBitmapImage(hashed.imageName.c_str(), hashed.resourceType.c_str());
    auto b = CDrawEngine::LoadBitmapImage(bare.imageName.c_str(), bare.resourceType.c_str());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->width, 1);
    EXPECT_EQ(ImagePixel(*a, 0, 0), 0xFF1A57A9u);
    EXPECT_EQ(ImagePixel(*b, 0, 0), 0xFF1A57A9u);
    EXPECT_FALSE(a->hasAlpha);
}

TEST(ImageAttributes, EmptyValuesAndUnknownKeysAreIgnored) {
    DrawInfo info;
    CDrawEngine::ParseImageAttributes(L"file='a.png' File='b.png' fade='' size='3'", info);
    EXPECT_EQ(info.imageName, L"a.png");
    EXPECT_EQ(info.fade, 255);
}

TEST(ImageAttributes, AssignKeepsALoadedImageForTheSameString) {
    auto image = std::make_shared<ImageRecord>();
    DrawInfo info(L"a.png");
    info.parsed = true;
    info.image = image;
    info.Assign(L"a.png");
    EXPECT_EQ(info.image, image);
    info.Assign(L"b.png");
    EXPECT_EQ(info.image, nullptr);
    EXPECT_FALSE(info.parsed);
    EXPECT_EQ(info.fade, 255);
}

// ---- decoding -----------------------------------------------------------------------

TEST(ImageDecoding, PremultipliedBgra) {
    auto image = LoadTestImage(L"alpha.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
    EXPECT_TRUE(image->hasAlpha);
    EXPECT_EQ(ImagePixel(*image, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(ImagePixel(*image, 1, 0), 0x80808080u);  // 255 * 128 / 255
    EXPECT_EQ(ImagePixel(*image, 0, 1), 0u);
    EXPECT_EQ(ImagePixel(*image, 1, 1), 0x33280000u);  // 200 * 51 / 255 = 40
}

TEST(ImageDecoding, OpaqueImageHasNoAlpha) {
    auto image = LoadTestImage(L"checked.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 14);
    EXPECT_FALSE(image->hasAlpha);
    EXPECT_EQ(ImagePixel(*image, 13, 13), 0xFF1A57A9u);
}

TEST(ImageDecoding, SixDigitMaskRemovesNothing) {
    auto image = LoadTestImage(L"mask.png", 0xFF00FF);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->hasAlpha);
    EXPECT_EQ(ImagePixel(*image, 0, 0), 0xFFFF00FFu);
}

TEST(ImageDecoding, MaskWithAlphaMakesPixelsTransparent) {
    auto image = LoadTestImage(L"mask.png", 0xFFFF00FF);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->hasAlpha);
    EXPECT_EQ(ImagePixel(*image, 0, 0), 0u);
    EXPECT_EQ(ImagePixel(*image, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(ImagePixel(*image, 2, 0), 0u);
}

TEST(ImageDecoding, ModuleResourcesByNameOrNumber) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    auto numbered = CDrawEngine::LoadBitmapImage(L"101", L"PNG");
    auto named = CDrawEngine::LoadBitmapImage(L"SKINCHECK", L"PNG");
    ASSERT_TRUE(numbered && named);
    EXPECT_EQ(numbered->width, 14);
    EXPECT_EQ(ImagePixel(*named, 0, 0), 0xFF1A57A9u);
    EXPECT_EQ(named->resourceType, L"PNG");
}

TEST(ImageDecoding, BrokenBytesGiveNoImage) {
    EXPECT_FALSE(LoadTestImage(L"broken.png"));
    EXPECT_FALSE(CDrawEngine::DecodeImage(nullptr, 0));
    EXPECT_FALSE(CDrawEngine::LoadBitmapImage(L"no-such-image.png"));
    EXPECT_FALSE(CDrawEngine::LoadBitmapImage(L"101", L"NOSUCHTYPE"));
}

// ---- BlitImage ----------------------------------------------------------------------

TEST(BlitImage, NinePatchCornersStayUnscaled) {
    auto image = LoadTestImage(L"ninepatch.png");
    ASSERT_TRUE(image);
    Surface surface(40, 30);
    const RECT target{5, 5, 35, 25};
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, target, RECT{0, 0, 40, 30}, RECT{0, 0, 9, 9},
                           RECT{3, 3, 3, 3}, false);
    // Corners: 3x3 each at the four corners of the target.
    EXPECT_EQ(surface.Rgb(5, 5), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(7, 7), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(34, 5), 0x00FF00u);
    EXPECT_EQ(surface.Rgb(32, 7), 0x00FF00u);
    EXPECT_EQ(surface.Rgb(5, 24), 0x0000FFu);
    EXPECT_EQ(surface.Rgb(34, 24), 0xFFFF00u);
    // Edges stretched along their length, centre stretched.
    EXPECT_EQ(surface.Rgb(8, 5), 0x00FFFFu);
    EXPECT_EQ(surface.Rgb(31, 7), 0x00FFFFu);
    EXPECT_EQ(surface.Rgb(5, 15), 0xFF00FFu);
    EXPECT_EQ(surface.Rgb(34, 15), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(20, 24), 0x000000u);
    EXPECT_EQ(surface.Rgb(20, 15), 0x808080u);
    EXPECT_EQ(surface.Rgb(8, 8), 0x808080u);
    // Outside the target nothing changed.
    EXPECT_EQ(surface.Rgb(4, 4), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(35, 25), 0xFFFFFFu);
}

TEST(BlitImage, HoleLeavesTheCentre) {
    auto image = LoadTestImage(L"ninepatch.png");
    ASSERT_TRUE(image);
    Surface surface(40, 30, 0xFF102030);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{5, 5, 35, 25}, RECT{0, 0, 40, 30}, RECT{0, 0, 9, 9},
                           RECT{3, 3, 3, 3}, false, 255, true);
    EXPECT_EQ(surface.Rgb(20, 15), 0x102030u);
    EXPECT_EQ(surface.Rgb(5, 5), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(20, 5), 0x00FFFFu);
}

TEST(BlitImage, OnlyThePaintRectangleIsDrawn) {
    auto image = LoadTestImage(L"ninepatch.png");
    ASSERT_TRUE(image);
    Surface surface(40, 30, 0xFF102030);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{0, 0, 9, 9}, RECT{0, 0, 4, 4}, RECT{0, 0, 9, 9},
                           kNoCorners, false);
    EXPECT_EQ(surface.Rgb(0, 0), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(3, 3), 0x808080u);
    EXPECT_EQ(surface.Rgb(5, 5), 0x102030u);
    EXPECT_EQ(surface.Rgb(8, 8), 0x102030u);
}

TEST(BlitImage, TilesAreCutNotScaled) {
    auto image = LoadTestImage(L"tile.png");  // 4x2: red, red, blue, blue
    ASSERT_TRUE(image);
    Surface surface(20, 10);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{0, 0, 10, 5}, RECT{0, 0, 20, 10}, RECT{0, 0, 4, 2},
                           kNoCorners, false, 255, false, true, true);
    for (int x = 0; x < 10; ++x) {
        const DWORD expected = (x % 4) < 2 ? 0xFF0000u : 0x0000FFu;
        EXPECT_EQ(surface.Rgb(x, 0), expected) << x;
        EXPECT_EQ(surface.Rgb(x, 4), expected) << x;  // the last row of tiles is cut at 5
    }
    EXPECT_EQ(surface.Rgb(10, 0), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(0, 5), 0xFFFFFFu);
}

TEST(BlitImage, TilingAHugeDestinationVisitsOnlyTheTilesUnderThePaintRectangle) {
    auto image = LoadTestImage(L"tile.png");  // 4x2: red, red, blue, blue
    ASSERT_TRUE(image);
    Surface surface(20, 10);
    // Four times ten to the twelfth tiles, as a skin's floating control may ask for.
    const RECT huge{-400000000, -200000000, 400000000, 200000000};
    DWORD start = GetTickCount();
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, huge, RECT{0, 0, 20, 10}, RECT{0, 0, 4, 2}, kNoCorners, false,
                           255, false, true, true);
    EXPECT_LT(GetTickCount() - start, 2000u);
    // Laid from the destination's corner, whose offset is a whole number of tiles.
    for (int x = 0; x < 20; ++x) EXPECT_EQ(surface.Rgb(x, 9), (x % 4) < 2 ? 0xFF0000u : 0x0000FFu) << x;
    // The widest a rectangle can be: nothing overflows.
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX},
                           RECT{0, 0, 20, 10}, RECT{0, 0, 4, 2}, kNoCorners, false, 255, false, true, false);
}

TEST(BlitImage, TiledOneWayStretchesTheOther) {
    auto image = LoadTestImage(L"tile.png");
    ASSERT_TRUE(image);
    Surface surface(20, 10);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{0, 0, 8, 10}, RECT{0, 0, 20, 10}, RECT{0, 0, 4, 2},
                           kNoCorners, false, 255, false, true, false);
    EXPECT_EQ(surface.Rgb(1, 9), 0xFF0000u);  // stretched down to the full height
    EXPECT_EQ(surface.Rgb(6, 9), 0x0000FFu);
    Surface vertical(20, 10);
    CDrawEngine::BlitImage(vertical.dc(), image->bitmap, RECT{0, 0, 16, 5}, RECT{0, 0, 20, 10}, RECT{0, 0, 4, 2},
                           kNoCorners, false, 255, false, false, true);
    EXPECT_EQ(vertical.Rgb(7, 4), 0xFF0000u);  // stretched across: the left half is red
    EXPECT_EQ(vertical.Rgb(8, 4), 0x0000FFu);
    EXPECT_EQ(vertical.Rgb(8, 5), 0xFFFFFFu);
}

TEST(BlitImage, AlphaBlendsOverTheBackground) {
    auto image = LoadTestImage(L"alpha.png");
    ASSERT_TRUE(image);
    Surface surface(2, 2, 0xFF000000);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{0, 0, 2, 2}, RECT{0, 0, 2, 2}, RECT{0, 0, 2, 2},
                           kNoCorners, image->hasAlpha);
    EXPECT_EQ(surface.Rgb(0, 0), 0xFFFFFFu);
    EXPECT_NEAR(Red(surface.Rgb(1, 0)), 128, 2);
    EXPECT_EQ(surface.Rgb(0, 1), 0x000000u);
    Surface white(2, 2, 0xFFFFFFFF);
    CDrawEngine::BlitImage(white.dc(), image->bitmap, RECT{0, 0, 2, 2}, RECT{0, 0, 2, 2}, RECT{0, 0, 2, 2},
                           kNoCorners, image->hasAlpha);
    EXPECT_EQ(white.Rgb(0, 1), 0xFFFFFFu);  // fully transparent pixel leaves the background
    EXPECT_NEAR(Red(white.Rgb(1, 1)), 40 + 204, 2);
    EXPECT_NEAR(Green(white.Rgb(1, 1)), 204, 2);
}

TEST(BlitImage, AlphaOnlyUnderThePaintRectangle) {
    auto image = LoadTestImage(L"alpha.png");
    ASSERT_TRUE(image);
    Surface surface(2, 2, 0xFF000000);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{0, 0, 2, 2}, RECT{1, 0, 2, 1}, RECT{0, 0, 2, 2},
                           kNoCorners, true);
    EXPECT_NEAR(Red(surface.Rgb(1, 0)), 128, 2);
    EXPECT_EQ(surface.Rgb(0, 0), 0x000000u);  // outside the paint rectangle
}

TEST(BlitImage, FadeIsAConstantAlpha) {
    auto image = LoadTestImage(L"checked.png");
    ASSERT_TRUE(image);
    Surface surface(14, 14, 0xFF000000);
    CDrawEngine::BlitImage(surface.dc(), image->bitmap, RECT{0, 0, 14, 14}, RECT{0, 0, 14, 14},
                           RECT{0, 0, 14, 14}, kNoCorners, false, 128);
    const DWORD rgb = surface.Rgb(7, 7);
    EXPECT_NEAR(Red(rgb), 0x1A * 128 / 255, 2);
    EXPECT_NEAR(Blue(rgb), 0xA9 * 128 / 255, 2);
}

// ---- fills, strokes, clips -------------------------------------------------------------

TEST(Fills, ColorByAlpha) {
    Surface surface(10, 10, 0xFF000000);
    CDrawEngine::FillColor(surface.dc(), RECT{0, 0, 5, 5}, 0xFF20A040);
    CDrawEngine::FillColor(surface.dc(), RECT{5, 0, 10, 5}, 0x80FFFFFF);
    CDrawEngine::FillColor(surface.dc(), RECT{0, 5, 10, 10}, 0x00FFFFFF);
    EXPECT_EQ(surface.Rgb(0, 0), 0x20A040u);
    EXPECT_EQ(surface.Rgb(4, 4), 0x20A040u);
    EXPECT_EQ(surface.Rgb(5, 0), surface.Rgb(9, 4));
    EXPECT_NEAR(Red(surface.Rgb(7, 2)), 128, 2);
    EXPECT_EQ(surface.Rgb(3, 7), 0x000000u);
}

TEST(Fills, GradientEnds) {
    Surface surface(100, 100, 0xFF000000);
    CDrawEngine::FillGradient(surface.dc(), RECT{0, 0, 100, 50}, 0xFFFF0000, 0xFF0000FF, true, 64);
    EXPECT_GT(Red(surface.Rgb(50, 0)), 240);
    EXPECT_GT(Blue(surface.Rgb(50, 49)), 240);
    EXPECT_NEAR(Red(surface.Rgb(50, 25)), 128, 12);
    CDrawEngine::FillGradient(surface.dc(), RECT{0, 50, 100, 100}, 0xFF00FF00, 0xFF000000, false, 64);
    EXPECT_GT(Green(surface.Rgb(0, 75)), 240);
    EXPECT_LT(Green(surface.Rgb(99, 75)), 12);
}

TEST(Fills, GradientAlphaIsTheMeanOfBoth) {
    Surface surface(10, 10, 0xFF000000);
    CDrawEngine::FillGradient(surface.dc(), RECT{0, 0, 10, 10}, 0x00FFFFFF, 0x00FFFFFF, true, 4);
    EXPECT_EQ(surface.Rgb(5, 5), 0x000000u);
    CDrawEngine::FillGradient(surface.dc(), RECT{0, 0, 10, 10}, 0xFFFFFFFF, 0x00FFFFFF, true, 4);
    EXPECT_NEAR(Red(surface.Rgb(5, 5)), 127, 3);
}

TEST(Strokes, RectangleInsideTheFrame) {
    Surface surface(20, 20);
    CDrawEngine::StrokeRect(surface.dc(), RECT{2, 2, 18, 18}, 2, 0xFFFF0000);
    EXPECT_EQ(surface.Rgb(2, 2), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(3, 10), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(17, 17), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(4, 10), 0xFFFFFFu);  // no brush
    EXPECT_EQ(surface.Rgb(18, 18), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(1, 1), 0xFFFFFFu);
}

TEST(Strokes, LineFromTopLeftToBottomRight) {
    Surface surface(20, 20);
    CDrawEngine::StrokeLine(surface.dc(), RECT{0, 5, 20, 5}, 1, 0xFF0000FF);
    EXPECT_EQ(surface.Rgb(10, 5), 0x0000FFu);
    EXPECT_EQ(surface.Rgb(10, 6), 0xFFFFFFu);
}

TEST(Clips, ClipCutsAndRestores) {
    Surface surface(20, 20, 0xFF000000);
    {
        CRenderClip clip;
        CDrawEngine::ClipToRect(surface.dc(), RECT{5, 5, 10, 10}, clip);
        CDrawEngine::FillColor(surface.dc(), RECT{0, 0, 20, 20}, 0xFFFFFFFF);
        {
            CRenderClip inner;  // intersected with the current clip
            CDrawEngine::ClipToRect(surface.dc(), RECT{8, 0, 20, 20}, inner);
            CDrawEngine::FillColor(surface.dc(), RECT{0, 0, 20, 20}, 0xFFFF0000);
        }
        CDrawEngine::FillColor(surface.dc(), RECT{0, 0, 20, 6}, 0xFF00FF00);
    }
    EXPECT_EQ(surface.Rgb(4, 4), 0x000000u);
    EXPECT_EQ(surface.Rgb(6, 7), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(9, 9), 0xFF0000u);
    EXPECT_EQ(surface.Rgb(12, 9), 0x000000u);
    EXPECT_EQ(surface.Rgb(6, 5), 0x00FF00u);  // the outer clip came back after the inner one
    EXPECT_EQ(surface.Rgb(12, 5), 0x000000u);
    CDrawEngine::FillColor(surface.dc(), RECT{0, 0, 20, 20}, 0xFF0000FF);
    EXPECT_EQ(surface.Rgb(0, 0), 0x0000FFu);  // no clip left behind
}

TEST(Clips, FollowAMovedOrigin) {
    Surface surface(20, 20, 0xFF000000);
    SetWindowOrgEx(surface.dc(), 100, 100, nullptr);
    {
        CRenderClip clip;
        CDrawEngine::ClipToRect(surface.dc(), RECT{105, 105, 110, 110}, clip);
        CDrawEngine::FillColor(surface.dc(), RECT{100, 100, 120, 120}, 0xFFFFFFFF);
    }
    SetWindowOrgEx(surface.dc(), 0, 0, nullptr);
    EXPECT_EQ(surface.Rgb(4, 4), 0x000000u);
    EXPECT_EQ(surface.Rgb(5, 5), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(9, 9), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(10, 10), 0x000000u);
}

TEST(Clips, RoundedCornersAreCut) {
    Surface surface(20, 20, 0xFF000000);
    CRenderClip clip;
    CDrawEngine::ClipToRoundRect(surface.dc(), RECT{0, 0, 20, 20}, RECT{0, 0, 20, 20}, 10, 10, clip);
    CDrawEngine::FillColor(surface.dc(), RECT{0, 0, 20, 20}, 0xFFFFFFFF);
    EXPECT_EQ(surface.Rgb(0, 0), 0x000000u);
    EXPECT_EQ(surface.Rgb(10, 10), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(10, 0), 0xFFFFFFu);
}

// ---- with a window manager: images by name, text --------------------------------------

class DrawWithManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetResourceFolder(TestDataPath(L"draw")); }

    CWindowManagerUI manager;
};

TEST_F(DrawWithManager, SkinCheckBoxImageSitsAtItsDestination) {
    Surface surface(60, 40);
    DrawInfo info(L"file='checked.png' dest='0,8,14,22'");
    const RECT control{10, 5, 60, 35};
    ASSERT_TRUE(CDrawEngine::PaintImage(surface.dc(), &manager, control, RECT{0, 0, 60, 40}, info));
    EXPECT_EQ(surface.Rgb(10, 13), 0x1A57A9u);
    EXPECT_EQ(surface.Rgb(23, 26), 0x1A57A9u);
    EXPECT_EQ(surface.Rgb(24, 13), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(10, 12), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(10, 27), 0xFFFFFFu);
    EXPECT_EQ(info.source.right, 14);
    EXPECT_EQ(info.source.bottom, 14);
}

TEST_F(DrawWithManager, DestinationIsCutAtTheControlsEdges) {
    Surface surface(40, 40);
    DrawInfo info(L"file='checked.png' dest='4,4,30,30'");
    ASSERT_TRUE(CDrawEngine::PaintImage(surface.dc(), &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 40, 40}, info));
    EXPECT_EQ(surface.Rgb(9, 9), 0x1A57A9u);
    EXPECT_EQ(surface.Rgb(10, 9), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(9, 10), 0xFFFFFFu);
}

TEST_F(DrawWithManager, PlainNameFillsTheControl) {
    Surface surface(30, 30);
    DrawInfo info(L"checked.png");
    ASSERT_TRUE(CDrawEngine::PaintImage(surface.dc(), &manager, RECT{0, 0, 28, 28}, RECT{0, 0, 30, 30}, info));
    EXPECT_EQ(surface.Rgb(27, 27), 0x1A57A9u);
    EXPECT_EQ(surface.Rgb(28, 28), 0xFFFFFFu);
}

TEST_F(DrawWithManager, FailedStringIsNotParsedAgain) {
    DrawInfo info(L"file='missing.png'");
    EXPECT_FALSE(CDrawEngine::PaintImage(nullptr, &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, info));
    EXPECT_TRUE(info.parsed);
    info.imageName = L"checked.png";  // would load if the string were read again
    EXPECT_FALSE(CDrawEngine::PaintImage(nullptr, &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, info));
    EXPECT_EQ(info.image, nullptr);
    DrawInfo empty;
    EXPECT_FALSE(CDrawEngine::PaintImage(nullptr, &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, empty));
}

TEST_F(DrawWithManager, ImagesAreSharedByName) {
    DrawInfo first(L"checked.png"), second(L"file='checked.png' fade='100'");
    ASSERT_TRUE(CDrawEngine::PaintImage(nullptr, &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, first));
    ASSERT_TRUE(CDrawEngine::PaintImage(nullptr, &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, second));
    EXPECT_EQ(first.image, second.image);
    EXPECT_EQ(second.fade, 100);
}

TEST_F(DrawWithManager, ResourceImageThroughTheAttributeString) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    Surface surface(20, 20);
    DrawInfo info(L"res='SKINCHECK' restype='PNG' dest='2,2,16,16'");
    ASSERT_TRUE(CDrawEngine::PaintImage(surface.dc(), &manager, RECT{0, 0, 20, 20}, RECT{0, 0, 20, 20}, info));
    EXPECT_EQ(surface.Rgb(2, 2), 0x1A57A9u);
    EXPECT_EQ(surface.Rgb(1, 1), 0xFFFFFFu);
    // Without "res" the type is not used: the name is looked up as a file, and there is none.
    DrawInfo file(L"file='101' restype='PNG'");
    EXPECT_FALSE(CDrawEngine::PaintImage(surface.dc(), &manager, RECT{0, 0, 20, 20}, RECT{0, 0, 20, 20}, file));
}

TEST_F(DrawWithManager, ColourImageFillsWithItsColour) {
    Surface surface(10, 10);
    DrawInfo info(L"color='#FF20A040'");
    ASSERT_TRUE(CDrawEngine::PaintImage(surface.dc(), &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, info));
    EXPECT_EQ(surface.Rgb(5, 5), 0x20A040u);
}

// Text pixels are searched rather than compared: font rendering differs between hosts.
namespace {

bool IsBluish(DWORD rgb) { return Blue(rgb) > Red(rgb) + 60; }
bool IsGreyDark(DWORD rgb) {
    return Red(rgb) < 160 && std::abs(Red(rgb) - Blue(rgb)) < 8 && std::abs(Red(rgb) - Green(rgb)) < 8;
}

SIZE TextExtent(CWindowManagerUI& manager, HDC dc, const wchar_t* text) {
    HFONT font = manager.StandardFont();
    CSelectObject selected(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    return size;
}

}  // namespace

TEST_F(DrawWithManager, PlainTextReplacesLocalizedNumbers) {
    CWindowManagerUI::RegisterLocalizedText(7, L"Seven days");
    Surface surface(200, 40);
    RECT measured{0, 0, 200, 40};
    CDrawEngine::PaintPlainText(surface.dc(), &manager, measured, L"%{7}", 0xFF000000, -1,
                                DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(measured.right, TextExtent(manager, surface.dc(), L"Seven days").cx);
    RECT rect{0, 0, 200, 40};
    CDrawEngine::PaintPlainText(surface.dc(), &manager, rect, L"%{7}", 0xFF337BDD, -1, DT_SINGLELINE);
    EXPECT_GT(surface.Count(0, 0, 200, 40, IsBluish), 10);
}

TEST_F(DrawWithManager, ColourTagAppliesAndRestores) {
    Surface surface(300, 40);
    const int first = TextExtent(manager, surface.dc(), L"MMMM").cx;
    RECT rect{0, 0, 300, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{c #FF337BDD}MMMM{/c}{x 20}MMMM", 0xFF000000,
                                 nullptr, nullptr, links, -1, DT_SINGLELINE);
    EXPECT_GT(surface.Count(0, 0, first, 40, IsBluish), 10);
    EXPECT_EQ(surface.Count(first + 20, 0, 300, 40, IsBluish), 0);
    EXPECT_GT(surface.Count(first + 20, 0, 300, 40, IsGreyDark), 10);
}

TEST_F(DrawWithManager, UpperCaseOrLongTagLettersAreText) {
    Surface surface(400, 40);
    const wchar_t* texts[] = {L"{B}x{/B}", L"{bb}x", L"<U>y", L"{c}"};
    for (const wchar_t* text : texts) {
        RECT rect{0, 0, 400, 40};
        int links = 0;
        CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, text, 0xFF000000, nullptr, nullptr, links, -1,
                                     DT_SINGLELINE | DT_CALCRECT);
        if (text[1] == L'c') {
            EXPECT_EQ(rect.right, 0) << "a lower-case letter with } is a tag";
        } else {
            EXPECT_EQ(rect.right, TextExtent(manager, surface.dc(), text).cx) << ToUtf8(text);
        }
    }
}

TEST_F(DrawWithManager, TextEndingInABracketIsReadNoFurtherThanItsEnd) {
    // Each text ends against a page that faults on access.
    for (const wchar_t* text : {L"<", L"{", L"a<", L"a{", L"a</", L"a{/", L"{c", L"<c", L"{r}x{", L"{r}x<"}) {
        Surface surface(300, 40);
        GuardedBlock guarded{std::wstring(text)};
        RECT rect{0, 0, 300, 40};
        int links = 0;
        CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, guarded.Text(), 0xFF000000, nullptr, nullptr,
                                     links, -1, DT_SINGLELINE);
    }
}

TEST_F(DrawWithManager, EscapedBracketsAreLiteral) {
    Surface surface(400, 40);
    RECT rect{0, 0, 400, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"<{>b<}>{<}x{>}", 0xFF000000, nullptr, nullptr,
                                 links, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(rect.right, TextExtent(manager, surface.dc(), L"{b}<x>").cx);
}

TEST_F(DrawWithManager, LinkRectangleTargetAndColour) {
    Surface surface(300, 40);
    RECT rect{10, 0, 300, 40};
    RECT linkRects[2] = {};
    CUiString targets[2];
    int links = 2;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"ab{a https://example.test/terms}Terms{/a} cd",
                                 0xFF000000, linkRects, targets, links, -1, DT_SINGLELINE);
    ASSERT_EQ(links, 1);
    EXPECT_STREQ(targets[0].GetData(), L"https://example.test/terms");
    const int lead = TextExtent(manager, surface.dc(), L"ab").cx;
    EXPECT_EQ(linkRects[0].left, 10 + lead);
    EXPECT_EQ(linkRects[0].right - linkRects[0].left, TextExtent(manager, surface.dc(), L"Terms").cx);
    EXPECT_GT(linkRects[0].bottom, linkRects[0].top);
    // The manager's link colour is blue; the text around it stays black.
    EXPECT_GT(surface.Count(linkRects[0].left, linkRects[0].top, linkRects[0].right, linkRects[0].bottom, IsBluish),
              10);
    EXPECT_EQ(surface.Count(10, 0, linkRects[0].left, 40, IsBluish), 0);
    EXPECT_EQ(surface.Count(linkRects[0].right + 1, 0, 300, 40, IsBluish), 0);
}

TEST_F(DrawWithManager, RightToLeftReadingPutsTheFirstPieceAtTheRightEnd) {
    Surface surface(300, 40);
    RECT rect{10, 0, 300, 40};
    RECT linkRects[2] = {};
    CUiString targets[2];
    int links = 2;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{a first}ab{/a} cd", 0xFF000000, linkRects, targets,
                                 links, -1, DT_SINGLELINE | DT_RTLREADING);
    ASSERT_EQ(links, 1);
    const int whole = TextExtent(manager, surface.dc(), L"ab cd").cx;
    const int first = TextExtent(manager, surface.dc(), L"ab").cx;
    // Left-aligned as a block, read from the right: "ab" ends where the line ends.
    EXPECT_EQ(linkRects[0].right, 10 + whole);
    EXPECT_EQ(linkRects[0].left, 10 + whole - first);
}

TEST_F(DrawWithManager, LinksBeyondTheCapacityAreNotStored) {
    Surface surface(300, 40);
    RECT rect{0, 0, 300, 40};
    RECT linkRects[1] = {};
    CUiString targets[1];
    int links = 1;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{a one}1{/a} {a two}2{/a}", 0xFF000000, linkRects,
                                 targets, links, -1, DT_SINGLELINE);
    EXPECT_EQ(links, 1);
    EXPECT_STREQ(targets[0].GetData(), L"one");
}

TEST_F(DrawWithManager, FontVariantsGetNumbersFrom30000) {
    Surface surface(300, 40);
    RECT rect{0, 0, 300, 40};
    int links = 0;
    const FontRecord* standard = manager.StandardFontRecord();
    ASSERT_NE(standard, nullptr);
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{b}bold{/b} {i}italic{/i}", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_SINGLELINE);
    const int bold = manager.FontIdMatching(standard->face, standard->size, true, standard->underline,
                                            standard->italic);
    const int italic = manager.FontIdMatching(standard->face, standard->size, standard->bold, standard->underline,
                                              true);
    EXPECT_GE(bold, CDrawEngine::kFirstVariantFontId);
    EXPECT_GE(italic, CDrawEngine::kFirstVariantFontId);
    EXPECT_NE(bold, italic);
    // The variant is found again instead of registered twice.
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{b}again{/b}", 0xFF000000, nullptr, nullptr, links,
                                 -1, DT_SINGLELINE);
    EXPECT_EQ(manager.FontIdMatching(standard->face, standard->size, true, standard->underline, standard->italic),
              bold);
}

TEST_F(DrawWithManager, CalculateModeMeasuresLinesAndBreaks) {
    Surface surface(400, 200);
    const SIZE line = TextExtent(manager, surface.dc(), L"aaa bbb");
    RECT rect{0, 0, line.cx + 3, 200};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"aaa bbb ccc", 0xFF000000, nullptr, nullptr, links,
                                 -1, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(rect.bottom, 2 * line.cy);
    EXPECT_EQ(rect.right, line.cx);  // the blank at the break is not part of the line

    RECT breaks{0, 0, 400, 200};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, breaks, L"one{n}two\nthree", 0xFF000000, nullptr, nullptr,
                                 links, -1, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(breaks.bottom, 3 * line.cy);
    RECT single{0, 0, 400, 200};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, single, L"one{n}two\nthree", 0xFF000000, nullptr, nullptr,
                                 links, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(single.bottom, line.cy);
    EXPECT_EQ(single.right, TextExtent(manager, surface.dc(), L"onetwothree").cx);

    RECT spaced{0, 0, 400, 200};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, spaced, L"{p 5}one{/p}{y 30}two", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(spaced.bottom, line.cy + 5 + 30);
}

TEST_F(DrawWithManager, MeasuringNeedsNoDeviceContext) {
    Surface surface(400, 40);
    const SIZE text = TextExtent(manager, surface.dc(), L"Measure me");
    RECT markup{0, 0, 400, 40}, plain{0, 0, 400, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(nullptr, &manager, markup, L"Measure me", 0xFF000000, nullptr, nullptr, links, -1,
                                 DT_SINGLELINE | DT_CALCRECT);
    CDrawEngine::PaintPlainText(nullptr, &manager, plain, L"Measure me", 0xFF000000, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(markup.right, text.cx);
    EXPECT_EQ(markup.bottom, text.cy);
    EXPECT_EQ(plain.right, text.cx);
}

TEST_F(DrawWithManager, WithoutAManagerTheStringWaits) {
    DrawInfo info(L"checked.png");
    EXPECT_FALSE(CDrawEngine::PaintImage(nullptr, nullptr, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, info));
    EXPECT_FALSE(info.parsed);
    EXPECT_TRUE(CDrawEngine::PaintImage(nullptr, &manager, RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, info));
}

TEST_F(DrawWithManager, EndEllipsisCutsWhatDoesNotFit) {
    Surface surface(400, 40);
    const int wide = TextExtent(manager, surface.dc(), L"abcdefghijklmnopqrstuvwxyz").cx;
    RECT rect{0, 0, wide / 2, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"abcdefghijklmnopqrstuvwxyz", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
    EXPECT_LE(rect.right, wide / 2);
    EXPECT_GT(rect.right, wide / 4);
    RECT plain{0, 0, wide / 2, 40};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, plain, L"abcdefghijklmnopqrstuvwxyz", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(plain.right, wide);
}

TEST_F(DrawWithManager, WordBreakMovesAWordThatDoesNotFit) {
    Surface surface(400, 200);
    const SIZE first = TextExtent(manager, surface.dc(), L"first");
    const SIZE word = TextExtent(manager, surface.dc(), L"unbreakable");
    RECT rect{0, 0, std::max(first.cx, word.cx) + 2, 200};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"first {b}{/b}unbreakable", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(rect.bottom, 2 * first.cy);
    // A word longer than the line is cut at the edge rather than lost.
    RECT narrow{0, 0, word.cx / 2, 200};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, narrow, L"unbreakable", 0xFF000000, nullptr, nullptr, links,
                                 -1, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_GE(narrow.bottom, 2 * word.cy);
    EXPECT_LE(narrow.right, word.cx / 2);
}

TEST_F(DrawWithManager, AlignmentAndClipping) {
    Surface surface(200, 60);
    const SIZE text = TextExtent(manager, surface.dc(), L"MMMM");
    int links = 0;
    RECT right{0, 0, 200, 60};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, right, L"MMMM", 0xFF000000, nullptr, nullptr, links, -1,
                                 DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
    EXPECT_EQ(surface.Count(0, 0, 200 - text.cx - 1, 60, IsGreyDark), 0);
    EXPECT_EQ(surface.Count(0, 0, 200, 60 - text.cy - 1, IsGreyDark), 0);
    EXPECT_GT(surface.Count(200 - text.cx, 60 - text.cy, 200, 60, IsGreyDark), 10);

    surface.Fill(0xFFFFFFFF);
    RECT centred{0, 0, 200, 60};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, centred, L"MMMM", 0xFF000000, nullptr, nullptr, links, -1,
                                 DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    const int left = (200 - text.cx) / 2, top = (60 - text.cy) / 2;
    EXPECT_EQ(surface.Count(0, 0, left - 1, 60, IsGreyDark), 0);
    EXPECT_EQ(surface.Count(left + text.cx + 1, 0, 200, 60, IsGreyDark), 0);
    EXPECT_GT(surface.Count(left, top, left + text.cx, top + text.cy, IsGreyDark), 10);

    surface.Fill(0xFFFFFFFF);
    RECT clipped{0, 0, text.cx / 2, 60};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, clipped, L"MMMM", 0xFF000000, nullptr, nullptr, links, -1,
                                 DT_SINGLELINE);
    EXPECT_EQ(surface.Count(text.cx / 2, 0, 200, 60, IsGreyDark), 0);
    EXPECT_GT(surface.Count(0, 0, text.cx / 2, 60, IsGreyDark), 5);
}

TEST_F(DrawWithManager, InlineImageColumn) {
    Surface surface(100, 40);
    RECT rect{0, 0, 100, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{i columns.png 2 1}", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_SINGLELINE);
    // The second of two columns (blue) at the left, bottom-aligned in the line.
    EXPECT_EQ(surface.Rgb(0, 1), 0x0000FFu);
    EXPECT_EQ(surface.Rgb(1, 1), 0x0000FFu);
    EXPECT_EQ(surface.Rgb(2, 1), 0xFFFFFFu);
    RECT outOfRange{0, 10, 100, 40};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, outOfRange, L"{i file='columns.png' 2 5}", 0xFF000000,
                                 nullptr, nullptr, links, -1, DT_SINGLELINE);
    EXPECT_EQ(surface.Rgb(0, 11), 0x00FF00u);
}

TEST_F(DrawWithManager, InlineImagesFollowTheVerticalAlignment) {
    Surface surface(100, 40);
    const int line = TextExtent(manager, surface.dc(), L"M").cy;
    ASSERT_GT(line, 4);
    int links = 0;
    RECT top{0, 0, 100, 40};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, top, L"{v top}{i columns.png 2 0}{/v}M", 0xFF000000,
                                 nullptr, nullptr, links, -1, 0);
    EXPECT_EQ(surface.Rgb(0, 0), 0x00FF00u);
    surface.Fill(0xFFFFFFFF);
    RECT bottom{0, 0, 100, 40};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, bottom, L"{i columns.png 2 0}M", 0xFF000000, nullptr,
                                 nullptr, links, -1, 0);
    EXPECT_EQ(surface.Rgb(0, 0), 0xFFFFFFu);
    EXPECT_EQ(surface.Rgb(0, line - 1), 0x00FF00u);
    surface.Fill(0xFFFFFFFF);
    RECT centre{0, 0, 100, 40};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, centre, L"{v center}{i columns.png 2 0}{/v}M", 0xFF000000,
                                 nullptr, nullptr, links, -1, 0);
    EXPECT_EQ(surface.Rgb(0, (line - 2) / 2), 0x00FF00u);
    EXPECT_EQ(surface.Rgb(0, line - 1), 0xFFFFFFu);
}

TEST_F(DrawWithManager, FontByFaceSizeAndStyle) {
    Surface surface(400, 80);
    int links = 0;
    RECT big{0, 0, 400, 80};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, big, L"{f Tahoma 30 bold}X{/f}", 0xFF000000, nullptr,
                                 nullptr, links, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_GT(big.bottom, TextExtent(manager, surface.dc(), L"X").cy + 10);
    const int id = manager.FontIdMatching(L"Tahoma", 30, true, false, false);
    EXPECT_GE(id, CDrawEngine::kFirstVariantFontId);
    RECT byId{0, 0, 400, 80};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, byId, (L"{f " + std::to_wstring(id) + L"}X{/f}").c_str(),
                                 0xFF000000, nullptr, nullptr, links, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(byId.bottom, big.bottom);
    EXPECT_EQ(byId.right, big.right);
}

TEST_F(DrawWithManager, RawTextIsDrawnAsWritten) {
    Surface surface(400, 40);
    int links = 0;
    RECT rect{0, 0, 400, 40};
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{r}{b}x{/b}{/r}", 0xFF000000, nullptr, nullptr,
                                 links, -1, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(rect.right, TextExtent(manager, surface.dc(), L"{b}x{/b}").cx);
}

TEST_F(DrawWithManager, SelectedTextHasAnOpaqueBackground) {
    Surface surface(200, 40);
    RECT rect{0, 0, 200, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(surface.dc(), &manager, rect, L"{s}MMMM{/s}", 0xFF000000, nullptr, nullptr, links,
                                 -1, DT_SINGLELINE);
    const DWORD selected = manager.DefaultSelectedBackColor() & 0xFFFFFF;
    EXPECT_GT(surface.Count(0, 0, 200, 40, [&](DWORD rgb) { return rgb == selected; }), 20);
}

// ---- with a real window: the hovered link and the rendered tree --------------------------

class DrawInWindow : public ::testing::Test {
protected:
    void SetUp() override {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        ASSERT_NE(host.Create(200, 100), nullptr);
        VeneerTest::Pump();
        root = new VeneerTest::TestContainer;
        root->fill = RGB(255, 0, 0);
        child = root->Add(new VeneerTest::RecordingControl, RECT{50, 0, 100, 50});
        child->fill = RGB(0, 0, 255);
        ASSERT_TRUE(host.manager.AttachRoot(root));
        InvalidateRect(host.GetHWND(), nullptr, FALSE);
        UpdateWindow(host.GetHWND());
    }

    VeneerTest::HostWindow host;
    VeneerTest::TestContainer* root = nullptr;
    VeneerTest::RecordingControl* child = nullptr;
};

TEST_F(DrawInWindow, HoveredLinkTakesTheHoverColour) {
    Surface surface(200, 40);
    RECT rect{0, 0, 200, 40};
    RECT linkRects[1] = {};
    CUiString targets[1];
    int links = 1;
    CDrawEngine::PaintMarkupText(surface.dc(), &host.manager, rect, L"{a x}Terms{/a}", 0xFF000000, linkRects, targets,
                                 links, -1, DT_SINGLELINE);
    ASSERT_EQ(links, 1);
    const RECT link = linkRects[0];
    auto isReddish = [](DWORD rgb) { return Red(rgb) > Blue(rgb) + 60; };
    EXPECT_EQ(surface.Count(link.left, link.top, link.right, link.bottom, isReddish), 0);

    SendMessageW(host.GetHWND(), WM_MOUSEMOVE, 0, VeneerTest::At((link.left + link.right) / 2, (link.top + link.bottom) / 2));
    surface.Fill(0xFFFFFFFF);
    CDrawEngine::PaintMarkupText(surface.dc(), &host.manager, rect, L"{a x}Terms{/a}", 0xFF000000, linkRects, targets,
                                 links, -1, DT_SINGLELINE);
    EXPECT_GT(surface.Count(link.left, link.top, link.right, link.bottom, isReddish), 10);
    EXPECT_EQ(surface.Count(link.left, link.top, link.right, link.bottom, IsBluish), 0);
}

TEST_F(DrawInWindow, RenderToBitmapPaintsTheTreeUnderTheRectangle) {
    HBITMAP bitmap = CDrawEngine::RenderToBitmap(&host.manager, RECT{40, 10, 110, 60}, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    UniqueGdiObject<HBITMAP> owned(bitmap);
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, 70);
    EXPECT_EQ(info.bmHeight, 50);
    UniqueDeviceContext dc(CreateCompatibleDC(nullptr));
    CSelectObject selected(dc.Get(), bitmap);
    EXPECT_EQ(GetPixel(dc.Get(), 0, 0), RGB(255, 0, 0));    // the root at (40, 10)
    EXPECT_EQ(GetPixel(dc.Get(), 10, 0), RGB(0, 0, 255));   // the child from x 50
    EXPECT_EQ(GetPixel(dc.Get(), 59, 39), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc.Get(), 60, 0), RGB(255, 0, 0));   // x 100: the root again
    EXPECT_EQ(GetPixel(dc.Get(), 10, 40), RGB(255, 0, 0));  // y 50: below the child
}

TEST_F(DrawInWindow, RenderToBitmapFillsTheBackgroundFirst) {
    root->fill = CLR_INVALID;
    child->fill = CLR_INVALID;
    HBITMAP bitmap = CDrawEngine::RenderToBitmap(&host.manager, RECT{0, 0, 20, 20}, nullptr, 0xFF00FF00);
    ASSERT_NE(bitmap, nullptr);
    UniqueGdiObject<HBITMAP> owned(bitmap);
    UniqueDeviceContext dc(CreateCompatibleDC(nullptr));
    CSelectObject selected(dc.Get(), bitmap);
    EXPECT_EQ(GetPixel(dc.Get(), 5, 5), RGB(0, 255, 0));
}
