// Deterministic mutation test of the installer's skin as shipped, in both directions:
// mutated copies of the skin, with its included pages merged in, are built, laid out
// and painted in a real window, and the mouse passes over them. Nothing may crash or
// hang, the markup's text lies against a page that faults on access, and every build
// stays within the builder's limits. A crash or a hang writes the input that caused it
// into the build folder, ready to become a regression file.
//
// Four shards, one ctest entry each (skin_mutation, skin_mutation_2 to _4, through
// GoogleTest's own sharding), so that they run beside each other and the other tests.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestDoubles.h"
#include "ui/control/Control.h"
#include "ui/core/SkinBuilder.h"
#include "ui/core/WindowManager.h"
#include "ui/core/XmlMarkup.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

// 100,000 mutated skins in all: two shards of 25,000 for each direction, each shard a
// ctest entry of its own that stays under a minute.
constexpr int kMutationsPerShard = 25000;
constexpr int kWidth = 650;
constexpr int kHeight = 360;

std::wstring SkinFolder() { return HostPathToWindows(VANTELO_SKIN_DIR); }

std::wstring ReadText(const std::wstring& path) { return ToWide(ReadFileBytes(path)); }

// The children of a document's root element, as written.
std::wstring RootContent(const std::wstring& text) {
    size_t open = text.find(L"<Window");
    size_t start = open == std::wstring::npos ? std::wstring::npos : text.find(L'>', open);
    size_t end = text.rfind(L"</Window>");
    if (start == std::wstring::npos || end == std::wstring::npos || end < start) return std::wstring();
    return text.substr(start + 1, end - start - 1);
}

// The skin file with each include replaced by the included page's content.
std::wstring MergedSkin(const wchar_t* file) {
    std::wstring text = ReadText(SkinFolder() + L"\\" + file);
    for (size_t at = text.find(L"<Include"); at != std::wstring::npos; at = text.find(L"<Include", at)) {
        size_t end = text.find(L"/>", at);
        size_t quote = text.find(L"source=\"", at);
        if (end == std::wstring::npos || quote == std::wstring::npos || quote > end) break;
        size_t nameStart = quote + 8;
        std::wstring page = text.substr(nameStart, text.find(L'"', nameStart) - nameStart);
        std::wstring content = RootContent(ReadText(SkinFolder() + L"\\" + page));
        text.replace(at, end + 2 - at, content);
        at += content.size();
    }
    return text;
}

const wchar_t* const kValues[] = {
    L"", L"0", L"1", L"-1", L"2147483647", L"-2147483648", L"4294967295", L"99999", L"-99999", L"1e308", L"0.5",
    L"1,2", L"0,0,0,0", L"-5,-5,99999,99999", L"99999,99999", L"-1,-1,-1,-1", L"1,,,", L",", L"0.5,0.5,0.5,0.5",
    L"-1.5,2.5,1e9,-1e9", L"true", L"false", L"True", L"#FFFFFFFF", L"#", L"#00000000", L"FF1A57A9", L"center",
    L"vcenter", L"right bottom", L"{b}{i}{u}", L"{a x}link{/a}", L"{i img/logo.png 3 7}", L"%{1}%{99999}",
    L"file='img/logo.png' dest='-5,-5,99999,99999'", L"file='img/checked.png' corner='9999,9999,9999,9999'",
    L"file='img/logo.png' source='5,5,1,1' xtiled='true' ytiled='true'", L"color='#80FF0000' fade='0'",
    L"res='0' restype='PNG'", L"img/missing.png", L"skin.xml", L"home.xml", L"<n>", L"pages",
    L"width=&quot;-5&quot; height=&quot;99999&quot;", L"&lt;&amp;&gt;",
};

const wchar_t* const kAttributeNames[] = {
    L"pos", L"float", L"width", L"height", L"minwidth", L"minheight", L"maxwidth", L"maxheight", L"padding",
    L"inset", L"childpadding", L"childalign", L"childvalign", L"bkimage", L"bkcolor", L"bkcolor2", L"bkcolor3",
    L"bordersize", L"borderround", L"normalimage", L"hotimage", L"pushedimage", L"focusedimage", L"disabledimage",
    L"fivestatusimage", L"foreimage", L"selectedimage", L"text", L"showhtml", L"multiline", L"font", L"align",
    L"textpadding", L"visible", L"enabled", L"mouse", L"selected", L"group", L"name", L"cover", L"count",
    L"source", L"sepheight", L"sepwidth", L"sepimm", L"vscrollbar", L"hscrollbar", L"vscrollbarstyle",
    L"selectedid", L"value", L"min", L"max", L"hor", L"maxchar", L"password", L"tooltip", L"shortcut",
    L"virtualwnd", L"size", L"caption", L"roundcorner", L"layeredimage", L"opacity", L"fadedelta", L"id",
    L"shared", L"default", L"linesize", L"endellipsis", L"enabledeffect", L"shadowoffset",
};

const wchar_t* const kElementNames[] = {
    L"Control", L"Container", L"VerticalLayout", L"HorizontalLayout", L"TabLayout", L"Label", L"Text",
    L"Button", L"Option", L"CheckBox", L"Edit", L"Progress", L"ScrollBar", L"Include", L"Font", L"Image",
    L"Default", L"MultiLanguage", L"TreeNode", L"GifAnim", L"Mystery", L"Window",
};

const wchar_t* const kSnippets[] = {
    L"<Include source=\"home.xml\" count=\"3\"/>",
    L"<Include source=\"banner.xml\"/>",
    L"<Include source=\"skin.xml\"/>",
    L"<Include source=\"missing.xml\" count=\"1000000\"/>",
    L"<Edit text=\"x\" float=\"true\" pos=\"10,10,200,40\"/>",
    L"<Default name=\"Button\" value=\"width=&quot;-5&quot; height=&quot;99999&quot;\"/>",
    L"<Font id=\"0\" name=\"x\" size=\"-1000\" default=\"true\"/>",
    L"<Font id=\"7\" name=\"Segoe UI\" size=\"400\" bold=\"true\"/>",
    L"<Image name=\"img/logo.png\" restype=\"*COLOR*\"/>",
    L"<VerticalLayout><VerticalLayout><VerticalLayout><Button/></VerticalLayout></VerticalLayout></VerticalLayout>",
    L"<TabLayout selectedid=\"5\"><Label/><Label/></TabLayout>",
    L"<Container vscrollbar=\"true\" hscrollbar=\"true\"><Control height=\"9999\" width=\"9999\"/></Container>",
    L"<Text showhtml=\"true\" text=\"{p 99999}{y -5}{x 99999}{f Segoe UI 99999 bold}a{/f}{/p}\"/>",
    L"<Option group=\"pages\" selected=\"true\"/>",
    L"<Control cover=\"true\"/>",
};

// Spans of the form name="value": where a value and its name sit in the text.
struct Attribute {
    size_t nameStart, nameEnd, valueStart, valueEnd;
};

std::vector<Attribute> Attributes(const std::wstring& text) {
    std::vector<Attribute> found;
    for (size_t at = text.find(L"=\""); at != std::wstring::npos; at = text.find(L"=\"", at + 2)) {
        size_t nameStart = at;
        while (nameStart > 0 && iswalpha(text[nameStart - 1])) --nameStart;
        size_t valueEnd = text.find(L'"', at + 2);
        if (valueEnd == std::wstring::npos) break;
        found.push_back({nameStart, at, at + 2, valueEnd});
    }
    return found;
}

// Where elements start ("<" followed by a letter) and their names end.
std::vector<std::pair<size_t, size_t>> ElementNames(const std::wstring& text) {
    std::vector<std::pair<size_t, size_t>> found;
    for (size_t at = text.find(L'<'); at != std::wstring::npos; at = text.find(L'<', at + 1)) {
        size_t start = at + 1;
        if (start < text.size() && text[start] == L'/') ++start;
        size_t end = start;
        while (end < text.size() && iswalpha(text[end])) ++end;
        if (end > start) found.push_back({start, end});
    }
    return found;
}

// One element with its content, from its "<" to the end of its closing tag (or "/>").
bool ElementSpan(const std::wstring& text, size_t open, size_t& end) {
    size_t close = text.find(L'>', open);
    if (close == std::wstring::npos) return false;
    if (text[close - 1] == L'/') {
        end = close + 1;
        return true;
    }
    int depth = 1;
    for (size_t at = text.find(L'<', close); at != std::wstring::npos && at + 1 < text.size();
         at = text.find(L'<', at + 1)) {
        size_t tagEnd = text.find(L'>', at);
        if (tagEnd == std::wstring::npos) return false;
        if (text[at + 1] == L'!' || text[at + 1] == L'?') continue;
        if (text[at + 1] == L'/') {
            if (--depth == 0) {
                end = tagEnd + 1;
                return true;
            }
        } else if (text[tagEnd - 1] != L'/') {
            ++depth;
        }
    }
    return false;
}

std::wstring Mutate(std::wstring text, TestRandom& random) {
    static const wchar_t kAlphabet[] = L"<>/=\"'{} #,.-0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ\r\n\t&;%";
    const size_t operations = 1 + random.Below(4);
    for (size_t n = 0; n < operations && !text.empty(); ++n) {
        const size_t at = random.Below(text.size());
        switch (random.Below(16)) {
        case 0: text[at] = kAlphabet[random.Below(sizeof kAlphabet / sizeof kAlphabet[0] - 1)]; break;
        case 1: text.erase(at, 1 + random.Below(32)); break;
        case 2: text.insert(at, text.substr(random.Below(text.size()), 1 + random.Below(64))); break;
        case 3:
        case 4:
        case 5:
        case 6:
        case 7: {
            std::vector<Attribute> attributes = Attributes(text);
            if (attributes.empty()) break;
            const Attribute& a = attributes[random.Below(attributes.size())];
            text.replace(a.valueStart, a.valueEnd - a.valueStart, kValues[random.Below(std::size(kValues))]);
            break;
        }
        case 8:
        case 9: {
            std::vector<Attribute> attributes = Attributes(text);
            if (attributes.empty()) break;
            const Attribute& a = attributes[random.Below(attributes.size())];
            text.replace(a.nameStart, a.nameEnd - a.nameStart, kAttributeNames[random.Below(std::size(kAttributeNames))]);
            break;
        }
        case 10: {
            std::vector<std::pair<size_t, size_t>> names = ElementNames(text);
            if (names.empty()) break;
            const auto& name = names[random.Below(names.size())];
            text.replace(name.first, name.second - name.first, kElementNames[random.Below(std::size(kElementNames))]);
            break;
        }
        case 11:
        case 12: {
            // An element duplicated, moved or dropped with its content.
            std::vector<std::pair<size_t, size_t>> names = ElementNames(text);
            if (names.empty()) break;
            size_t open = names[random.Below(names.size())].first - 1;
            size_t end = 0;
            if (text[open] != L'<' || !ElementSpan(text, open, end)) break;
            std::wstring element = text.substr(open, end - open);
            switch (random.Below(3)) {
            case 0: text.insert(end, element); break;
            case 1: text.erase(open, end - open); break;
            default: text.erase(open, end - open); text.insert(random.Below(text.size() + 1), element); break;
            }
            break;
        }
        case 13: {
            std::vector<std::pair<size_t, size_t>> names = ElementNames(text);
            if (names.empty()) break;
            size_t after = text.find(L'>', names[random.Below(names.size())].second);
            if (after != std::wstring::npos) text.insert(after + 1, kSnippets[random.Below(std::size(kSnippets))]);
            break;
        }
        default: {
            // A new attribute on an element.
            std::vector<std::pair<size_t, size_t>> names = ElementNames(text);
            if (names.empty()) break;
            std::wstring attribute = std::wstring(L" ") + kAttributeNames[random.Below(std::size(kAttributeNames))] +
                                     L"=\"" + kValues[random.Below(std::size(kValues))] + L"\"";
            text.insert(names[random.Below(names.size())].second, attribute);
            break;
        }
        }
    }
    return text;
}

// No skin takes a second; one that takes this long hangs.
constexpr DWORD kHangMs = 10000;

struct NoControls : IDialogBuilderCallback {
    CControlUI* MakeControl(const wchar_t*) override { return nullptr; }
};

struct Shard {
    const wchar_t* file;
    int number;
};

class SkinMutationTest : public ::testing::TestWithParam<Shard> {
protected:
    static void SetUpTestSuite() {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        CWindowManagerUI::SetResourceArchive(L"", false);
        CWindowManagerUI::SetResourceFolder(SkinFolder());
        CXmlMarkup::SetTextStoreForTesting(AllocateGuardedText, ReleaseGuardedText);
    }
    static void TearDownTestSuite() { CXmlMarkup::SetTextStoreForTesting(nullptr, nullptr); }
};

TEST_P(SkinMutationTest, MutatedSkinsBuildLayOutAndPaint) {
    const Shard shard = GetParam();
    const std::wstring original = MergedSkin(shard.file);
    ASSERT_NE(original.find(L"btn_install"), std::wstring::npos);
    // Mutated skins open editors, which take the focus: not from the tests beside this one.
    NoActivation noActivation;
    ASSERT_TRUE(noActivation.Installed());
    HostWindow host;
    ASSERT_NE(host.Create(kWidth, kHeight, nullptr, WS_EX_NOACTIVATE), nullptr);
    HWND window = host.GetHWND();
    CWindowManagerUI& manager = host.manager;
    // The skin's pictures, decoded once into the shared table under both separators;
    // each mutated skin starts with a window of its own.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((SkinFolder() + L"\\img\\*.png").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        for (const wchar_t* folder : {L"img/", L"img\\"}) {
            manager.RegisterImage((folder + std::wstring(found.cFileName)).c_str(), nullptr, 0, true);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);

    NoControls callback;
    MutationInputWatch watch(kHangMs, BuildPath(L"skin-mutation-input.xml"));
    TestRandom random(static_cast<uint64_t>(shard.number) + (wcscmp(shard.file, L"skin.xml") == 0 ? 100 : 200));
    int built = 0;
    DWORD start = GetTickCount();
    for (int n = 0; n < kMutationsPerShard; ++n) {
        std::wstring skin = Mutate(original, random);
        watch.Begin(ToUtf8(skin));
        // A fresh window every time: no fonts, images or defaults of the last skin.
        manager.AttachWindow(window, L"mutation");
        RECT client;
        GetClientRect(window, &client);
        if (client.right != kWidth || client.bottom != kHeight) {
            SetWindowPos(window, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        CSkinBuilder builder;
        CControlUI* root = builder.Build(skin.c_str(), nullptr, &callback, &manager, nullptr);
        if (root != nullptr) {
            ++built;
            manager.AttachRoot(root);
            InvalidateRect(window, nullptr, FALSE);
            UpdateWindow(window);
            SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(random.Below(kWidth), random.Below(kHeight)));
        }
        manager.AttachRoot(nullptr);
        Pump();
    }
    printf("%d mutated skins, %d built, laid out and painted, in %lu ms\n", kMutationsPerShard, built,
           GetTickCount() - start);
    // Most mutations keep the markup whole: the test reaches the builder, not just the parser.
    EXPECT_GT(built, kMutationsPerShard * 2 / 5);
    EXPECT_EQ(GetActiveWindow(), nullptr) << "the tests beside this one kept the focus";
}

INSTANTIATE_TEST_SUITE_P(Shards, SkinMutationTest,
                         ::testing::Values(Shard{L"skin.xml", 1}, Shard{L"skin.xml", 2}, Shard{L"skin_rtl.xml", 1},
                                           Shard{L"skin_rtl.xml", 2}),
                         [](const ::testing::TestParamInfo<Shard>& info) {
                             return std::string(wcscmp(info.param.file, L"skin.xml") == 0 ? "LeftToRight" : "RightToLeft") +
                                    std::to_string(info.param.number);
                         });

}  // namespace
