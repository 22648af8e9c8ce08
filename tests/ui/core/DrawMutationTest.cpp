// Deterministic mutation tests of the two small languages the draw engine reads, the
// brace-tag text markup and the image attribute string: 100,000 mutated copies of each,
// made from the seeds in tests/data/mutation. Every copy lies against a page that faults
// on access and is drawn (or measured) with a window manager's fonts and images; nothing
// may crash, hang or read past the copy's end. A crash or a hang writes the input into
// the build folder, ready to become a seed.

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestDoubles.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/UiString.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

constexpr int kMutations = 100000;
constexpr int kSurfaceWidth = 300;
constexpr int kSurfaceHeight = 80;
// The window manager starts afresh this often, so font variants and images do not pile up.
constexpr int kFreshManagerEvery = 2000;

std::vector<std::wstring> Seeds(const wchar_t* file) {
    std::vector<std::wstring> seeds;
    std::wstring all = ToWide(ReadFileBytes(TestDataPath(std::wstring(L"mutation\\") + file)));
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(L'\n', start);
        if (end == std::wstring::npos) end = all.size();
        if (end > start) seeds.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return seeds;
}

template <size_t N>
const wchar_t* Pick(const wchar_t* const (&list)[N], TestRandom& random) {
    return list[random.Below(N)];
}

const wchar_t* const kNumbers[] = {L"0", L"1", L"-1", L"2147483647", L"-2147483648", L"4294967295", L"99999", L"-99999"};

// Character edits shared by both languages; `alphabet` is the language's own characters.
void MutateCharacters(std::wstring& text, const std::vector<std::wstring>& seeds, const wchar_t* alphabet,
                      TestRandom& random) {
    const size_t at = random.Below(text.size() + 1);
    switch (random.Below(6)) {
    case 0:
        if (at < text.size()) text[at] = alphabet[random.Below(wcslen(alphabet))];
        break;
    case 1: text.erase(at, 1 + random.Below(16)); break;
    case 2:
        if (!text.empty()) text.insert(at, text.substr(random.Below(text.size()), 1 + random.Below(32)));
        break;
    case 3: text.resize(at); break;
    case 4: {
        // A number replaced by one at the edge of its type.
        size_t digit = text.find_first_of(L"0123456789", at);
        if (digit == std::wstring::npos) break;
        size_t end = text.find_first_not_of(L"0123456789", digit);
        text.replace(digit, (end == std::wstring::npos ? text.size() : end) - digit, Pick(kNumbers, random));
        break;
    }
    default: {
        const std::wstring& other = seeds[random.Below(seeds.size())];
        size_t from = random.Below(other.size());
        text.insert(at, other.substr(from, 1 + random.Below(48)));
        break;
    }
    }
}

// ---- brace-tag text ---------------------------------------------------------------------

const wchar_t* const kTags[] = {
    L"{b}", L"{/b}", L"{a x}", L"{a }", L"{/a}", L"{c #FF00FF00}", L"{c}", L"{/c}", L"{f 1}", L"{f 99999}",
    L"{f Segoe UI 999 bold}", L"{f Segoe UI -5 italic underline}", L"{/f}", L"{i checked.png 99999 -5}",
    L"{i file='columns.png' 0 99999}", L"{i res='101' restype='PNG' 2 1}", L"{i}", L"{/i}", L"{n}",
    L"{p 99999}", L"{p -99999}", L"{/p}", L"{r}", L"{/r}", L"{s}", L"{/s}", L"{u}", L"{/u}", L"{v center}",
    L"{v top}", L"{/v}", L"{x -99999}", L"{x 99999}", L"{y 99999}", L"{y -5}", L"<b>", L"</b>", L"<{>", L"{<}",
    L"{", L"<", L"}", L">", L"{/", L"</", L"%{", L"%{1", L"%{1}", L"\n", L"\r\n",
};

const UINT kStyles[] = {
    DT_SINGLELINE | DT_VCENTER,
    DT_WORDBREAK,
    DT_WORDBREAK | DT_END_ELLIPSIS,
    DT_SINGLELINE | DT_END_ELLIPSIS | DT_CENTER,
    DT_CALCRECT | DT_WORDBREAK,
    DT_CALCRECT | DT_SINGLELINE,
    DT_RIGHT | DT_BOTTOM | DT_WORDBREAK,
    DT_RTLREADING | DT_SINGLELINE | DT_RIGHT,
};

std::wstring MutateBraceText(const std::vector<std::wstring>& seeds, TestRandom& random) {
    std::wstring text = seeds[random.Below(seeds.size())];
    const size_t operations = 1 + random.Below(6);
    for (size_t n = 0; n < operations; ++n) {
        if (random.Below(3) == 0) {
            text.insert(random.Below(text.size() + 1), Pick(kTags, random));
        } else {
            MutateCharacters(text, seeds, L"{}<>/abcfinprsuvxy #'=0123456789%\n", random);
        }
    }
    return text;
}

// ---- image attribute strings --------------------------------------------------------------

const wchar_t* const kKeys[] = {L"file", L"res", L"restype", L"color", L"dest", L"source", L"corner", L"scale9",
                                L"mask", L"fade", L"hole", L"xtiled", L"ytiled", L"hsl", L"File", L"", L"x"};

const wchar_t* const kImageValues[] = {
    L"", L"checked.png", L"ninepatch.png", L"columns.png", L"missing.png", L"101", L"PNG", L"*COLOR*", L"#FF00FF00",
    L"#", L"#80FF0000", L"true", L"-5,-5,99999,99999", L"0,0,0,0", L"99999,0,0,99999", L"5,5,1,1", L"1,2",
    L"-2147483648,-2147483648,2147483647,2147483647", L"300", L"-1",
};

std::wstring MutateImageAttributes(const std::vector<std::wstring>& seeds, TestRandom& random) {
    std::wstring text = seeds[random.Below(seeds.size())];
    const size_t operations = 1 + random.Below(5);
    for (size_t n = 0; n < operations; ++n) {
        switch (random.Below(3)) {
        case 0: {
            std::wstring pair = std::wstring(Pick(kKeys, random)) + L"='" + Pick(kImageValues, random) + L"'";
            text.insert(random.Below(text.size() + 1), random.Below(2) ? L" " + pair : pair);
            break;
        }
        case 1: {
            // A value replaced.
            size_t open = text.find(L'\'', random.Below(text.size() + 1));
            size_t close = open == std::wstring::npos ? open : text.find(L'\'', open + 1);
            if (close == std::wstring::npos) break;
            text.replace(open + 1, close - open - 1, Pick(kImageValues, random));
            break;
        }
        default: MutateCharacters(text, seeds, L"' =,#-0123456789abcdefilnprstxy.\\/", random); break;
        }
    }
    return text;
}

// ---- the drawing ------------------------------------------------------------------------

// No single input takes a second; one that takes this long hangs.
constexpr DWORD kHangMs = 10000;

class DrawMutationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        CWindowManagerUI::SetResourceArchive(L"", false);
        CWindowManagerUI::SetResourceFolder(TestDataPath(L"draw"));
    }
    void SetUp() override {
        ASSERT_TRUE(noActivation.Installed());
        ASSERT_NE(host.Create(kSurfaceWidth, kSurfaceHeight, nullptr, WS_EX_NOACTIVATE), nullptr);
        ASSERT_NE(surface.Get(), nullptr);
        selected = std::make_unique<CSelectObject>(dc.Get(), surface.Get());
    }
    // The manager as a fresh window has it, with the skin's two fonts.
    void FreshManager() {
        host.manager.AttachWindow(host.GetHWND(), L"mutation");
        host.manager.RegisterFont(0, L"Segoe UI", 13, false, false, false);
        host.manager.RegisterFont(1, L"Segoe UI", 16, true, false, false);
    }

    NoActivation noActivation;  // the window never takes the focus from the tests beside this one
    HostWindow host;
    UniqueDeviceContext dc{CreateCompatibleDC(nullptr)};
    UniqueGdiObject<HBITMAP> surface{CDrawEngine::MakeArgbSection(nullptr, kSurfaceWidth, kSurfaceHeight, nullptr)};
    std::unique_ptr<CSelectObject> selected;
};

// Rectangles of every kind a control may have: ordinary, empty, inverted, far away.
RECT SomeRect(TestRandom& random) {
    switch (random.Below(5)) {
    case 0: return RECT{0, 0, 0, 0};
    case 1: return RECT{50, 50, 10, 10};
    case 2: return RECT{-100000, -100000, 100000, 100000};
    default: return RECT{static_cast<LONG>(random.Below(40)), static_cast<LONG>(random.Below(20)),
                         static_cast<LONG>(60 + random.Below(240)), static_cast<LONG>(20 + random.Below(60))};
    }
}

TEST_F(DrawMutationTest, MutatedBraceTagTextIsDrawnAndMeasured) {
    const std::vector<std::wstring> seeds = Seeds(L"brace-text.txt");
    ASSERT_FALSE(seeds.empty());
    TestRandom random(1);
    MutationInputWatch watch(kHangMs, BuildPath(L"brace-text-mutation-input.txt"));
    DWORD start = GetTickCount();
    for (int n = 0; n < kMutations; ++n) {
        if (n % kFreshManagerEvery == 0) FreshManager();
        std::wstring text = MutateBraceText(seeds, random);
        watch.Begin(ToUtf8(text));
        GuardedBlock guarded(text);
        RECT rect = SomeRect(random);
        RECT links[8];
        CUiString targets[8];
        int linkCount = static_cast<int>(random.Below(9));
        CDrawEngine::PaintMarkupText(dc.Get(), &host.manager, rect, guarded.Text(), 0xFF000000, links, targets,
                                     linkCount, static_cast<int>(random.Below(3)) - 1, kStyles[random.Below(std::size(kStyles))]);
        ASSERT_GE(linkCount, 0);
        ASSERT_LE(linkCount, 8);
    }
    printf("%d mutated brace-tag texts in %lu ms\n", kMutations, GetTickCount() - start);
}

TEST_F(DrawMutationTest, MutatedImageAttributeStringsAreReadAndDrawn) {
    const std::vector<std::wstring> seeds = Seeds(L"image-attributes.txt");
    ASSERT_FALSE(seeds.empty());
    TestRandom random(2);
    MutationInputWatch watch(kHangMs, BuildPath(L"image-attribute-mutation-input.txt"));
    int drawn = 0;
    DWORD start = GetTickCount();
    for (int n = 0; n < kMutations; ++n) {
        if (n % kFreshManagerEvery == 0) FreshManager();
        std::wstring text = MutateImageAttributes(seeds, random);
        watch.Begin(ToUtf8(text));
        GuardedBlock guarded(text);
        DrawInfo read;
        CDrawEngine::ParseImageAttributes(guarded.Text(), read, host.manager.Scale());
        DrawInfo drawing(text);
        // The control may lie anywhere; what is painted lies in the window, as a window's
        // paint area does.
        RECT rect = SomeRect(random);
        RECT paint = random.Below(2) ? rect : SomeRect(random);
        const RECT window = {0, 0, kSurfaceWidth, kSurfaceHeight};
        IntersectRect(&paint, &paint, &window);
        if (CDrawEngine::PaintImage(dc.Get(), &host.manager, rect, paint, drawing)) ++drawn;
    }
    printf("%d mutated image attribute strings, %d with an image, in %lu ms\n", kMutations, drawn,
           GetTickCount() - start);
    // The mutations keep many strings readable: the test reaches the drawing, not just the reader.
    EXPECT_GT(drawn, kMutations / 10);
}

}  // namespace
