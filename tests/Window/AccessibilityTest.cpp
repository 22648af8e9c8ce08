// The installer's window as a screen reader sees it from another process: the
// accessibility client program reads the whole tree (names from the language data,
// roles, states, places) and it must match the controls on screen in both directions;
// it follows the focus events while it presses Tab; it unticks and ticks the licence
// box and presses Install through their default actions; and it hears the progress
// at most once a second. Runs in English in ctest "frame" and in Arabic (right to
// left) in "frame-arabic".

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "Window/InstallerFrameWnd.h"
#include "Window/UserDialogs.h"
#include "ui/control/Control.h"
#include "ui/control/Option.h"
#include "ui/core/DrawEngine.h"

using namespace Veneer;

namespace {

// No dialog: every question is answered No (and counted), the folder picker is cancelled.
class SilentDialogs final : public IUserDialogs {
public:
    int questions = 0;
    int ShowMessage(HWND, const std::wstring&, const std::wstring&, UINT) override {
        ++questions;
        return IDNO;
    }
    bool BrowseForFolder(HWND, const std::wstring&, std::wstring&) override { return false; }
    bool AskProxyLogin(HWND, const std::wstring&, const std::wstring&, const std::wstring&, bool, std::wstring&,
                       std::wstring&) override
    {
        return false;
    }
};

// One report line of the client: its kind and its key=value fields.
struct Line {
    std::string kind;
    std::map<std::string, std::wstring> fields;
    const std::wstring& operator[](const char* key) const {
        static const std::wstring none;
        auto found = fields.find(key);
        return found != fields.end() ? found->second : none;
    }
};

long Role(const Line& line) { return wcstol(line["rolecode"].c_str(), nullptr, 10); }
bool Has(const Line& line, long state) { return (wcstoul(line["statecode"].c_str(), nullptr, 16) & state) != 0; }

std::vector<Line> ParseReport(const std::string& text) {
    std::vector<Line> lines;
    std::istringstream input(text);
    std::string row;
    while (std::getline(input, row)) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (row.empty()) continue;
        Line line;
        std::istringstream fields(row);
        std::string field;
        std::getline(fields, line.kind, '\t');
        while (std::getline(fields, field, '\t')) {
            size_t equals = field.find('=');
            if (equals != std::string::npos) line.fields[field.substr(0, equals)] = ToWide(field.substr(equals + 1));
        }
        lines.push_back(line);
    }
    return lines;
}

// The lines of one kind; events in the order they arrived (the client reads an element
// while the next events come in, so its lines may be out of order; t= orders them).
std::vector<Line> Only(const std::vector<Line>& lines, const char* kind, const char* eventKind = nullptr) {
    std::vector<Line> chosen;
    for (const Line& line : lines) {
        if (line.kind == kind && (eventKind == nullptr || line["kind"] == ToWide(eventKind))) chosen.push_back(line);
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Line& a, const Line& b) {
        return wcstol(a["t"].c_str(), nullptr, 10) < wcstol(b["t"].c_str(), nullptr, 10);
    });
    return chosen;
}

void PumpWindowMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (!CWindowManagerUI::PreDispatch(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// Starts the client; the window's messages keep flowing (the client's calls arrive
// through them) until it ends.
class Client {
public:
    Client(const std::wstring& arguments, const std::wstring& report) : report_(report) {
        DeleteFileW(report.c_str());
        std::wstring program = BuildPath(L"tools\\accessibility-client\\accessibility-client.exe");
        std::wstring commandLine = L"\"" + program + L"\" --out \"" + report + L"\" " + arguments;
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        started_ = CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process) != FALSE;
        if (started_) process_ = UniqueProcessInformation(process);
    }
    // Pumps until the client ends; its report, or none when it failed.
    std::vector<Line> Finish(DWORD timeoutMs = 60000) {
        EXPECT_TRUE(started_) << "the accessibility client did not start";
        if (!started_) return {};
        DWORD start = GetTickCount();
        HANDLE process = process_.process.Get();
        while (MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT) != WAIT_OBJECT_0) {
            PumpWindowMessages();
            if (GetTickCount() - start > timeoutMs) {
                TerminateProcess(process, 99);
                ADD_FAILURE() << "the accessibility client did not end";
                break;
            }
        }
        PumpWindowMessages();
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, 0u) << ReadFileBytes(report_);
        return ParseReport(ReadFileBytes(report_));
    }

private:
    std::wstring report_;
    UniqueProcessInformation process_;
    bool started_ = false;
};

CControlUI* CollectShown(CControlUI* control, void* data) {
    static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
    return nullptr;
}

bool ShownWithAncestors(CControlUI* control) {
    for (CControlUI* c = control; c != nullptr; c = c->GetParent()) {
        if (!c->IsVisible()) return false;
    }
    return control->GetWidth() > 0 && control->GetHeight() > 0;
}

std::wstring At(HWND window, const CControlUI* control) {
    RECT rect = control->GetRect();
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
    return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
           std::to_wstring(rect.right - rect.left) + L"x" + std::to_wstring(rect.bottom - rect.top);
}

class FrameAccessibility : public testing::Test {
protected:
    void SetUp() override {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        frame_.SetDialogs(&dialogs_);
        ASSERT_NE(nullptr, frame_.Open(nullptr, L"", 0x96C80000, 0));
        frame_.CenterOnOwner();
        ShowWindow(frame_.GetHWND(), SW_SHOWNORMAL);
        SetForegroundWindow(frame_.GetHWND());
        UpdateWindow(frame_.GetHWND());
        PumpWindowMessages();
        CreateDirectoryW(BuildPath(L"accessibility").c_str(), nullptr);
    }
    void TearDown() override {
        if (IsWindow(frame_.GetHWND())) DestroyWindow(frame_.GetHWND());
        PumpWindowMessages();
    }
    std::wstring Report(const wchar_t* name) {
        return BuildPath(L"accessibility\\") + name + (frame_.GetLanguage().IsRightToLeft() ? L"-rtl.txt" : L".txt");
    }
    CControlUI* Named(const wchar_t* name) { return frame_.Manager().ControlNamed(name); }
    std::wstring Text(const wchar_t* key) { return frame_.GetLanguage().GetText(key); }
    std::wstring LicenceWords() { return CDrawEngine::MarkupPlainText(Text(L"STR_LISENCE").c_str()); }
    // What a user sees and can use: every shown button, option, edit and progress bar,
    // and every shown text with words.
    std::vector<CControlUI*> ShownControls() {
        std::vector<CControlUI*> all, shown;
        frame_.Manager().Root()->FindInTree(CollectShown, &all, kFindVisible | kFindMeFirst);
        for (CControlUI* control : all) {
            if (!ShownWithAncestors(control)) continue;
            bool acts = control->CastTo(L"Button") || control->CastTo(L"Edit") || control->CastTo(L"Progress");
            bool says = control->CastTo(L"Label") && !CDrawEngine::MarkupPlainText(control->GetText()).empty();
            if (acts || says) shown.push_back(control);
        }
        return shown;
    }
    // Tab stops in visual order: rows from the top, each row in the reading direction.
    std::vector<CControlUI*> VisualTabOrder() {
        std::vector<CControlUI*> stops;
        for (CControlUI* control : ShownControls()) {
            if ((control->GetInputFlags() & kInputTabStop) != 0 && control->IsEnabled()) stops.push_back(control);
        }
        bool rightToLeft = frame_.GetLanguage().IsRightToLeft();
        std::stable_sort(stops.begin(), stops.end(), [rightToLeft](CControlUI* a, CControlUI* b) {
            const RECT& ra = a->GetRect();
            const RECT& rb = b->GetRect();
            bool sameRow = ra.top < rb.bottom && rb.top < ra.bottom;
            if (!sameRow) return ra.top < rb.top;
            return rightToLeft ? ra.left > rb.left : ra.left < rb.left;
        });
        return stops;
    }
    // The tree the client read, against the controls on screen, both ways.
    void ExpectTreeMatchesScreen(const std::vector<Line>& children) {
        HWND window = frame_.GetHWND();
        std::vector<CControlUI*> shown = ShownControls();
        std::map<std::wstring, CControlUI*> byPlace;
        for (CControlUI* control : shown) byPlace[At(window, control)] = control;
        for (const Line& child : children) {
            auto found = byPlace.find(child["at"]);
            ASSERT_NE(found, byPlace.end()) << "nothing on screen at " << ToUtf8(child["at"]) << " for "
                                            << ToUtf8(child["name"]);
            EXPECT_GT(Role(child), 0) << ToUtf8(child["at"]);
            if (Has(child, STATE_SYSTEM_FOCUSABLE)) {
                EXPECT_FALSE(child["name"].empty()) << "a focusable control has no name";
            }
            EXPECT_EQ(Has(child, STATE_SYSTEM_UNAVAILABLE), !found->second->IsEnabled()) << ToUtf8(child["name"]);
        }
        EXPECT_EQ(children.size(), shown.size()) << "a control on screen is missing from the tree, or one twice";
    }
    // The first child with the name (and the role, when one is given).
    const Line* ChildNamed(const std::vector<Line>& children, const std::wstring& name, long role = 0) {
        for (const Line& child : children) {
            if (child["name"] == name && (role == 0 || Role(child) == role)) return &child;
        }
        return nullptr;
    }

    SilentDialogs dialogs_;
    CInstallerFrameWnd frame_;
};

TEST_F(FrameAccessibility, TheTreeFromAnotherProcessMatchesTheScreen) {
    std::vector<Line> report = Client(L"tree", Report(L"tree")).Finish();
    std::vector<Line> children = Only(report, "child");
    ASSERT_FALSE(children.empty());
    ExpectTreeMatchesScreen(children);
    std::vector<Line> client = Only(report, "client");
    ASSERT_EQ(client.size(), 1u);
    EXPECT_EQ(client[0]["name"], Text(L"STR_MESSAGEBOX_TITLE"));

    // Names come from the language data.
    struct Expected {
        std::wstring name;
        long role;
        long state;  // bits the state must hold
    };
    const Expected expected[] = {
        {Text(L"STR_INSTALL"), ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE},
        {Text(L"STR_MINIMIZE"), ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE},
        {Text(L"STR_CLOSE"), ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE},
        {LicenceWords(), ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE},
        {Text(L"STR_CUSTOMIZE_INSTALL"), ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_FOCUSABLE},
    };
    for (const Expected& want : expected) {
        const Line* child = ChildNamed(children, want.name, want.role);
        ASSERT_NE(child, nullptr) << "no child named " << ToUtf8(want.name) << " with role " << want.role;
        EXPECT_EQ(wcstoul((*child)["statecode"].c_str(), nullptr, 16) & want.state, static_cast<unsigned long>(want.state))
            << ToUtf8(want.name);
    }
    int links = 0;
    for (const Line& child : children) {
        if (Role(child) == ROLE_SYSTEM_LINK) {
            ++links;
            EXPECT_EQ(child["name"], LicenceWords());
            EXPECT_EQ(child["action"], L"Jump");
            EXPECT_EQ(child["at"], At(frame_.GetHWND(), Named(L"btn_lisence")));
        }
    }
    EXPECT_EQ(links, 1) << "the licence link";
}

TEST_F(FrameAccessibility, FocusEventsFollowTheTabKeyInVisualOrder) {
    std::vector<CControlUI*> order = VisualTabOrder();
    ASSERT_GE(order.size(), 5u);
    auto current = std::find(order.begin(), order.end(), frame_.Manager().FocusedControl());
    size_t next = current == order.end() ? 0 : (current - order.begin() + 1) % order.size();
    const int presses = static_cast<int>(order.size()) + 1;
    std::vector<Line> report = Client(L"tab " + std::to_wstring(presses), Report(L"tab")).Finish();
    std::vector<Line> focus = Only(report, "event", "focus");
    ASSERT_EQ(focus.size(), static_cast<size_t>(presses)) << "one focus event per Tab";
    for (int i = 0; i < presses; ++i) {
        CControlUI* expected = order[(next + i) % order.size()];
        EXPECT_EQ(focus[i]["at"], At(frame_.GetHWND(), expected))
            << "Tab " << i + 1 << " focused " << ToUtf8(focus[i]["name"]) << ", expected "
            << ToUtf8(expected->GetName().GetData());
        EXPECT_TRUE(Has(focus[i], STATE_SYSTEM_FOCUSED));
        EXPECT_FALSE(focus[i]["name"].empty());
    }
}

// Tab, Space, Enter and Esc reach the licence box, Install and closing; the focus
// events name each stop on the way.
TEST_F(FrameAccessibility, EveryActionIsReachableFromTheKeyboard) {
    std::vector<CControlUI*> order = VisualTabOrder();
    auto stepsTo = [&order](CControlUI* from, CControlUI* to) {
        auto a = std::find(order.begin(), order.end(), from);
        auto b = std::find(order.begin(), order.end(), to);
        size_t start = a == order.end() ? order.size() - 1 : static_cast<size_t>(a - order.begin());
        return static_cast<int>((b - order.begin() + order.size() - start) % order.size());
    };
    CControlUI* agree = Named(L"chk_agree");
    CControlUI* install = Named(L"btn_install");
    ASSERT_NE(std::find(order.begin(), order.end(), agree), order.end());
    int toAgree = stepsTo(frame_.Manager().FocusedControl(), agree);
    int toInstall = stepsTo(agree, install);
    // An invalid folder: Install then shows the red tip instead of starting a download.
    Named(L"edit_path")->SetText(L"Q:\\missing\\deeper\\");
    std::vector<Line> report = Client(L"tab " + std::to_wstring(toAgree) + L" key space key space tab " +
                                          std::to_wstring(toInstall) + L" key return key escape",
                                      Report(L"keyboard"))
                                   .Finish();
    std::vector<Line> focus = Only(report, "event", "focus");
    ASSERT_EQ(focus.size(), static_cast<size_t>(toAgree + toInstall));
    EXPECT_EQ(focus[toAgree - 1]["at"], At(frame_.GetHWND(), agree));
    EXPECT_EQ(focus.back()["at"], At(frame_.GetHWND(), install));
    // Space unticked and ticked the box: Install was unavailable, then available again.
    std::vector<Line> states = Only(report, "event", "state");
    int unavailable = 0;
    for (const Line& state : states) unavailable += state["at"] == At(frame_.GetHWND(), install) && Has(state, STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(unavailable, 1);
    EXPECT_TRUE(static_cast<CCheckBoxUI*>(agree)->IsSelected());
    // Enter pressed Install (the red tip of the invalid folder), Esc asked before closing.
    EXPECT_TRUE(Named(L"label_tip")->IsVisible());
    EXPECT_EQ(dialogs_.questions, 1);
    EXPECT_TRUE(IsWindow(frame_.GetHWND()));
}

TEST_F(FrameAccessibility, DefaultActionsToggleTheLicenceAndPressInstall) {
    // An invalid folder: pressing Install shows the red tip instead of starting a download.
    Named(L"edit_path")->SetText(L"Q:\\missing\\deeper\\");
    // The licence link has the box's words too: the role picks the box.
    std::wstring agree = L"\"" + std::to_wstring(ROLE_SYSTEM_CHECKBUTTON) + L":" + LicenceWords() + L"\"";
    std::wstring install = L"\"" + Text(L"STR_INSTALL") + L"\"";
    std::vector<Line> report =
        Client(L"do " + agree + L" tree do " + agree + L" do " + install + L" tree", Report(L"actions")).Finish();

    std::vector<Line> trees = Only(report, "client");
    ASSERT_EQ(trees.size(), 2u);
    // After the first action: the box is unticked and Install unavailable.
    std::vector<Line> children = Only(report, "child");
    const Line* box = ChildNamed(children, LicenceWords(), ROLE_SYSTEM_CHECKBUTTON);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(Has(*box, STATE_SYSTEM_CHECKED));
    EXPECT_EQ((*box)["action"], L"Check");
    const Line* button = ChildNamed(children, Text(L"STR_INSTALL"));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(Has(*button, STATE_SYSTEM_UNAVAILABLE));
    std::vector<Line> states = Only(report, "event", "state");
    EXPECT_GE(states.size(), 3u) << "the box twice and Install";

    // Ticked again, and Install pressed: the frame shows the tip of the invalid folder.
    EXPECT_TRUE(static_cast<CCheckBoxUI*>(Named(L"chk_agree"))->IsSelected());
    EXPECT_EQ(frame_.GetWindowState(), kWindow_Init);
    EXPECT_TRUE(Named(L"label_tip")->IsVisible());
    EXPECT_EQ(std::wstring(Named(L"label_tip")->GetText().GetData()), Text(L"STR_PATH_INVALID"));
    std::vector<Line> after(report.begin(), report.end());
    std::vector<Line> last;
    for (auto it = after.rbegin(); it != after.rend() && it->kind != "client"; ++it) {
        if (it->kind == "child") last.insert(last.begin(), *it);
    }
    EXPECT_NE(ChildNamed(last, Text(L"STR_PATH_INVALID")), nullptr) << "the tip is read out";
    const Line* path = ChildNamed(last, Text(L"STR_INSTALL_PATH"), ROLE_SYSTEM_TEXT);
    ASSERT_NE(path, nullptr) << "the path field, named after its label";
    EXPECT_TRUE(Has(*path, STATE_SYSTEM_READONLY));
    EXPECT_EQ((*path)["value"], L"Q:\\missing\\deeper\\");
    ExpectTreeMatchesScreen(last);
}

TEST_F(FrameAccessibility, TheProgressIsHeardAtMostOnceASecond) {
    frame_.UpdateWindowSate(kWindow_Downloading);
    PumpWindowMessages();
    Client client(L"until 20000 value=40%", Report(L"progress"));
    // The client needs a moment to find the window and hook its events.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 800) {
        PumpWindowMessages();
        Sleep(10);
    }
    DWORD began = GetTickCount();
    for (int percent = 1; percent <= 40; ++percent) {
        frame_.SetProgress(percent);
        DWORD step = GetTickCount();
        while (GetTickCount() - step < 40) {
            PumpWindowMessages();
            Sleep(5);
        }
    }
    DWORD took = GetTickCount() - began;
    std::vector<Line> report = client.Finish();
    std::vector<Line> values;
    for (const Line& line : Only(report, "event", "value")) {
        if (Role(line) == ROLE_SYSTEM_PROGRESSBAR) values.push_back(line);
    }
    auto arrival = [](const Line& line) { return wcstol(line["t"].c_str(), nullptr, 10); };
    // Steady progress for took milliseconds: a report a second at most, the last one
    // the last value.
    ASSERT_GE(values.size(), 2u);
    EXPECT_LE(values.size(), took / 1000 + 2);
    for (size_t i = 1; i < values.size(); ++i) {
        long apart = arrival(values[i]) - arrival(values[i - 1]);
        EXPECT_GE(apart, 900) << "reports " << i - 1 << " and " << i << " came " << apart << " ms apart";
    }
    EXPECT_EQ(values.back()["value"], L"40%");
    EXPECT_EQ(values.back()["name"], Text(L"STR_INSTALLING"));
}

}  // namespace
