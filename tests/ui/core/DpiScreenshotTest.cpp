// Screenshots of the shipped skin's window states at 96, 144 and 192 DPI: the Wine
// prefix's LogPixels is set to each density in turn and the preview program draws
// every state as the installer shows it (home, unfolded with the red tip, banner with
// progress, finished; left to right and right to left). The pictures and the places
// of the controls are checked against the 96-DPI ones: every control at its place
// times the scale, text drawn at the scaled size, opaque image pixels the denser
// variant's own (no 1x picture stretched). In high contrast (Windows' Black and White
// schemes, at 96 and 192 DPI) every text stands out from its background by at least
// 7:1, the decorative pictures are gone and the focus rectangle shows.
//
// The pictures stay in build/<preset>/skin-screenshots/dpi-<N>. The test runs alone
// (LogPixels belongs to the whole prefix) on a display large enough for 192 DPI, and
// puts LogPixels back to 96 when it ends.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "Screenshots.h"
#include "TestSupport.h"
#include "ui/core/DpiScale.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

const int kDensities[] = {96, 144, 192};

struct Placed {
    bool visible = false;
    RECT rect = {};
};

struct Shot {
    int dpi = 0;  // as the preview program saw it
    Picture picture;
    std::map<std::string, Placed> controls;
};

struct State {
    const char* name;
    const wchar_t* arguments;
    bool rightToLeft;
};

// High contrast: the preview draws with Windows' High Contrast Black or White colours.
const State kHighContrastStates[] = {
    {"home-hc-black", L"--high-contrast black", false},
    {"unfolded-hc-white", L"--high-contrast white --attr chk_fold:selected=true "
                          L"--attr \"label_tip:text=The installation path is invalid.\" --attr label_tip:visible=true",
     false},
    {"banner-hc-black", L"--high-contrast black --attr switch:selectedid=1 --attr progress_download:value=45 "
                        L"--attr label_progress:text=45%", false},
    {"home-rtl-hc-white", L"--file skin_rtl.xml --high-contrast white --attr btn_install:enabled=false", true},
};

std::wstring Banner(const wchar_t* language) {
    return L" --attr \"banner:bkimage=" + TestDataPath(L"..\\..\\product\\") + language + L"\\pr_1.png\"";
}

const State kStates[] = {
    {"home-ltr", L"", false},
    {"unfolded-ltr", L"--attr chk_fold:selected=true --attr \"label_tip:text=The installation path is invalid.\" "
                     L"--attr label_tip:visible=true", false},
    {"banner-ltr", L"--attr switch:selectedid=1 --attr progress_download:value=45 --attr label_progress:text=45%",
     false},
    {"finished-ltr", L"--attr btn_install:visible=false --attr btn_start:visible=true --attr lineLayout:visible=false "
                     L"--attr customLayout:visible=false", false},
    {"home-rtl", L"--file skin_rtl.xml", true},
    {"banner-rtl", L"--file skin_rtl.xml --attr switch:selectedid=1 --attr progress_download:value=55 "
                   L"--attr label_progress:text=45%", true},
};

bool ReadLayout(const std::wstring& path, Shot& shot) {
    FILE* file = _wfopen(path.c_str(), L"r");
    if (file == nullptr) return false;
    char name[128];
    int visible = 0;
    long left, top, right, bottom;
    if (fscanf(file, "dpi %d\n", &shot.dpi) != 1) shot.dpi = 0;
    while (fscanf(file, "%127s %d %ld %ld %ld %ld\n", name, &visible, &left, &top, &right, &bottom) == 6) {
        shot.controls[name] = Placed{visible != 0, RECT{left, top, right, bottom}};
    }
    fclose(file);
    return shot.dpi != 0;
}

class DpiScreenshotTest : public ::testing::Test {
protected:
    // All pictures first, so that the prefix's density changes three times only.
    static void SetUpTestSuite() {
        for (int dpi : kDensities) {
            PrefixDpi density(dpi);
            std::wstring folder = BuildPath(L"skin-screenshots");
            CreateDirectoryW(folder.c_str(), nullptr);
            folder += L"\\dpi-" + std::to_wstring(dpi);
            CreateDirectoryW(folder.c_str(), nullptr);
            for (const State& state : kStates) Take(dpi, state, folder);
            if (dpi == 144) continue;
            for (const State& state : kHighContrastStates) Take(dpi, state, folder);
        }
    }
    static void Take(int dpi, const State& state, const std::wstring& folder) {
        std::wstring base = folder + L"\\" + ToWide(state.name);
        DeleteFileW((base + L".png").c_str());
        std::wstring arguments = L"\"" + BuildPath(L"product\\skin.zip") + L"\" " + state.arguments;
        if (std::string(state.name).rfind("banner", 0) == 0) {
            arguments += Banner(state.rightToLeft ? L"Arabic" : L"English");
        }
        arguments += L" --screenshot \"" + base + L".png\" --layout \"" + base + L".txt\"";
        int code = RunAndWait(BuildPath(L"tools\\skinpreview\\skinpreview.exe"), arguments, 60000);
        Shot& shot = Shots()[Key(dpi, state.name)];
        EXPECT_EQ(code, 0) << state.name << " at " << dpi;
        EXPECT_TRUE(LoadPicture(base + L".png", shot.picture)) << state.name << " at " << dpi;
        EXPECT_TRUE(ReadLayout(base + L".txt", shot)) << state.name << " at " << dpi;
    }
    static std::string Key(int dpi, const char* state) { return std::to_string(dpi) + "/" + state; }
    static std::map<std::string, Shot>& Shots() {
        static std::map<std::string, Shot> shots;
        return shots;
    }
    static const Shot& At(int dpi, const char* state) { return Shots()[Key(dpi, state)]; }
};

TEST_F(DpiScreenshotTest, ThePreviewSeesThePrefixDensityAndTheWindowGrowsWithIt) {
    for (int dpi : kDensities) {
        CDpiScale scale(dpi);
        for (const State& state : kStates) {
            const Shot& shot = At(dpi, state.name);
            EXPECT_EQ(shot.dpi, dpi) << state.name;
            int height = scale.Length(360);
            if (std::string(state.name).rfind("unfolded", 0) == 0) height += scale.Length(75);
            EXPECT_EQ(shot.picture.width, scale.Length(650)) << state.name << " at " << dpi;
            EXPECT_EQ(shot.picture.height, height) << state.name << " at " << dpi;
        }
    }
}

TEST_F(DpiScreenshotTest, EveryControlSitsAtItsPlaceTimesTheScale) {
    for (int dpi : {144, 192}) {
        CDpiScale scale(dpi);
        for (const State& state : kStates) {
            const Shot& reference = At(96, state.name);
            const Shot& scaled = At(dpi, state.name);
            int visible = 0;
            for (const auto& entry : reference.controls) {
                auto twin = scaled.controls.find(entry.first);
                ASSERT_NE(twin, scaled.controls.end()) << entry.first;
                EXPECT_EQ(twin->second.visible, entry.second.visible) << state.name << " " << entry.first;
                if (!entry.second.visible) continue;
                ++visible;
                RECT expected = scale.Rect(entry.second.rect);
                const RECT& actual = twin->second.rect;
                EXPECT_TRUE(std::abs(actual.left - expected.left) <= 2 && std::abs(actual.top - expected.top) <= 2 &&
                            std::abs(actual.right - expected.right) <= 2 &&
                            std::abs(actual.bottom - expected.bottom) <= 2)
                    << state.name << " at " << dpi << ": " << entry.first << " at " << actual.left << ","
                    << actual.top << "," << actual.right << "," << actual.bottom << ", expected " << expected.left
                    << "," << expected.top << "," << expected.right << "," << expected.bottom;
            }
            EXPECT_GE(visible, 8) << state.name;
        }
    }
}

// The box around the pixels inside rect for which ink(pixel) holds.
struct InkBox {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    int Width() const { return right < left ? 0 : right - left + 1; }
    int Height() const { return bottom < top ? 0 : bottom - top + 1; }
};

template <typename Ink>
InkBox FindInk(const Picture& picture, RECT rect, Ink ink) {
    InkBox box;
    for (int y = std::max(0L, rect.top); y < std::min<long>(picture.height, rect.bottom); ++y) {
        for (int x = std::max(0L, rect.left); x < std::min<long>(picture.width, rect.right); ++x) {
            if (!ink(picture.At(x, y))) continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

enum Ink { kWhite, kDark, kRed };

bool IsInk(Ink ink, const unsigned char* pixel) {
    switch (ink) {
    case kWhite: return pixel[0] > 225 && pixel[1] > 225 && pixel[2] > 225;
    case kDark: return pixel[0] < 200 && pixel[1] < 200 && pixel[2] < 210;
    default: return pixel[0] > 170 && pixel[1] < 140 && pixel[2] < 140;
    }
}

TEST_F(DpiScreenshotTest, TextIsDrawnAtTheScaledSize) {
    struct Text {
        const char* state;
        const char* control;
        Ink ink;
        int padLeft, padRight;  // skin pixels kept clear of the caption (the check box's box)
    };
    const Text texts[] = {
        {"home-ltr", "btn_install", kWhite, 8, 8},       {"home-ltr", "chk_fold", kDark, 20, 0},
        {"home-ltr", "btn_lisence", kDark, 0, 0},        {"unfolded-ltr", "label_path", kDark, 0, 0},
        {"unfolded-ltr", "label_tip", kRed, 0, 0},       {"banner-ltr", "label_install", kDark, 0, 0},
        {"banner-ltr", "btn_hide", kDark, 6, 6},         {"finished-ltr", "btn_start", kWhite, 8, 8},
        {"home-rtl", "chk_fold", kDark, 0, 20},          {"banner-rtl", "label_install", kDark, 0, 0},
    };
    for (const Text& text : texts) {
        const Shot& reference = At(96, text.state);
        auto ink = [&text](const unsigned char* pixel) { return IsInk(text.ink, pixel); };
        auto area = [&text](const Shot& shot) {
            CDpiScale scale(shot.dpi);
            RECT rect = shot.controls.at(text.control).rect;
            // Buttons with images keep their rounded corners out of the search.
            int inset = text.ink == kWhite ? scale.Length(8) : 0;
            return RECT{rect.left + scale.Length(text.padLeft) + inset, rect.top + inset,
                        rect.right - scale.Length(text.padRight) - inset, rect.bottom - inset};
        };
        InkBox base = FindInk(reference.picture, area(reference), ink);
        ASSERT_GT(base.Height(), 5) << text.state << " " << text.control << " has no text at 96 DPI";
        for (int dpi : {144, 192}) {
            const Shot& scaled = At(dpi, text.state);
            InkBox box = FindInk(scaled.picture, area(scaled), ink);
            double factor = dpi / 96.0;
            // Never smaller than the 96-DPI text times the scale (less the one pixel of
            // anti-aliasing that small text spreads over); not much larger either.
            EXPECT_GE(box.Height(), (base.Height() - 1) * factor - 2) << text.state << " " << text.control << " at " << dpi;
            EXPECT_LE(box.Height(), base.Height() * factor * 1.15 + 2) << text.state << " " << text.control << " at " << dpi;
            EXPECT_GE(box.Width(), (base.Width() - 1) * factor * 0.95 - 2) << text.state << " " << text.control << " at " << dpi;
            EXPECT_LE(box.Width(), base.Width() * factor * 1.15 + 2) << text.state << " " << text.control << " at " << dpi;
        }
    }
}

// Where the logo is opaque the screenshot shows the logo picture for the density pixel
// for pixel: the window drew the denser variant, unstretched.
TEST_F(DpiScreenshotTest, ImagesAreTheVariantForTheDensityUnstretched) {
    const std::pair<int, const wchar_t*> logos[] = {
        {96, L"logo.png"}, {144, L"logo@1.5x.png"}, {192, L"logo@2x.png"}};
    for (const auto& logo : logos) {
        Picture image;
        ASSERT_TRUE(LoadPicture(TestDataPath(L"..\\..\\product\\skin\\img\\") + logo.second, image));
        const Shot& shot = At(logo.first, "home-ltr");
        const RECT& place = shot.controls.at("logo").rect;
        EXPECT_EQ(place.right - place.left, image.width);
        EXPECT_EQ(place.bottom - place.top, image.height);
        int opaque = 0, different = 0;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const unsigned char* expected = image.At(x, y);
                if (expected[3] != 255) continue;
                ++opaque;
                unsigned colour = (expected[0] << 16) | (expected[1] << 8) | expected[2];
                if (!Near(shot.picture.At(place.left + x, place.top + y), colour, 3)) ++different;
            }
        }
        EXPECT_GT(opaque, 1000) << logo.first;
        EXPECT_LE(different, opaque / 200) << different << " of " << opaque << " opaque logo pixels differ at "
                                           << logo.first << " DPI";
    }
}

// ---- high contrast ----------------------------------------------------------------

double Luminance(const unsigned char* pixel) {
    double channels[3];
    for (int i = 0; i < 3; ++i) {
        double c = pixel[i] / 255.0;
        channels[i] = c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return 0.2126 * channels[0] + 0.7152 * channels[1] + 0.0722 * channels[2];
}

// The background (the commonest colour) and the ink (the colour furthest from it in
// luminance) inside rect, and their contrast ratio.
struct Contrast {
    unsigned background = 0, ink = 0;
    int inkPixels = 0;
    double ratio = 1.0;
};

Contrast MeasureContrast(const Picture& picture, const RECT& rect) {
    std::map<unsigned, int> counts;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            const unsigned char* p = picture.At(x, y);
            ++counts[(p[0] << 16) | (p[1] << 8) | p[2]];
        }
    }
    Contrast contrast;
    int most = 0;
    for (const auto& entry : counts) {
        if (entry.second > most) {
            most = entry.second;
            contrast.background = entry.first;
        }
    }
    auto luminance = [](unsigned colour) {
        const unsigned char pixel[3] = {static_cast<unsigned char>(colour >> 16), static_cast<unsigned char>(colour >> 8),
                                        static_cast<unsigned char>(colour)};
        return Luminance(pixel);
    };
    double background = luminance(contrast.background);
    double furthest = -1;
    for (const auto& entry : counts) {
        double distance = std::abs(luminance(entry.first) - background);
        if (distance > furthest) {
            furthest = distance;
            contrast.ink = entry.first;
        }
    }
    contrast.inkPixels = counts[contrast.ink];
    double a = luminance(contrast.ink), b = background;
    contrast.ratio = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    return contrast;
}

TEST_F(DpiScreenshotTest, HighContrastTextStandsOutFromItsBackground) {
    struct Text {
        const char* state;
        const char* control;
    };
    const Text texts[] = {
        {"home-hc-black", "btn_install"},        {"home-hc-black", "btn_lisence"},
        {"home-hc-black", "chk_fold"},           {"unfolded-hc-white", "label_path"},
        {"unfolded-hc-white", "label_tip"},      {"unfolded-hc-white", "edit_path"},
        {"unfolded-hc-white", "btn_browse"},     {"unfolded-hc-white", "chk_agree"},
        {"banner-hc-black", "label_install"},    {"banner-hc-black", "label_progress"},
        {"banner-hc-black", "btn_hide"},         {"banner-hc-black", "progress_download"},
        {"home-rtl-hc-white", "btn_install"},    {"home-rtl-hc-white", "btn_lisence"},
    };
    for (int dpi : {96, 192}) {
        for (const Text& text : texts) {
            const Shot& shot = At(dpi, text.state);
            RECT rect = shot.controls.at(text.control).rect;
            // Inside the control's frame, where its words or marks are (a thin bar has
            // nothing but its frame and fill).
            int inset = strcmp(text.control, "progress_download") == 0 ? 0 : CDpiScale(dpi).Length(3);
            InflateRect(&rect, -inset, -inset);
            Contrast contrast = MeasureContrast(shot.picture, rect);
            EXPECT_GE(contrast.ratio, 7.0) << text.state << " " << text.control << " at " << dpi << ": ink "
                                           << std::hex << contrast.ink << " on " << contrast.background;
            EXPECT_GE(contrast.inkPixels, 8) << text.state << " " << text.control << " at " << dpi << " shows nothing";
        }
    }
}

TEST_F(DpiScreenshotTest, HighContrastDropsTheDecorationAndShowsTheFocus) {
    for (int dpi : {96, 192}) {
        const Shot& black = At(dpi, "home-hc-black");
        // The header's blue and its circles are gone: the window colour behind the logo.
        const RECT& header = black.controls.at("header").rect;
        const RECT& logo = black.controls.at("logo").rect;
        for (POINT point : {POINT{header.left + 20, header.top + 60}, POINT{header.right - 30, header.top + 60},
                            POINT{logo.left - 10, logo.top + 10}}) {
            EXPECT_TRUE(Near(black.picture.At(point.x, point.y), 0x000000, 0)) << point.x << "," << point.y << " at " << dpi;
        }
        // The window opens with the focus on its first tab stop, and high contrast shows it.
        const RECT& minimise = black.controls.at("minbtn").rect;
        int inset = CDpiScale(dpi).Length(1);
        int marks = 0;
        for (int x = minimise.left + inset + 2; x < minimise.right - inset - 2; ++x) {
            marks += !Near(black.picture.At(x, minimise.top + inset), 0x000000, 0);
        }
        EXPECT_GT(marks, 8) << "no focus rectangle at " << dpi;
        // The unavailable Install of the white scheme uses the unavailable colour.
        const Shot& white = At(dpi, "home-rtl-hc-white");
        RECT install = white.controls.at("btn_install").rect;
        InflateRect(&install, -CDpiScale(dpi).Length(3), -CDpiScale(dpi).Length(3));
        EXPECT_EQ(MeasureContrast(white.picture, install).ink, 0x600000u) << dpi;
    }
}

}  // namespace
