// The edit field with its native editor: opening on focus, the editor's place,
// typing into the real edit window, "textchanged" and "return", limits,
// password display, read-only and number-only, closing on focus loss.

#include "ui/control/Edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlTestHost.h"
#include "ui/control/Button.h"
#include "ui/control/Container.h"

using namespace Veneer;
using namespace ControlTest;

namespace {

constexpr int kEditFont = 7;

// Posts the key presses of a text to a window and lets the loop translate them,
// as typing does.
void Type(HWND window, const wchar_t* text) {
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        SHORT scan = VkKeyScanW(*p);
        UINT key = LOBYTE(scan);
        LPARAM down = 1 | (static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16);
        PostMessageW(window, WM_KEYDOWN, key, down);
        PostMessageW(window, WM_KEYUP, key, down | 0xC0000000);
        Pump();
    }
}

// Makes the creation of native editors fail after their object is bound to the
// window: the window is made and destroyed again inside CreateWindowEx.
WNDPROC g_editorProc = nullptr;

LRESULT CALLBACK RefuseCreation(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return -1;
    return CallWindowProcW(g_editorProc, window, message, wParam, lParam);
}

LRESULT CALLBACK RefuseEditors(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto* created = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        GetClassNameW(created, className, 32);
        if (wcscmp(className, L"EditWnd") == 0) {
            g_editorProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(created, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefuseCreation)));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// An edit that tells when it is deleted.
class ProbeEdit : public CEditUI {
public:
    bool* destroyed = nullptr;
    ~ProbeEdit() override {
        if (destroyed != nullptr) *destroyed = true;
    }
};

RECT ChildRect(HWND child, HWND parent) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

TEST(EditAttributes, InitialValuesAndSetters) {
    CEditUI edit;
    EXPECT_EQ(edit.GetTextPadding(), Rect(4, 3, 4, 3));
    EXPECT_EQ(edit.GetBackColor(), 0xFFFFFFFFu);
    EXPECT_EQ(edit.GetMaxChars(), 255);
    EXPECT_EQ(edit.GetPasswordChar(), L'*');
    EXPECT_EQ(edit.GetNativeBkColor(), 0xFFFFFFFFu);
    EXPECT_EQ(edit.GetInputFlags(), UINT{kInputSetCursor | kInputTabStop});
    edit.ApplyAttributeString(
        L"readonly=\"true\" numberonly=\"true\" password=\"true\" autoselall=\"true\" maxchar=\"5\" "
        L"nativebkcolor=\"#FF102030\"");
    EXPECT_TRUE(edit.IsReadOnly());
    EXPECT_TRUE(edit.IsNumberOnly());
    EXPECT_EQ(edit.GetExtraStyle(), DWORD{ES_NUMBER});
    EXPECT_TRUE(edit.IsPasswordMode());
    EXPECT_TRUE(edit.IsAutoSelectAll());
    EXPECT_EQ(edit.GetMaxChars(), 5);
    EXPECT_EQ(edit.GetNativeBkColor(), 0xFF102030u);
    edit.SetEnabled(false);
    EXPECT_EQ(edit.GetInputFlags(), 0u);
    EXPECT_EQ(edit.GetNativeHandle(), nullptr);
}

class EditWindowTest : public WindowTest {
protected:
    void SetUp() override {
        root = new CContainerUI;
        root->SetBackColor(0xFFFFFFFF);
        edit = new ProbeEdit;
        edit->destroyed = &destroyed;
        edit->ApplyAttributeString(L"float=\"true\" pos=\"10,10,210,42\" font=\"7\"");
        other = new CButtonUI;
        other->ApplyAttributeString(L"float=\"true\" pos=\"10,60,110,90\" text=\"Browse\"");
        root->Add(edit);
        root->Add(other);
        Attach(root, 300, 120);
        // A font of exactly 19 pixels, as the installer's edit uses.
        for (int size = 10; size < 30 && fontHeight != 19; ++size) {
            manager().RegisterFont(kEditFont, L"Tahoma", size, false, false, false);
            fontHeight = manager().FontRecordById(kEditFont)->metrics.tmHeight;
        }
        manager().FocusControl(nullptr, true);
        recorder.got.clear();
        recorder.onReceive = [this](const UiNotify& n) {
            if (n.type == L"textchanged") texts.emplace_back(edit->GetText().GetData());
        };
    }
    void TearDown() override {
        recorder.onReceive = nullptr;
        // The edit stays in the shared window until the next test's tree replaces it.
        if (!destroyed) edit->destroyed = nullptr;
        WindowTest::TearDown();
    }
    HWND Open() {
        manager().FocusControl(edit, true);
        return edit->GetNativeHandle();
    }
    std::wstring NativeText() {
        wchar_t buffer[300] = {};
        GetWindowTextW(edit->GetNativeHandle(), buffer, 300);
        return buffer;
    }

    CContainerUI* root = nullptr;
    ProbeEdit* edit = nullptr;
    bool destroyed = false;
    CButtonUI* other = nullptr;
    int fontHeight = 0;
    std::vector<std::wstring> texts;
};

TEST_F(EditWindowTest, FocusOpensTheNativeWindowOverTheTextArea) {
    ASSERT_EQ(fontHeight, 19);
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(GetParent(native), window());
    EXPECT_EQ(GetFocus(), native);
    EXPECT_TRUE(IsWindowVisible(native));
    // 32 high, padding 3 above and below: a 26-pixel area, the window 7 shorter, 3 below its top.
    EXPECT_EQ(ChildRect(native, window()), Rect(14, 16, 206, 35));
    EXPECT_EQ(recorder.Count(L"textchanged"), 0);
}

TEST_F(EditWindowTest, TypingReportsEachChangeWithTheTextSoFar) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    Type(native, L"abc");
    EXPECT_EQ(NativeText(), L"abc");
    EXPECT_EQ(edit->GetText(), L"abc");
    std::vector<std::wstring> expected = {L"a", L"ab", L"abc"};
    EXPECT_EQ(texts, expected);
    for (const UiNotify& n : recorder.got) {
        if (n.type == L"textchanged") {
            EXPECT_EQ(n.sender, edit);
        }
    }
}

TEST_F(EditWindowTest, OpeningWithTextReportsNothing) {
    edit->SetText(L"C:\\Program Files");
    EXPECT_EQ(recorder.Count(L"textchanged"), 0);  // closed: nothing to report
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(NativeText(), L"C:\\Program Files");
    EXPECT_EQ(recorder.Count(L"textchanged"), 0);
}

TEST_F(EditWindowTest, SetTextWhileOpenUpdatesTheWindowAndReports) {
    ASSERT_NE(Open(), nullptr);
    edit->SetText(L"D:\\Games");
    EXPECT_EQ(NativeText(), L"D:\\Games");
    EXPECT_EQ(recorder.Count(L"textchanged"), 1);
}

TEST_F(EditWindowTest, ReturnReportsAndInsertsNothing) {
    edit->SetText(L"abc");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    Type(native, L"\r");
    EXPECT_EQ(recorder.Count(L"return"), 1);
    EXPECT_EQ(recorder.Count(L"textchanged"), 0);
    EXPECT_EQ(edit->GetText(), L"abc");
}

TEST_F(EditWindowTest, MaxCharLimitsTheNativeWindow) {
    edit->ApplyAttribute(L"maxchar", L"5");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    Type(native, L"abcdefg");
    EXPECT_EQ(edit->GetText(), L"abcde");
    edit->SetMaxChars(6);  // applied to the open window at once
    Type(native, L"xy");
    EXPECT_EQ(edit->GetText(), L"abcdex");
}

TEST_F(EditWindowTest, ReadOnlyRefusesTyping) {
    edit->SetText(L"fixed");
    edit->ApplyAttribute(L"readonly", L"true");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    EXPECT_NE(GetWindowLongW(native, GWL_STYLE) & ES_READONLY, 0);
    Type(native, L"zz");
    EXPECT_EQ(edit->GetText(), L"fixed");
}

TEST_F(EditWindowTest, NumberOnlyTakesDigits) {
    edit->ApplyAttribute(L"numberonly", L"true");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    EXPECT_NE(GetWindowLongW(native, GWL_STYLE) & ES_NUMBER, 0);
    Type(native, L"1a2");
    EXPECT_EQ(edit->GetText(), L"12");
}

TEST_F(EditWindowTest, PasswordWindowMasksAndClosedEditShowsStars) {
    edit->ApplyAttribute(L"password", L"true");
    edit->SetText(L"secret");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    EXPECT_NE(GetWindowLongW(native, GWL_STYLE) & ES_PASSWORD, 0);
    EXPECT_EQ(SendMessageW(native, EM_GETPASSWORDCHAR, 0, 0), L'*');
}

TEST_F(EditWindowTest, CaretAtTheEndOrEverythingSelected) {
    edit->SetText(L"hello");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    DWORD start = 0, end = 0;
    SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 5u);
    EXPECT_EQ(end, 5u);
    manager().FocusControl(other, true);
    Pump();
    ASSERT_EQ(edit->GetNativeHandle(), nullptr);
    edit->SetAutoSelectAll(true);
    native = Open();
    ASSERT_NE(native, nullptr);
    SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 5u);
}

TEST_F(EditWindowTest, TheOpeningClickPlacesTheCaretWhereItWas) {
    edit->SetText(L"hello");
    Click(window(), 15, 26);  // the left edge of the text area
    HWND native = edit->GetNativeHandle();
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(edit->IsFocused());
    DWORD start = 99, end = 99;
    SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
}

TEST_F(EditWindowTest, WithSelectAllTheOpeningClickKeepsTheSelection) {
    edit->SetText(L"hello");
    edit->SetAutoSelectAll(true);
    Click(window(), 15, 26);
    HWND native = edit->GetNativeHandle();
    ASSERT_NE(native, nullptr);
    DWORD start = 99, end = 99;
    SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 5u);
}

TEST_F(EditWindowTest, ClickingOutsideClosesTheWindowAndKeepsTheText) {
    edit->SetBorderColor(0xFF808080);
    edit->SetFocusBorderColor(0xFF0000FF);
    edit->SetBorderSize(1);
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    Type(native, L"kept");
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 10, 26), RGB(0, 0, 255));
    Click(window(), 50, 75);
    Pump();
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
    EXPECT_FALSE(IsWindow(native));
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(edit->GetText(), L"kept");
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 10, 26), RGB(0x80, 0x80, 0x80));
}

TEST_F(EditWindowTest, HidingTheEditClosesTheWindow) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    edit->SetVisible(false);
    Pump();
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
    EXPECT_FALSE(IsWindow(native));
}

TEST_F(EditWindowTest, HidingAnAncestorClosesTheWindow) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    root->SetVisible(false);
    Pump();
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
    root->SetVisible(true);
}

TEST_F(EditWindowTest, DisabledEditNeverOpens) {
    edit->SetEnabled(false);
    manager().FocusControl(edit, true);
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
    Click(window(), 100, 26);
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
}

TEST_F(EditWindowTest, DestroyingTheEditClosesItsWindow) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    root->SetDefersChildDeletion(false);
    root->Remove(edit);
    EXPECT_FALSE(IsWindow(native));
}

TEST_F(EditWindowTest, ClosedPasswordEditPaintsStars) {
    // The same pixels as an edit whose text is the stars themselves.
    edit->ApplyAttribute(L"textcolor", L"#FF000000");
    edit->SetText(L"***");
    Repaint(window());
    std::vector<COLORREF> plain;
    for (int x = 10; x < 60; ++x) plain.push_back(PixelAt(window(), x, 26));
    edit->SetText(L"abc");
    edit->SetPasswordMode(true);
    Repaint(window());
    std::vector<COLORREF> masked;
    for (int x = 10; x < 60; ++x) masked.push_back(PixelAt(window(), x, 26));
    EXPECT_EQ(plain, masked);
}

TEST_F(EditWindowTest, NativeBackgroundColourPaintsTheEditor) {
    edit->ApplyAttribute(L"nativebkcolor", L"#FF00FF00");
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    RedrawWindow(native, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = GetDC(native);
    COLORREF inside = GetPixel(dc, 100, 5);
    ReleaseDC(native, dc);
    EXPECT_EQ(inside, RGB(0, 255, 0));
}

TEST_F(EditWindowTest, PlatformColoursByDefault) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    RedrawWindow(native, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = GetDC(native);
    COLORREF inside = GetPixel(dc, 100, 5);
    ReleaseDC(native, dc);
    EXPECT_EQ(inside, GetSysColor(COLOR_WINDOW));
}

// ---- what receivers may do --------------------------------------------------------

TEST_F(EditWindowTest, ReceiverOfAChangeMayMoveTheFocusAwayTheEditorClosesAfterwards) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    bool editorThereAfterTheMove = false;
    recorder.onReceive = [&](const UiNotify& n) {
        if (n.type != L"textchanged") return;
        manager().FocusControl(other, true);
        editorThereAfterTheMove = IsWindow(native) != FALSE;
    };
    Type(native, L"x");
    EXPECT_TRUE(editorThereAfterTheMove);  // it closes by a posted request, not inside its own report
    Pump();
    EXPECT_FALSE(IsWindow(native));
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
    EXPECT_EQ(edit->GetText(), L"x");
    EXPECT_EQ(manager().FocusedControl(), other);
    // It opens again as before.
    EXPECT_NE(Open(), nullptr);
}

TEST_F(EditWindowTest, ReceiverOfAChangeMayDestroyTheEdit) {
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    bool destroyedInTheReport = true;
    recorder.onReceive = [&](const UiNotify& n) {
        if (n.type != L"textchanged") return;
        root->SetDefersChildDeletion(false);
        root->Remove(edit);
        destroyedInTheReport = destroyed;
    };
    Type(native, L"x");
    EXPECT_FALSE(destroyedInTheReport);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(native));
}

TEST_F(EditWindowTest, EditorThatFailsToOpenIsDeletedOnceAndTheNextOpens) {
    HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseEditors, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    manager().FocusControl(edit, true);
    UnhookWindowsHookEx(hook);
    EXPECT_NE(g_editorProc, nullptr);  // the creation went as far as the refusal
    EXPECT_EQ(edit->GetNativeHandle(), nullptr);
    manager().FocusControl(nullptr, true);
    EXPECT_NE(Open(), nullptr);
}

// ---- focus ----------------------------------------------------------------------------

TEST_F(EditWindowTest, EditInAHiddenContainerTakesNoFocusAndOpensNoEditor) {
    auto* box = new CContainerUI;
    box->ApplyAttributeString(L"float=\"true\" pos=\"10,95,210,119\"");
    auto* inner = new CEditUI;
    box->Add(inner);
    root->Add(box);
    box->SetVisible(false);
    EXPECT_FALSE(inner->IsVisible());
    manager().FocusControl(inner, true);
    EXPECT_NE(manager().FocusedControl(), inner);
    EXPECT_EQ(inner->GetNativeHandle(), nullptr);
    // Added to a container that is hidden already.
    auto* late = new CEditUI;
    box->Add(late);
    manager().FocusControl(late, true);
    EXPECT_NE(manager().FocusedControl(), late);
    EXPECT_EQ(late->GetNativeHandle(), nullptr);
    // Shown again, it takes the focus as any edit does.
    box->SetVisible(true);
    Repaint(window());
    manager().FocusControl(inner, true);
    EXPECT_EQ(manager().FocusedControl(), inner);
    EXPECT_NE(inner->GetNativeHandle(), nullptr);
}

TEST_F(EditWindowTest, HidingTheContainerOfTheFocusedEditTakesItsFocus) {
    auto* box = new CContainerUI;
    box->ApplyAttributeString(L"float=\"true\" pos=\"10,95,210,119\"");
    auto* inner = new CEditUI;
    box->Add(inner);
    root->Add(box);
    Repaint(window());
    manager().FocusControl(inner, true);
    ASSERT_NE(inner->GetNativeHandle(), nullptr);
    box->SetVisible(false);
    Pump();
    EXPECT_NE(manager().FocusedControl(), inner);
    EXPECT_FALSE(inner->IsFocused());
    EXPECT_EQ(inner->GetNativeHandle(), nullptr);
}

TEST_F(EditWindowTest, EditorClosedByFocusLeavingForAnotherWindowLeavesTheEditUnfocused) {
    edit->SetFocusBorderColor(0xFF0000FF);
    edit->SetBorderColor(0xFF808080);
    edit->SetBorderSize(1);
    HWND native = Open();
    ASSERT_NE(native, nullptr);
    HostWindow other;
    ASSERT_NE(other.Create(20, 20), nullptr);
    SetFocus(other.GetHWND());
    Pump();
    EXPECT_FALSE(IsWindow(native));
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(manager().FocusedControl(), nullptr);
    EXPECT_EQ(recorder.Count(L"killfocus"), 1);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 10, 26), RGB(0x80, 0x80, 0x80));
}
