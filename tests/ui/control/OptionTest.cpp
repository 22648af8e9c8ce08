// Options and check boxes: toggling, groups through the window manager, the order
// of "click" and "selectchanged", silent selection, selected images and colours.

#include "ui/control/Option.h"

#include <gtest/gtest.h>

#include <string>

#include "ControlTestHost.h"
#include "TestSupport.h"
#include "ui/control/Container.h"

using namespace Veneer;
using namespace ControlTest;

namespace {

std::wstring Picture(const wchar_t* name) { return TestDataPath(std::wstring(L"controls\\") + name); }

// The skin's check box pictures: a 14 x 14 box 8 pixels below the top.
std::wstring BoxImage(const wchar_t* name) {
    return L"file='" + Picture(name) + L"' dest='0,8,14,22'";
}

}  // namespace

TEST(OptionAttributes, WordsAndInitialState) {
    CCheckBoxUI box;
    EXPECT_STREQ(box.GetTypeName(), L"CheckBox");
    CControlUI* control = &box;
    EXPECT_EQ(box.CastTo(L"CheckBox"), control);
    EXPECT_EQ(box.CastTo(L"Option"), control);
    EXPECT_EQ(box.CastTo(L"Button"), control);
    EXPECT_EQ(box.CastTo(L"Control"), control);
    EXPECT_FALSE(box.IsSelected());
    COptionUI option;
    EXPECT_EQ(option.CastTo(L"CheckBox"), nullptr);
}

TEST(OptionAttributes, WithoutAManagerOnlyTheFlagChanges) {
    COptionUI option;
    option.ApplyAttribute(L"selected", L"true");
    EXPECT_TRUE(option.IsSelected());
    EXPECT_NE(option.GetState() & kStateSelected, 0u);
    option.SetSelected(false);
    EXPECT_EQ(option.GetState() & kStateSelected, 0u);
}

class OptionWindowTest : public WindowTest {
protected:
    void SetUp() override {
        root = new CContainerUI;
        root->SetBackColor(0xFFFFFFFF);
        Attach(root);
        manager().FocusControl(nullptr, true);
    }
    template <class Option>
    Option* Make(const wchar_t* attributes) {
        // As the skin builder does: attributes applied while attached without a parent.
        auto* option = new Option;
        option->AttachToManager(&manager(), nullptr, false);
        option->ApplyAttributeString(attributes);
        option->AttachToManager(nullptr, nullptr, false);
        root->Add(option);
        Repaint(window());
        return option;
    }

    CContainerUI* root = nullptr;
};

TEST_F(OptionWindowTest, CheckBoxReportsClickThenSelectChangedAlternating) {
    auto* box = Make<CCheckBoxUI>(L"float=\"true\" pos=\"10,10,110,40\"");
    Click(window(), 50, 20);
    EXPECT_TRUE(box->IsSelected());
    Click(window(), 50, 20);
    EXPECT_FALSE(box->IsSelected());
    std::vector<std::wstring> expected = {L"click", L"selectchanged", L"click", L"selectchanged"};
    EXPECT_EQ(recorder.Types(), expected);
    for (const UiNotify& n : recorder.got) {
        if (n.type == L"click" || n.type == L"selectchanged") {
            EXPECT_EQ(n.sender, box);
        }
    }
}

TEST_F(OptionWindowTest, GroupSelectsOneAndOnlyItReports) {
    auto* first = Make<COptionUI>(L"float=\"true\" pos=\"10,10,60,40\" group=\"tabs\" selected=\"true\"");
    auto* second = Make<COptionUI>(L"float=\"true\" pos=\"100,10,150,40\" group=\"tabs\"");
    ASSERT_NE(manager().OptionGroup(L"tabs"), nullptr);
    EXPECT_EQ(manager().OptionGroup(L"tabs")->GetSize(), 2);  // joined once each
    recorder.got.clear();
    Click(window(), 120, 20);
    EXPECT_TRUE(second->IsSelected());
    EXPECT_FALSE(first->IsSelected());
    std::vector<std::wstring> expected = {L"click", L"selectchanged"};
    EXPECT_EQ(recorder.Types(), expected);
    for (const UiNotify& n : recorder.got) {
        if (n.type == L"click" || n.type == L"selectchanged") {
            EXPECT_EQ(n.sender, second);
        }
    }
    recorder.got.clear();
    Click(window(), 120, 20);
    EXPECT_TRUE(second->IsSelected());
    expected = {L"click"};
    EXPECT_EQ(recorder.Types(), expected);
}

TEST_F(OptionWindowTest, SelectedAttributeDeselectsTheRegisteredMembers) {
    auto* first = Make<COptionUI>(L"group=\"g\" selected=\"true\"");
    recorder.got.clear();
    auto* second = Make<COptionUI>(L"group=\"g\" selected=\"true\"");
    EXPECT_FALSE(first->IsSelected());
    EXPECT_TRUE(second->IsSelected());
    EXPECT_EQ(recorder.Count(L"selectchanged"), 1);
}

TEST_F(OptionWindowTest, SilentSelection) {
    auto* box = Make<CCheckBoxUI>(L"");
    box->SetSelected(true, false);
    EXPECT_TRUE(box->IsSelected());
    EXPECT_EQ(recorder.Count(L"selectchanged"), 0);
}

TEST_F(OptionWindowTest, DestroyedOptionLeavesItsGroup) {
    auto* first = Make<COptionUI>(L"group=\"g\"");
    Make<COptionUI>(L"group=\"g\"");
    root->SetDefersChildDeletion(false);
    root->Remove(first);
    EXPECT_EQ(manager().OptionGroup(L"g")->GetSize(), 1);
}

TEST_F(OptionWindowTest, HiddenOrDisabledOptionDoesNothingOnActivate) {
    auto* box = Make<CCheckBoxUI>(L"");
    box->SetEnabled(false);
    EXPECT_FALSE(box->Activate());
    box->SetEnabled(true);
    box->SetVisible(false);
    EXPECT_FALSE(box->Activate());
    EXPECT_FALSE(box->IsSelected());
    EXPECT_EQ(recorder.Count(L"click"), 0);
}

TEST_F(OptionWindowTest, CheckBoxImagesFollowTheSelection) {
    auto* box = Make<CCheckBoxUI>(L"float=\"true\" pos=\"10,10,110,40\"");
    box->SetNormalImage(BoxImage(L"unchecked.png").c_str());
    box->SetSelectedImage(BoxImage(L"checked.png").c_str());
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 15, 25), RGB(200, 0, 0));
    EXPECT_EQ(PixelAt(window(), 15, 15), RGB(255, 255, 255));  // above the box's dest
    box->SetSelected(true, false);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 15, 25), RGB(0, 128, 0));
}

TEST_F(OptionWindowTest, DisabledSelectedBoxKeepsItsStateAndLook) {
    auto* box = Make<CCheckBoxUI>(L"float=\"true\" pos=\"10,10,110,40\"");
    box->SetNormalImage(BoxImage(L"unchecked.png").c_str());
    box->SetSelectedImage(BoxImage(L"checked.png").c_str());
    box->SetSelected(true, false);
    box->SetEnabled(false);
    EXPECT_EQ(box->GetState(), UINT{kStateSelected});
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 15, 25), RGB(0, 128, 0));
    box->SetEnabled(true);
    Mouse(window(), WM_MOUSEMOVE, 50, 20);
    EXPECT_NE(box->GetState() & kStateHot, 0u);
}

TEST_F(OptionWindowTest, PressingNeverShowsThePushedImage) {
    auto* option = Make<COptionUI>(L"float=\"true\" pos=\"10,10,110,40\"");
    option->SetFiveStatusImage(Picture(L"five.png").c_str());
    Mouse(window(), WM_MOUSEMOVE, 50, 20);
    Mouse(window(), WM_LBUTTONDOWN, 50, 20);
    ASSERT_NE(option->GetState() & kStatePushed, 0u);
    Repaint(window());
    EXPECT_NE(PixelAt(window(), 50, 20), RGB(0, 255, 0));  // the pushed column
    EXPECT_NE(option->GetState() & kStatePushed, 0u);     // the state itself is kept
    Mouse(window(), WM_LBUTTONUP, 50, 20);
}

TEST_F(OptionWindowTest, SelectedTextColourLeavesTheNormalOneIntact) {
    auto* option = Make<COptionUI>(L"textcolor=\"#FF112233\" selectedtextcolor=\"#FF445566\"");
    option->SetSelected(true, false);
    Repaint(window());
    EXPECT_EQ(option->GetTextColor(), 0xFF112233u);
    option->SetText(L"later");
    Repaint(window());
    EXPECT_EQ(option->GetTextColor(), 0xFF112233u);
}

TEST_F(OptionWindowTest, SelectedBackgroundColourWithoutSelectedImage) {
    auto* option = Make<COptionUI>(L"float=\"true\" pos=\"10,10,110,40\" selectedbkcolor=\"#FF0000FF\"");
    option->SetSelected(true, false);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 50, 20), RGB(0, 0, 255));
}
