// The skin builder: the class table, includes, resource elements, window attributes,
// defaults, covers and the callback, from markup texts and the fixtures in tests/data/skin.

#include "ui/core/SkinBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "log/Log.h"
#include "ui/control/Container.h"
#include "ui/control/Control.h"
#include "ui/control/Label.h"
#include "ui/control/VerticalLayout.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;

namespace {

struct RecordingCallback : IDialogBuilderCallback {
    std::vector<std::wstring> asked;
    const wchar_t* makes = nullptr;  // the one name this callback knows
    CControlUI* MakeControl(const wchar_t* className) override {
        asked.push_back(className);
        if (makes != nullptr && wcscmp(className, makes) == 0) return new CControlUI;
        return nullptr;
    }
};

// Counts the texts documents allocate, so a test sees how often markup was read.
int g_textsAllocated = 0;
wchar_t* CountingAllocate(size_t characters) {
    ++g_textsAllocated;
    return new wchar_t[characters];
}
void CountingRelease(wchar_t* text) { delete[] text; }

// The log written since `start` (a size of the log file taken before).
std::string LogSince(size_t start) {
    std::string all = ReadFileBytes(Log::CurrentLogFilePath());
    return start < all.size() ? all.substr(start) : std::string();
}
size_t LogSize() { return ReadFileBytes(Log::CurrentLogFilePath()).size(); }

int Depth(CControlUI* control) {
    int depth = 0;
    for (auto* container = static_cast<IContainerUI*>(control->CastTo(L"IContainer"));
         container != nullptr && container->GetCount() > 0;
         container = static_cast<IContainerUI*>(container->GetItemAt(0)->CastTo(L"IContainer"))) {
        ++depth;
    }
    return depth;
}

class SkinBuilderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        InitLog(L"", L"");
    }

    void SetUp() override {
        CWindowManagerUI::SetResourceArchive(L"", false);
        CWindowManagerUI::SetResourceFolder(TestDataPath(L"skin"));
        parent = new CVerticalLayoutUI;
    }
    void TearDown() override {
        parent->Destroy();
        if (window != nullptr) DestroyWindow(window);
    }

    // A manager with a real window, as the window base has while it builds.
    CWindowManagerUI& WindowedManager() {
        window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
        manager.AttachWindow(window);
        return manager;
    }
    CControlUI* Build(const wchar_t* markup, CWindowManagerUI* withManager = nullptr) {
        return builder.Build(markup, nullptr, &callback, withManager, parent);
    }
    int Children() { return parent->GetCount(); }
    CControlUI* Child(int index) { return parent->GetItemAt(index); }

    CSkinBuilder builder;
    RecordingCallback callback;
    CVerticalLayoutUI* parent = nullptr;
    CWindowManagerUI manager;
    HWND window = nullptr;
};

// ---- class table ------------------------------------------------------------------

TEST_F(SkinBuilderTest, ElementNamesSelectTheirClassInAnyLetterCase) {
    Build(L"<Window><VerticalLayout/><verticallayout/><VERTICALLAYOUT/><vbox/></Window>");
    ASSERT_EQ(Children(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_STREQ(Child(i)->GetTypeName(), L"VerticalLayout") << i;
    EXPECT_TRUE(callback.asked.empty());
}

TEST_F(SkinBuilderTest, EveryClassOfTheTableMakesItsControl) {
    const wchar_t* markup =
        L"<Window><Control/><Container/><HorizontalLayout/><HBox/><TabLayout/><Label/><Text/><Button/>"
        L"<Option/><CheckBox/><Edit/><Progress/><ScrollBar/></Window>";
    const wchar_t* kinds[] = {L"Control", L"Container", L"HorizontalLayout", L"HorizontalLayout", L"TabLayout",
                              L"Label", L"Text", L"Button", L"Option", L"CheckBox", L"Edit", L"Progress",
                              L"ScrollBar"};
    Build(markup);
    ASSERT_EQ(Children(), 13);
    for (int i = 0; i < 13; ++i) EXPECT_STREQ(Child(i)->GetTypeName(), kinds[i]) << i;
}

TEST_F(SkinBuilderTest, GifAnimInAnyCaseMakesNothingAndGoesToTheCallback) {
    Build(L"<Window><gifanim/><GifAnim/><Label/></Window>");
    EXPECT_EQ(Children(), 1);
    EXPECT_EQ(callback.asked, (std::vector<std::wstring>{L"gifanim", L"GifAnim"}));
}

TEST_F(SkinBuilderTest, UnknownElementIsSkippedWithItsChildrenWhileSiblingsBuild) {
    Build(L"<Window><Mystery><Label name=\"inner\"/></Mystery><Label name=\"after\"/></Window>");
    ASSERT_EQ(Children(), 1);
    EXPECT_EQ(Child(0)->GetName(), L"after");
    // The subtree of a skipped element is not even offered.
    EXPECT_EQ(callback.asked, std::vector<std::wstring>{L"Mystery"});
}

TEST_F(SkinBuilderTest, CallbackMakesControlsForNamesTheTableLacks) {
    callback.makes = L"Custom";
    Build(L"<Window><Custom name=\"made\"/></Window>");
    ASSERT_EQ(Children(), 1);
    EXPECT_EQ(Child(0)->GetName(), L"made");
}

TEST_F(SkinBuilderTest, ChildrenOfAControlThatHoldsNoneAreDropped) {
    CControlUI* first = Build(L"<Window><Label name=\"l\"><Button/></Label><Label name=\"m\"/></Window>");
    ASSERT_EQ(Children(), 2);
    EXPECT_EQ(first, Child(0));
}

TEST_F(SkinBuilderTest, TopLevelWithoutAContainerParentReturnsNothing) {
    auto* label = new CLabelUI;
    EXPECT_EQ(builder.Build(L"<Window><Button/></Window>", nullptr, nullptr, nullptr, label), nullptr);
    label->Destroy();
}

TEST_F(SkinBuilderTest, ResultIsTheFirstControlOfTheTopLevel) {
    CControlUI* first = Build(L"<Window><Include source=\"row.xml\"/><Label name=\"x\"/><Label name=\"y\"/></Window>");
    ASSERT_EQ(Children(), 3);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetName(), L"x");
}

TEST_F(SkinBuilderTest, TreeNodesAreSkipped) {
    Build(L"<Window><TreeNode><Label/></TreeNode><Label/></Window>");
    EXPECT_EQ(Children(), 1);
}

// ---- includes ---------------------------------------------------------------------

TEST_F(SkinBuilderTest, IncludeWithCountThreeBuildsThreeTimesReadingTheFileOnce) {
    CXmlMarkup::SetTextStoreForTesting(CountingAllocate, CountingRelease);
    g_textsAllocated = 0;
    Build(L"<Window><Include count=\"3\" source=\"row.xml\"/></Window>");
    int reads = g_textsAllocated;
    CXmlMarkup::SetTextStoreForTesting(nullptr, nullptr);
    ASSERT_EQ(Children(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Child(i)->GetText(), L"row");
    EXPECT_EQ(reads, 2);  // the outer text and row.xml
}

TEST_F(SkinBuilderTest, IncludeAttributeNamesAreCaseSensitive) {
    Build(L"<Window><Include Source=\"row.xml\"/><Include count=\"2\"/><Include/>"
          L"<Include COUNT=\"2\" source=\"row.xml\"/></Window>");
    // Only the last one builds, once: "COUNT" is not "count".
    EXPECT_EQ(Children(), 1);
}

TEST_F(SkinBuilderTest, IncludeWithCountZeroOrNegativeBuildsNothing) {
    Build(L"<Window><Include count=\"0\" source=\"row.xml\"/><Include count=\"-2\" source=\"row.xml\"/></Window>");
    EXPECT_EQ(Children(), 0);
}

TEST_F(SkinBuilderTest, IncludeOfAMissingFileBuildsNothingAndSiblingsStay) {
    Build(L"<Window><Include count=\"2\" source=\"missing.xml\"/><Label/></Window>");
    EXPECT_EQ(Children(), 1);
}

TEST_F(SkinBuilderTest, ResourceSourceBuildsAndItsIncludesComeFromTheSameResourceType) {
    CControlUI* root = builder.Build(MAKEINTRESOURCEW(201), L"xml", nullptr, nullptr, parent);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetName(), L"resourceRoot");
    auto* layout = static_cast<IContainerUI*>(root->CastTo(L"IContainer"));
    ASSERT_NE(layout, nullptr);
    ASSERT_EQ(layout->GetCount(), 3);
    EXPECT_EQ(layout->GetItemAt(2)->GetText(), L"included from a resource");
}

TEST_F(SkinBuilderTest, MissingResourceOrFileGivesNothing) {
    EXPECT_EQ(builder.Build(MAKEINTRESOURCEW(299), L"xml", nullptr, nullptr, parent), nullptr);
    EXPECT_EQ(builder.Build(L"nowhere.xml", nullptr, nullptr, nullptr, parent), nullptr);
    EXPECT_STREQ(builder.Document().LastErrorMessage(), L"Error opening file");
    EXPECT_EQ(builder.Build(L"<Window><Label></Window>", nullptr, nullptr, nullptr, parent), nullptr);
    EXPECT_EQ(Children(), 0);
}

TEST_F(SkinBuilderTest, BuildLoadedBuildsTheSameDocumentAgain) {
    ASSERT_NE(Build(L"<Window><Label name=\"again\"/></Window>"), nullptr);
    ASSERT_TRUE(builder.Document().IsParsed());
    ASSERT_NE(builder.BuildLoaded(nullptr, nullptr, parent), nullptr);
    EXPECT_EQ(Children(), 2);
}

// ---- bounds on what one build makes -------------------------------------------------

TEST_F(SkinBuilderTest, FileThatIncludesItselfBuildsOnceWithALogLineNamingIt) {
    size_t logStart = LogSize();
    Build(L"<Window><Include source=\"self-include.xml\"/></Window>");
    ASSERT_EQ(Children(), 2);
    EXPECT_EQ(Child(0)->GetName(), L"beforeSelf");
    EXPECT_EQ(Child(1)->GetName(), L"afterSelf");
    // The name as the include wrote it: the cycle is found whatever the letter case.
    EXPECT_NE(LogSince(logStart).find("skin include SELF-include.xml is part of itself"), std::string::npos);

    // The skin file itself as the top of the chain.
    CVerticalLayoutUI second;
    ASSERT_NE(builder.Build(L"self-include.xml", nullptr, nullptr, nullptr, &second), nullptr);
    EXPECT_EQ(second.GetCount(), 2);
}

TEST_F(SkinBuilderTest, IncludeCycleOfTwoFilesIsSkippedWhereItCloses) {
    size_t logStart = LogSize();
    ASSERT_NE(builder.Build(L"cycle-a.xml", nullptr, nullptr, nullptr, parent), nullptr);
    std::vector<std::wstring> texts;
    for (int i = 0; i < Children(); ++i) texts.emplace_back(Child(i)->GetText().GetData());
    // b's other names for a lead back into a once more, where the cycle closes again.
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"a", L"b", L"a", L"a"}));
    EXPECT_NE(LogSince(logStart).find("skin include cycle-a.xml is part of itself (cycle-a.xml > cycle-b.xml > "
                                      "cycle-a.xml)"),
              std::string::npos);
}

TEST_F(SkinBuilderTest, IncludesNestedDeeperThanTheLimitAreSkipped) {
    // A chain of files, each including the next under a name of its own.
    TempFolder folder;
    constexpr int kFiles = CSkinBuilder::kMaxIncludeDepth + 4;
    for (int i = 0; i < kFiles; ++i) {
        std::string next = "<Include source=\"chain" + std::to_string(i + 1) + ".xml\"/>";
        WriteFileBytes(folder.Path() + L"\\chain" + std::to_wstring(i) + L".xml",
                       "<Window><Label text=\"" + std::to_string(i) + "\"/>" + next + "</Window>");
    }
    CWindowManagerUI::SetResourceFolder(folder.Path());
    size_t logStart = LogSize();
    ASSERT_NE(builder.Build(L"chain0.xml", nullptr, nullptr, nullptr, parent), nullptr);
    ASSERT_EQ(Children(), CSkinBuilder::kMaxIncludeDepth + 1);
    EXPECT_EQ(Child(CSkinBuilder::kMaxIncludeDepth)->GetText(), L"16");
    EXPECT_NE(LogSince(logStart).find("skin include chain17.xml lies more than 16 includes deep"), std::string::npos);
}

TEST_F(SkinBuilderTest, IncludeCountIsBoundedByTheDocumentsOneBuildMayInclude) {
    size_t logStart = LogSize();
    DWORD start = GetTickCount();
    Build(L"<Window><Include count=\"1000000\" source=\"row.xml\"/><Label name=\"after\"/></Window>");
    EXPECT_LT(GetTickCount() - start, 10000u);
    ASSERT_EQ(Children(), CSkinBuilder::kMaxIncludes + 1);
    EXPECT_EQ(Child(CSkinBuilder::kMaxIncludes)->GetName(), L"after");
    EXPECT_NE(LogSince(logStart).find("includes more than 256 documents"), std::string::npos);
}

TEST_F(SkinBuilderTest, ControlsBeyondTheLimitOfOneBuildAreSkipped) {
    std::wstring markup = L"<Window>";
    for (int i = 0; i < CSkinBuilder::kMaxControls + 5; ++i) markup += L"<Control/>";
    markup += L"</Window>";
    size_t logStart = LogSize();
    Build(markup.c_str());
    EXPECT_EQ(Children(), CSkinBuilder::kMaxControls);
    EXPECT_NE(LogSince(logStart).find("has more than 10000 controls"), std::string::npos);
}

TEST_F(SkinBuilderTest, NestingDeeperThanTheLimitIsCutAndTheMarkupStackIsNotTheMachines) {
    // Far deeper than a machine stack takes one frame per level.
    constexpr int kLevels = 100000;
    std::wstring markup = L"<Window>";
    for (int i = 0; i < kLevels; ++i) markup += L"<VerticalLayout>";
    for (int i = 0; i < kLevels; ++i) markup += L"</VerticalLayout>";
    markup += L"</Window>";
    size_t logStart = LogSize();
    ASSERT_NE(Build(markup.c_str()), nullptr);
    ASSERT_EQ(Children(), 1);
    EXPECT_EQ(Depth(Child(0)) + 1, CSkinBuilder::kMaxNesting);
    EXPECT_NE(LogSince(logStart).find("deeper than 128 controls"), std::string::npos);
}

// ---- resource elements ------------------------------------------------------------

TEST_F(SkinBuilderTest, ResourceElementsUnderTheRootRegister) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window>"
          L"<Font id=\"3\" name=\"Arial\" size=\"20\" bold=\"TRUE\"/>"
          L"<Image name=\"#FF00FF00\" restype=\"*COLOR*\"/>"
          L"<Default name=\"Label\" value=\"text=&quot;from default&quot;\"/>"
          L"<MultiLanguage id=\"7101\" value=\"localized\"/>"
          L"<Label/></Window>",
          &windowed);
    const FontRecord* font = windowed.FontRecordById(3);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->face, L"Arial");
    EXPECT_EQ(font->size, 20);
    EXPECT_TRUE(font->bold);
    EXPECT_NE(windowed.ImageByName(L"#FF00FF00"), nullptr);
    EXPECT_STREQ(windowed.ClassDefaults(L"Label"), L"text=\"from default\"");
    EXPECT_STREQ(CWindowManagerUI::LocalizedText(7101), L"localized");
}

TEST_F(SkinBuilderTest, FontWithoutIdOrWithNegativeIdRegistersNothingEvenAsDefault) {
    CWindowManagerUI& windowed = WindowedManager();
    CUiString standardFace = windowed.StandardFontRecord()->face;
    Build(L"<Window><Font name=\"Courier New\" size=\"21\" default=\"true\"/>"
          L"<Font id=\"-1\" name=\"Courier New\" size=\"22\" default=\"true\"/>"
          L"<Font id=\"4\" size=\"23\"/></Window>",
          &windowed);
    EXPECT_EQ(windowed.FontIdMatching(L"Courier New", 21, false, false, false), -1);
    EXPECT_EQ(windowed.FontIdMatching(L"Courier New", 22, false, false, false), -1);
    EXPECT_EQ(windowed.FontById(4), nullptr);  // no name
    EXPECT_EQ(windowed.StandardFontRecord()->face, standardFace);
}

TEST_F(SkinBuilderTest, DefaultFontReplacesTheStandardFont) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window><Font id=\"0\" name=\"Courier New\" size=\"19\" default=\"True\"/></Window>", &windowed);
    EXPECT_EQ(windowed.StandardFontRecord()->face, L"Courier New");
    EXPECT_EQ(windowed.StandardFontRecord()->size, 19);
}

TEST_F(SkinBuilderTest, ResourceElementsInsideALayoutAreIgnored) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window><VerticalLayout>"
          L"<Font id=\"5\" name=\"Arial\"/><Default name=\"Button\" value=\"text=&quot;x&quot;\"/>"
          L"<Image name=\"#FF0000FF\" restype=\"*COLOR*\"/><MultiLanguage id=\"7102\" value=\"never\"/>"
          L"<Button/></VerticalLayout></Window>",
          &windowed);
    EXPECT_EQ(windowed.FontById(5), nullptr);
    EXPECT_EQ(windowed.ClassDefaults(L"Button"), nullptr);
    EXPECT_EQ(windowed.ImageByName(L"#FF0000FF"), nullptr);
    EXPECT_EQ(CWindowManagerUI::LocalizedText(7102), nullptr);
    ASSERT_EQ(Children(), 1);
    auto* layout = static_cast<IContainerUI*>(Child(0)->CastTo(L"IContainer"));
    ASSERT_EQ(layout->GetCount(), 1);
    EXPECT_EQ(layout->GetItemAt(0)->GetText(), L"");
}

TEST_F(SkinBuilderTest, ResourceElementsRegisterNothingWithoutAManager) {
    Build(L"<Window><MultiLanguage id=\"7103\" value=\"unseen\"/><Label/></Window>");
    EXPECT_EQ(CWindowManagerUI::LocalizedText(7103), nullptr);
    EXPECT_EQ(Children(), 1);
}

TEST_F(SkinBuilderTest, AttributeGivenTwiceCountsWithItsLaterValue) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window><Font id=\"6\" name=\"Arial\" size=\"11\" SIZE=\"17\"/></Window>", &windowed);
    ASSERT_NE(windowed.FontRecordById(6), nullptr);
    EXPECT_EQ(windowed.FontRecordById(6)->size, 17);
}

// ---- window attributes --------------------------------------------------------------

TEST_F(SkinBuilderTest, WindowRootResizesTheWindowBeforeTheRootControlExists) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window size=\"650,360\" sizebox=\"4,4,4,4\" caption=\"0,0,0,290\" roundcorner=\"8,8\"><Control/></Window>",
          &windowed);
    ASSERT_EQ(windowed.Root(), nullptr);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 650);
    EXPECT_EQ(rect.bottom - rect.top, 360);
    EXPECT_EQ(rect.left, 10);  // not moved
    EXPECT_EQ(windowed.CaptionArea().bottom, 290);
    EXPECT_EQ(windowed.ResizeBorders().left, 4);
    EXPECT_EQ(windowed.CornerRounding().cx, 8);
}

TEST_F(SkinBuilderTest, WindowAttributesNeedAWindowRoot) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Page size=\"650,360\" caption=\"0,0,0,290\"><Control/></Page>", &windowed);
    EXPECT_EQ(windowed.CaptionArea().bottom, 0);
    EXPECT_EQ(windowed.StartSize().cx, 0);
    EXPECT_EQ(Children(), 1);
}

TEST_F(SkinBuilderTest, WindowAttributesNeedAManagerWithAWindow) {
    CWindowManagerUI unattached;
    Build(L"<window caption=\"0,0,0,290\"><Control/></window>", &unattached);
    EXPECT_EQ(unattached.CaptionArea().bottom, 0);
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<window caption=\"0,0,0,290\"/>", &windowed);
    EXPECT_EQ(windowed.CaptionArea().bottom, 290);  // "Window" in any case
}

// ---- attributes, defaults, covers ---------------------------------------------------

TEST_F(SkinBuilderTest, ElementAttributesOverrideTheClassDefaults) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window><Default name=\"Label\" value=\"text=&quot;from default&quot; tooltip=&quot;tip&quot;\"/>"
          L"<Label name=\"a\"/><Label name=\"b\" text=\"own\"/><Button name=\"c\"/></Window>",
          &windowed);
    ASSERT_EQ(Children(), 3);
    EXPECT_EQ(Child(0)->GetText(), L"from default");
    EXPECT_EQ(Child(1)->GetText(), L"own");
    EXPECT_EQ(Child(1)->GetToolTip(), L"tip");
    EXPECT_EQ(Child(2)->GetText(), L"");
}

TEST_F(SkinBuilderTest, LaterAttributesOverrideEarlierOnes) {
    Build(L"<Window><Label text=\"first\" text=\"second\"/></Window>");
    ASSERT_EQ(Children(), 1);
    EXPECT_EQ(Child(0)->GetText(), L"second");
}

TEST_F(SkinBuilderTest, CoverTrueMakesTheParentsCoverInsteadOfAChild) {
    Build(L"<Window><VerticalLayout><Control name=\"c\" cover=\"true\"/><Control name=\"d\" cover=\"True\"/>"
          L"</VerticalLayout></Window>");
    ASSERT_EQ(Children(), 1);
    CControlUI* layout = Child(0);
    ASSERT_NE(layout->GetCover(), nullptr);
    EXPECT_EQ(layout->GetCover()->GetName(), L"c");
    auto* container = static_cast<IContainerUI*>(layout->CastTo(L"IContainer"));
    ASSERT_EQ(container->GetCount(), 1);
    EXPECT_EQ(container->GetItemAt(0)->GetName(), L"d");
}

TEST_F(SkinBuilderTest, ControlsDestroyedBeforeTheirTreeIsAttachedLeaveNoNameOrGroupBehind) {
    CWindowManagerUI& windowed = WindowedManager();
    // The layout cannot go into the label: it is destroyed with its option, which the
    // build had already registered by name and group.
    Build(L"<Window><Label><HorizontalLayout><Option name=\"lost\" group=\"g\"/></HorizontalLayout></Label>"
          L"<Option name=\"kept\" group=\"g\"/></Window>",
          &windowed);
    ASSERT_EQ(Children(), 2);
    EXPECT_EQ(windowed.ControlNamed(L"lost"), nullptr);
    const CPtrArray* group = windowed.OptionGroup(L"g");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetSize(), 1);
    EXPECT_EQ(group->GetAt(0), Child(1));
    // And a control destroyed while detached from a manager it never belonged to.
    auto* loose = new CLabelUI;
    loose->AttachToManager(&windowed, nullptr, false);
    loose->SetName(L"loose");
    loose->AttachToManager(nullptr, nullptr, false);
    ASSERT_EQ(windowed.ControlNamed(L"loose"), loose);
    loose->Destroy();
    EXPECT_EQ(windowed.ControlNamed(L"loose"), nullptr);
}

TEST_F(SkinBuilderTest, ChildrenKnowTheirParentAndTheTreeIsDetachedFromTheManagerAfterwards) {
    CWindowManagerUI& windowed = WindowedManager();
    Build(L"<Window><VerticalLayout name=\"outer\"><Label name=\"inner\"/></VerticalLayout></Window>", &windowed);
    ASSERT_EQ(Children(), 1);
    CControlUI* outer = Child(0);
    CControlUI* inner = static_cast<IContainerUI*>(outer->CastTo(L"IContainer"))->GetItemAt(0);
    EXPECT_EQ(inner->GetParent(), outer);
    EXPECT_EQ(outer->GetManager(), nullptr);
    EXPECT_EQ(inner->GetManager(), nullptr);
}

}  // namespace
