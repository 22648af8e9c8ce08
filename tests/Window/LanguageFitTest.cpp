// The installer in every language of its product data, on every page it shows:
// each text has a glyph for each of its characters in the font it is drawn with,
// each single-line text fits its control, and no control with a text runs into a
// neighbour. The windows of all languages are surveyed once; the cases judge what
// the survey saw. The face chosen under this Wine prefix depends on tools/setup's
// font map, which gives every face the product data names a host face of its script.
//
// The survey runs at the prefix's density: 96 DPI, or VANTELO_FIT_DPI when a parent
// run set the prefix to another one (LanguageFitAtDensities, 144 and 192 DPI).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "Window/InstallerFrameWnd.h"
#include "Window/UserDialogs.h"
#include "common/WorkFolder.h"
#include "ui/control/Container.h"
#include "ui/control/Edit.h"
#include "ui/control/Label.h"
#include "ui/control/Option.h"
#include "ui/core/DpiScale.h"
#include "ui/core/FontFaceChoice.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/XmlMarkup.h"

using namespace Veneer;

namespace {

// The survey opens no dialog; one that would open is a finding, not a hang.
class NoDialogs final : public IUserDialogs {
public:
    std::vector<std::wstring> shown;
    int ShowMessage(HWND, const std::wstring& text, const std::wstring&, UINT) override
    {
        shown.push_back(text);
        return IDCANCEL;
    }
    bool BrowseForFolder(HWND, const std::wstring& title, std::wstring&) override
    {
        shown.push_back(title);
        return false;
    }
    bool AskProxyLogin(HWND, const std::wstring&, const std::wstring& message, const std::wstring&, bool,
                       std::wstring&, std::wstring&) override
    {
        shown.push_back(message);
        return false;
    }
};

// Delivers what is queued, then paints the whole window now: the window manager
// lays out what changed when it paints.
void Settle(HWND window)
{
    for (int round = 0; round < 3; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

std::wstring Hex(wchar_t ch)
{
    wchar_t text[8];
    swprintf(text, 8, L"U+%04X", static_cast<unsigned>(ch));
    return text;
}

std::wstring Describe(RECT rect)
{
    wchar_t text[64];
    swprintf(text, 64, L"(%ld,%ld)-(%ld,%ld)", rect.left, rect.top, rect.right, rect.bottom);
    return text;
}

// What the survey found, grouped as the cases judge it. A text that shows the same
// fault on several pages is reported for the first page only.
struct Survey {
    std::set<std::wstring> reported;
    std::set<std::wstring> faultyLanguages;  // with a missing glyph or a text that does not fit
    std::vector<std::wstring> languageProblems;
    std::vector<std::wstring> glyphProblems;
    std::vector<std::wstring> fitProblems;
    std::vector<std::wstring> faceProblems;
    std::vector<std::wstring> dialogs;
    std::vector<std::string> figures;  // one line per language
    int languages = 0;
    int texts = 0;
    int measured = 0;
};

// Checks the texts of the window as it is on screen now.
class TextInspector {
public:
    TextInspector(CWindowManagerUI& manager, std::wstring language, std::wstring page, Survey& survey)
        : manager_(manager), language_(std::move(language)), page_(std::move(page)), survey_(survey)
    {
    }

    // The tightest single-line text seen: needed width / available width.
    double Tightest() const { return tightest_; }
    const std::wstring& TightestText() const { return tightestName_; }

    void InspectVisibleTexts()
    {
        std::vector<CControlUI*> controls;
        if (manager_.Root() != nullptr) {
            manager_.Root()->FindInTree(Collect, &controls, kFindVisible | kFindMeFirst);
        }
        for (CControlUI* control : controls) {
            auto* label = dynamic_cast<CLabelUI*>(control);
            if (label == nullptr || label->GetText().IsEmpty()) continue;
            ++survey_.texts;
            CheckGlyphs(*label);
            if (dynamic_cast<CEditUI*>(label) == nullptr) CheckFit(*label);  // an edit scrolls its text
            CheckPlace(*label);
        }
    }

    // The face GDI selects for the label's font, and the characters it has no glyph for.
    std::wstring MissingGlyphs(CLabelUI& label, std::wstring& face)
    {
        UniqueDeviceContext dc(CreateCompatibleDC(manager_.PaintDC()));
        CSelectObject font(dc.Get(), FontOf(label));
        wchar_t selected[LF_FACESIZE] = {};
        GetTextFaceW(dc.Get(), LF_FACESIZE, selected);
        face = selected;
        std::wstring text = label.GetText().GetData();
        std::vector<WORD> glyphs(text.size());
        std::wstring missing;
        if (GetGlyphIndicesW(dc.Get(), text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
            return L"(GetGlyphIndicesW failed)";
        }
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] >= 0x20 && glyphs[i] == 0xFFFF && missing.find(text[i]) == std::wstring::npos) {
                missing += text[i];
            }
        }
        return missing;
    }

    // The extent the label's text needs in its own font and style, and the room its
    // control gives it; multi-line texts are measured at the room's width.
    void Measure(CLabelUI& label, SIZE& needed, SIZE& room)
    {
        RECT pos = label.GetRect();
        RECT pad = label.GetTextPadding();
        room = {pos.right - pos.left - pad.left - pad.right, pos.bottom - pos.top - pad.top - pad.bottom};
        UINT style = label.GetTextStyle();
        bool singleLine = (style & DT_SINGLELINE) != 0;
        style &= ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_END_ELLIPSIS);
        RECT extent = {0, 0, singleLine ? 9999 : room.cx, 9999};
        CUiString text = label.GetText();
        if (label.IsShowHtml()) {
            int links = 0;
            CDrawEngine::PaintMarkupText(manager_.PaintDC(), &manager_, extent, text, 0, nullptr, nullptr, links,
                                         label.GetFont(), style | DT_CALCRECT);
        } else {
            CDrawEngine::PaintPlainText(manager_.PaintDC(), &manager_, extent, text, 0, label.GetFont(),
                                        style | DT_CALCRECT);
        }
        needed = {extent.right - extent.left, extent.bottom - extent.top};
    }

private:
    static CControlUI* Collect(CControlUI* control, void* data)
    {
        static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
        return nullptr;
    }

    HFONT FontOf(CLabelUI& label) const
    {
        HFONT font = manager_.FontById(label.GetFont());
        return font != nullptr ? font : manager_.StandardFont();
    }

    static std::wstring NameOf(CControlUI& control)
    {
        return (control.GetName().IsEmpty() ? CUiString(control.GetTypeName()) : control.GetName()).GetData();
    }

    // Adds the finding unless this language's control said the same on an earlier page.
    void Report(std::vector<std::wstring>& findings, CLabelUI& label, const std::wstring& finding)
    {
        std::wstring key = language_ + L"|" + NameOf(label) + L"|" + finding;
        if (!survey_.reported.insert(key).second) return;
        survey_.faultyLanguages.insert(language_);
        findings.push_back(language_ + L", " + page_ + L", " + NameOf(label) + L": " + finding);
    }

    void CheckGlyphs(CLabelUI& label)
    {
        std::wstring face;
        std::wstring missing = MissingGlyphs(label, face);
        if (missing.empty()) return;
        std::wstring codes;
        for (wchar_t ch : missing) codes += L" " + Hex(ch);
        Report(survey_.glyphProblems, label,
               L"\"" + face + L"\" has no glyph for" + codes + L" in \"" + label.GetText().GetData() + L"\"");
    }

    void CheckFit(CLabelUI& label)
    {
        SIZE needed, room;
        Measure(label, needed, room);
        ++survey_.measured;
        bool singleLine = (label.GetTextStyle() & DT_SINGLELINE) != 0;
        if (singleLine && room.cx > 0) {
            double ratio = static_cast<double>(needed.cx) / room.cx;
            if (ratio > tightest_) {
                tightest_ = ratio;
                tightestName_ = label.GetName().GetData();
            }
        }
        if ((singleLine && needed.cx > room.cx) || needed.cy > room.cy) {
            wchar_t sizes[96];
            swprintf(sizes, 96, L"needs %ldx%ld, has %ldx%ld", needed.cx, needed.cy, room.cx, room.cy);
            Report(survey_.fitProblems, label, L"\"" + std::wstring(label.GetText().GetData()) + L"\" " + sizes);
        }
    }

    // Inside its parent and clear of every visible sibling.
    void CheckPlace(CLabelUI& label)
    {
        CControlUI* parent = label.GetParent();
        if (parent == nullptr) return;
        RECT own = label.GetRect();
        RECT outer = parent->GetRect();
        RECT both;
        UnionRect(&both, &own, &outer);
        if (!EqualRect(&both, &outer)) {
            Report(survey_.fitProblems, label, L"at " + Describe(own) + L" leaves its parent " + Describe(outer));
        }
        auto* siblings = static_cast<IContainerUI*>(parent->CastTo(L"IContainer"));
        if (siblings == nullptr) return;
        for (int i = 0; i < siblings->GetCount(); ++i) {
            CControlUI* other = siblings->GetItemAt(i);
            RECT otherRect = other->GetRect();
            if (other == &label || !other->IsVisible() || !IntersectRect(&both, &own, &otherRect)) continue;
            Report(survey_.fitProblems, label,
                   L"at " + Describe(own) + L" runs into " + NameOf(*other) + L" at " + Describe(otherRect));
        }
    }

    CWindowManagerUI& manager_;
    std::wstring language_;
    std::wstring page_;
    Survey& survey_;
    double tightest_ = 0;
    std::wstring tightestName_;
};

// The languages of the product data: identifier and folder name, each name once.
std::vector<std::pair<std::wstring, std::wstring>> ProductLanguages(const std::wstring& languageFolder)
{
    LanguageManager::Table table;
    LanguageManager::ReadSection(languageFolder + L"language.ini", L"Language", table);
    std::vector<std::pair<std::wstring, std::wstring>> languages;
    for (const auto& entry : table) {
        bool seen = std::any_of(languages.begin(), languages.end(),
                                [&](const auto& known) { return known.second == entry.second; });
        if (!seen) languages.emplace_back(entry.first, entry.second);
    }
    return languages;
}

// A Font element of the skin: what the skin asks for, before any language's face.
struct SkinFont {
    std::wstring face;
    int size = 12;
    bool bold = false;
    bool standard = false;  // "default": also the window's standard font
};

// The Font elements of the skin file in the resource archive the window was built from.
std::map<int, SkinFont> SkinFonts(const wchar_t* file)
{
    std::map<int, SkinFont> fonts;
    CXmlMarkup markup;
    if (!markup.ParseFile(file)) return fonts;
    for (CXmlMarkupNode node = markup.Root().FirstChild(); !node.IsNull(); node = node.NextSibling()) {
        if (_wcsicmp(node.Name(), L"Font") != 0) continue;
        SkinFont font;
        int id = -1;
        for (int i = 0; i < node.AttributeCount(); ++i) {
            const wchar_t* attribute = node.AttributeNameAt(i);
            const wchar_t* value = node.AttributeValueAt(i);
            if (_wcsicmp(attribute, L"id") == 0) id = _wtoi(value);
            if (_wcsicmp(attribute, L"name") == 0) font.face = value;
            if (_wcsicmp(attribute, L"size") == 0) font.size = _wtoi(value);
            if (_wcsicmp(attribute, L"bold") == 0) font.bold = _wcsicmp(value, L"true") == 0;
            if (_wcsicmp(attribute, L"default") == 0) font.standard = _wcsicmp(value, L"true") == 0;
        }
        if (id >= 0) fonts[id] = font;
    }
    return fonts;
}

std::wstring FaceOfFont(CWindowManagerUI& manager, int id)
{
    const FontRecord* record = manager.FontRecordById(id);
    return record != nullptr ? record->face.GetData() : L"(none)";
}

// The density the survey must find its windows at.
int ExpectedDpi()
{
    const char* dpi = getenv("VANTELO_FIT_DPI");
    return dpi != nullptr ? atoi(dpi) : CDpiScale::kSkinDpi;
}

// One language's window, page by page, as the install flow shows them.
void SurveyLanguage(const std::wstring& id, const std::wstring& name, Survey& survey)
{
    LanguageManager::SetLanguageIdOverride(id);
    NoDialogs dialogs;
    CInstallerFrameWnd frame;
    frame.SetDialogs(&dialogs);
    if (frame.Open(nullptr, L"", 0x96C80000, 0) == nullptr) {
        survey.languageProblems.push_back(name + L": the window did not open");
        LanguageManager::SetLanguageIdOverride(L"");
        return;
    }
    ++survey.languages;
    HWND window = frame.GetHWND();
    CWindowManagerUI& manager = frame.Manager();
    Settle(window);
    if (manager.Scale().Dpi() != ExpectedDpi()) {
        survey.languageProblems.push_back(name + L": the window is at " + std::to_wstring(manager.Scale().Dpi()) +
                                          L" DPI, not " + std::to_wstring(ExpectedDpi()));
    }
    if (frame.GetLanguage().GetLanguageName() != name) {
        survey.languageProblems.push_back(L"identifier " + id + L" opened " + frame.GetLanguage().GetLanguageName() +
                                          L", not " + name);
    }

    // Every skin font in the language's face, else in the skin's own, at the skin's
    // size and weight.
    const std::wstring& faces = frame.GetLanguage().GetFontFaces();
    std::wstring wanted = FirstInstalledFace(faces.c_str()).GetData();
    if (!faces.empty() && wanted.empty()) {
        survey.faceProblems.push_back(name + L": none of \"" + faces + L"\" is installed");
    }
    std::map<int, SkinFont> skinFonts = SkinFonts(frame.GetLanguage().IsRightToLeft() ? L"skin_rtl.xml" : L"skin.xml");
    if (skinFonts.empty()) survey.faceProblems.push_back(name + L": the skin's fonts could not be read");
    for (const auto& entry : skinFonts) {
        const SkinFont& asked = entry.second;
        std::wstring expected = wanted.empty() ? asked.face : wanted;
        std::vector<std::pair<std::wstring, const FontRecord*>> records = {
            {L"skin font " + std::to_wstring(entry.first), manager.FontRecordById(entry.first)}};
        if (asked.standard) records.emplace_back(L"the standard font", manager.StandardFontRecord());
        for (const auto& made : records) {
            const FontRecord* record = made.second;
            if (record == nullptr || record->face.GetData() != expected || record->size != asked.size ||
                record->bold != asked.bold) {
                std::wstring is = record == nullptr ? L"missing"
                                                    : std::wstring(record->face.GetData()) + L" " +
                                                          std::to_wstring(record->size) + (record->bold ? L" bold" : L"");
                survey.faceProblems.push_back(name + L": " + made.first + L" is " + is + L", not " + expected + L" " +
                                              std::to_wstring(asked.size) + (asked.bold ? L" bold" : L""));
            }
        }
    }

    double tightest = 0;
    std::wstring tightestText;
    auto inspect = [&](const wchar_t* page) {
        Settle(window);
        TextInspector inspector(manager, name, page, survey);
        inspector.InspectVisibleTexts();
        if (inspector.Tightest() > tightest) {
            tightest = inspector.Tightest();
            tightestText = std::wstring(page) + L" " + inspector.TightestText();
        }
    };
    inspect(L"home");
    if (auto* fold = dynamic_cast<CCheckBoxUI*>(manager.ControlNamed(L"chk_fold"))) fold->SetSelected(true);
    inspect(L"home with the path row");
    if (CControlUI* path = manager.ControlNamed(L"edit_path")) path->SetText(L"Q:\\missing\\deeper\\");
    frame.OnClickInstall();  // refused: the red tip under the path row
    inspect(L"home with the refused path");
    frame.UpdateWindowSate(kWindow_Downloading);
    frame.SetProgress(100);
    inspect(L"progress");
    frame.UpdateWindowSate(kWindow_Finish);
    inspect(L"finished");

    for (const std::wstring& text : dialogs.shown) survey.dialogs.push_back(name + L": " + text);
    char line[256];
    snprintf(line, sizeof line, "%-11s %-22s tightest single-line text %3.0f %% of its room (%s)",
             Narrow(name).c_str(), Narrow(FaceOfFont(manager, 0)).c_str(), tightest * 100,
             Narrow(tightestText).c_str());
    survey.figures.push_back(line);
    DestroyWindow(window);
    Settle(window);
    LanguageManager::SetLanguageIdOverride(L"");
}

std::string Joined(const std::vector<std::wstring>& lines)
{
    std::string text;
    for (const std::wstring& line : lines) text += "\n  " + Narrow(line);
    return text;
}

class LanguageFit : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        std::wstring languageFolder = GetWorkFolder() + L"language\\";
        LanguageManager::LoadResZipFile(languageFolder);
        languages_ = ProductLanguages(languageFolder);
        survey_ = new Survey;
        for (const auto& language : languages_) SurveyLanguage(language.first, language.second, *survey_);
        printf("at %d DPI:\n", ExpectedDpi());
        for (const std::string& line : survey_->figures) printf("%s\n", line.c_str());
        printf("%d languages: %d texts shown on their pages, %d of them measured against their controls\n",
               survey_->languages, survey_->texts, survey_->measured);
        printf("%d of %d languages with a glyph for every character and no text cut short\n",
               survey_->languages - static_cast<int>(survey_->faultyLanguages.size()),
               static_cast<int>(languages_.size()));
    }
    static void TearDownTestSuite()
    {
        delete survey_;
        survey_ = nullptr;
    }

    static std::vector<std::pair<std::wstring, std::wstring>> languages_;
    static Survey* survey_;
};

std::vector<std::pair<std::wstring, std::wstring>> LanguageFit::languages_;
Survey* LanguageFit::survey_ = nullptr;

TEST_F(LanguageFit, EveryLanguageOfTheProductOpensAsItselfWithoutADialog)
{
    ASSERT_FALSE(languages_.empty()) << "the product data names no language";
    EXPECT_EQ(static_cast<int>(languages_.size()), survey_->languages);
    EXPECT_TRUE(survey_->languageProblems.empty()) << Joined(survey_->languageProblems);
    EXPECT_TRUE(survey_->dialogs.empty()) << Joined(survey_->dialogs);
}

TEST_F(LanguageFit, EachLanguageDrawsWithItsFirstInstalledFaceAtTheSkinsSizes)
{
    EXPECT_TRUE(survey_->faceProblems.empty()) << Joined(survey_->faceProblems);
}

TEST_F(LanguageFit, EveryCharacterOfEveryTextHasAGlyphInTheFontItIsDrawnWith)
{
    EXPECT_GT(survey_->texts, 0);
    EXPECT_TRUE(survey_->glyphProblems.empty()) << Joined(survey_->glyphProblems);
}

TEST_F(LanguageFit, EveryTextFitsItsControlAndNoControlRunsIntoANeighbour)
{
    EXPECT_GT(survey_->measured, 0);
    EXPECT_TRUE(survey_->fitProblems.empty()) << Joined(survey_->fitProblems);
}

// The survey again in a program of its own at each higher density the skin is drawn
// at: the prefix's LogPixels belongs to every program of the prefix, so the ctest
// entry language-fit-dpi runs alone and sets VANTELO_FIT_AT_DENSITIES.
TEST(LanguageFitAtDensities, EveryLanguageFitsAt144And192Dpi)
{
    if (!getenv("VANTELO_FIT_AT_DENSITIES")) GTEST_SKIP() << "run through the language-fit-dpi ctest entry";
    for (int dpi : {144, 192}) {
        PrefixDpi density(dpi);
        SetEnvironmentVariableW(L"VANTELO_FIT_DPI", std::to_wstring(dpi).c_str());
        EXPECT_EQ(0, RunAndWait(SelfPath(), L"--gtest_filter=LanguageFit.*", 120000)) << "at " << dpi << " DPI";
        SetEnvironmentVariableW(L"VANTELO_FIT_DPI", nullptr);
    }
}

// The checks themselves: boxes and a cut text are seen where they are.
TEST(LanguageFitChecks, SeeBoxesInAFaceWithoutTheScriptAndATextLongerThanItsControl)
{
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    LanguageManager::SetLanguageIdOverride(L"1033");
    NoDialogs dialogs;
    CInstallerFrameWnd frame;
    frame.SetDialogs(&dialogs);
    ASSERT_NE(nullptr, frame.Open(nullptr, L"", 0x96C80000, 0));
    LanguageManager::SetLanguageIdOverride(L"");
    HWND window = frame.GetHWND();
    CWindowManagerUI& manager = frame.Manager();
    auto* install = dynamic_cast<CLabelUI*>(manager.ControlNamed(L"btn_install"));
    ASSERT_NE(nullptr, install);

    // Thai in the English skin's face (Noto Sans under this prefix has no Thai).
    install->SetText(L"\u0E15\u0E34\u0E14\u0E15\u0E31\u0E49\u0E07");
    Settle(window);
    Survey survey;
    TextInspector inspector(manager, L"English", L"home", survey);
    std::wstring face;
    EXPECT_EQ(L"\u0E15\u0E34\u0E14\u0E31\u0E49\u0E07", inspector.MissingGlyphs(*install, face));
    EXPECT_EQ(L"Segoe UI", face);

    install->SetText(L"Install the product with everything it brings along");
    Settle(window);
    inspector.InspectVisibleTexts();
    ASSERT_EQ(1u, survey.fitProblems.size()) << Joined(survey.fitProblems);
    EXPECT_NE(std::wstring::npos, survey.fitProblems[0].find(L"btn_install"));
    EXPECT_TRUE(survey.glyphProblems.empty()) << Joined(survey.glyphProblems);
    DestroyWindow(window);
    Settle(window);
}

}  // namespace
