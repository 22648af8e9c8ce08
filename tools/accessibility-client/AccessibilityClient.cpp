// What a screen reader learns from a skinned window, read from another process through
// Active Accessibility, as the end-to-end accessibility tests and the demo need it.
//
// Usage: accessibility-client [--window CLASS] [--out FILE] command...
//   --window  the window class to look for (default InstallerMainFrame); the window
//             is waited for up to ten seconds
//   --out     writes the report there (UTF-8) instead of standard output
// Commands, run in order:
//   tree        one line per child of the client area's accessible object
//   tab N       presses Tab N times in the window and reports each focus event
//   key KEY     presses space, return or escape in the window
//   do NAME     runs the default action of the first child whose name is NAME; written
//               ROLE:NAME (a role code, as in 44:Customize Installation) only a child
//               of that role
//   watch MS    reports the window's focus, state, name, value and reorder events for
//               MS milliseconds
//   until MS TEXT  reports the events until one holds TEXT (as in value=40%), at most
//               MS milliseconds; fails when none did
//
// Event lines carry t=, the milliseconds since the client started.
// Report lines are tab-separated key=value fields, for example
//   child  id=3  role=push button  name=Install  state=focusable  rolecode=43  statecode=0x100000
//          at=259,216,220x46  value=  action=Press
// (role and state in the system's words, which may be the user's language; the codes
// as numbers).
// Exit code 0 when every command ran, 1 when the window or its object was missing, 2
// for a bad command line.

#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/TextEncoding.h"

namespace {

FILE* g_out = stdout;
DWORD g_start = GetTickCount();
// The text "until" waits for, and whether an event held it.
std::wstring g_awaited;
bool g_seen = false;

void Report(const std::wstring& line) {
    fprintf(g_out, "%s\n", Text::WideToUtf8(line).c_str());
    fflush(g_out);
}

// Tabs and line breaks in names would break the report's fields.
std::wstring Field(std::wstring text) {
    for (wchar_t& c : text) {
        if (c == L'\t' || c == L'\n' || c == L'\r') c = L' ';
    }
    return text;
}

std::wstring Take(BSTR text) {
    std::wstring value = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return Field(value);
}

VARIANT ChildId(long id) {
    VARIANT child;
    VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

std::wstring RoleText(long role) {
    wchar_t text[128] = {};
    GetRoleTextW(static_cast<DWORD>(role), text, 128);
    return text;
}

std::wstring StateText(long state) {
    std::wstring words;
    for (long bit = 1; bit != 0 && bit <= STATE_SYSTEM_VALID; bit <<= 1) {
        if ((state & bit) == 0) continue;
        wchar_t text[128] = {};
        GetStateTextW(static_cast<DWORD>(bit), text, 128);
        if (!words.empty()) words += L",";
        words += text;
    }
    return words.empty() ? L"normal" : words;
}

// One element's facts as report fields (after the leading kind and id).
std::wstring Describe(IAccessible* object, long id) {
    VARIANT child = ChildId(id);
    BSTR name = nullptr, value = nullptr, action = nullptr;
    object->get_accName(child, &name);
    object->get_accValue(child, &value);
    object->get_accDefaultAction(child, &action);
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    object->get_accRole(child, &role);
    object->get_accState(child, &state);
    long left = 0, top = 0, width = 0, height = 0;
    object->accLocation(&left, &top, &width, &height, child);
    wchar_t codes[64] = {};
    swprintf(codes, 64, L"\trolecode=%ld\tstatecode=0x%lX", role.vt == VT_I4 ? role.lVal : -1L,
             state.vt == VT_I4 ? state.lVal : 0L);
    return L"\trole=" + (role.vt == VT_I4 ? RoleText(role.lVal) : std::wstring(L"?")) + L"\tname=" + Take(name) +
           L"\tstate=" + (state.vt == VT_I4 ? StateText(state.lVal) : std::wstring(L"?")) + codes + L"\tat=" +
           std::to_wstring(left) + L"," + std::to_wstring(top) + L"," + std::to_wstring(width) + L"x" +
           std::to_wstring(height) + L"\tvalue=" + Take(value) + L"\taction=" + Take(action);
}

// The child ids of the object's children (simple elements or objects of their own).
std::vector<long> ChildIds(IAccessible* object) {
    std::vector<long> ids;
    long count = 0;
    if (FAILED(object->get_accChildCount(&count)) || count <= 0) return ids;
    std::vector<VARIANT> children(static_cast<size_t>(count));
    long obtained = 0;
    if (FAILED(AccessibleChildren(object, 0, count, children.data(), &obtained))) return ids;
    for (long i = 0; i < obtained; ++i) {
        if (children[i].vt == VT_I4) ids.push_back(children[i].lVal);
        VariantClear(&children[i]);
    }
    return ids;
}

void PrintTree(IAccessible* object) {
    Report(L"client" + Describe(object, CHILDID_SELF));
    for (long id : ChildIds(object)) Report(L"child\tid=" + std::to_wstring(id) + Describe(object, id));
}

bool DoAction(IAccessible* object, std::wstring name) {
    long wantedRole = 0;
    size_t colon = name.find(L':');
    if (colon != std::wstring::npos && colon > 0 && name.find_first_not_of(L"0123456789") == colon) {
        wantedRole = wcstol(name.c_str(), nullptr, 10);
        name.erase(0, colon + 1);
    }
    for (long id : ChildIds(object)) {
        BSTR text = nullptr;
        object->get_accName(ChildId(id), &text);
        if (Take(text) != name) continue;
        VARIANT role;
        VariantInit(&role);
        object->get_accRole(ChildId(id), &role);
        if (wantedRole != 0 && (role.vt != VT_I4 || role.lVal != wantedRole)) continue;
        HRESULT result = object->accDoDefaultAction(ChildId(id));
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(result));
        Report(L"do\tid=" + std::to_wstring(id) + L"\tname=" + name + L"\tresult=" + code);
        return SUCCEEDED(result);
    }
    Report(L"do\tname=" + name + L"\tresult=no such child");
    return false;
}

const wchar_t* EventName(DWORD event) {
    switch (event) {
    case EVENT_OBJECT_FOCUS: return L"focus";
    case EVENT_OBJECT_STATECHANGE: return L"state";
    case EVENT_OBJECT_NAMECHANGE: return L"name";
    case EVENT_OBJECT_VALUECHANGE: return L"value";
    case EVENT_OBJECT_REORDER: return L"reorder";
    default: return nullptr;
    }
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    const wchar_t* kind = EventName(event);
    if (kind == nullptr || object != OBJID_CLIENT) return;
    IAccessible* accessible = nullptr;
    VARIANT id;
    VariantInit(&id);
    std::wstring line = std::wstring(L"event\tkind=") + kind + L"\tt=" + std::to_wstring(GetTickCount() - g_start) +
                        L"\tid=" + std::to_wstring(child);
    if (SUCCEEDED(AccessibleObjectFromEvent(window, object, child, &accessible, &id)) && accessible != nullptr) {
        long asked = id.vt == VT_I4 ? id.lVal : CHILDID_SELF;
        line += Describe(accessible, asked);
        accessible->Release();
    }
    VariantClear(&id);
    Report(line);
    if (!g_awaited.empty() && line.find(g_awaited) != std::wstring::npos) g_seen = true;
}

// Lets the hook's events arrive, until the time is over or the awaited text was seen.
void PumpFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds && !g_seen) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

HWND FindTarget(const std::wstring& windowClass) {
    for (int i = 0; i < 100; ++i) {
        if (HWND window = FindWindowW(windowClass.c_str(), nullptr)) return window;
        Sleep(100);
    }
    return nullptr;
}

void PressKey(HWND window, UINT key) {
    UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

UINT KeyNamed(const std::wstring& name) {
    if (name == L"space") return VK_SPACE;
    if (name == L"return") return VK_RETURN;
    if (name == L"escape") return VK_ESCAPE;
    return 0;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    std::wstring windowClass = L"InstallerMainFrame";
    int first = 1;
    while (first + 1 < count && arguments[first][0] == L'-' && arguments[first][1] == L'-') {
        std::wstring option = arguments[first];
        if (option == L"--window") {
            windowClass = arguments[first + 1];
        } else if (option == L"--out") {
            g_out = _wfopen(arguments[first + 1], L"wb");
            if (g_out == nullptr) return 2;
        } else {
            return 2;
        }
        first += 2;
    }
    if (first >= count) {
        fwprintf(stderr, L"usage: accessibility-client [--window CLASS] [--out FILE] tree | tab N | do NAME | "
                         L"watch MS ...\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = FindTarget(windowClass);
    if (window == nullptr) {
        Report(L"error\tno window of class " + windowClass);
        return 1;
    }
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&object))) ||
        object == nullptr) {
        Report(L"error\tthe window answers no accessible object");
        return 1;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent, process, 0,
                                         WINEVENT_OUTOFCONTEXT);
    int status = 0;
    for (int i = first; i < count; ++i) {
        std::wstring command = arguments[i];
        bool hasValue = i + 1 < count;
        if (command == L"tree") {
            PrintTree(object);
        } else if (command == L"tab" && hasValue) {
            int presses = _wtoi(arguments[++i]);
            for (int press = 0; press < presses; ++press) {
                Report(L"key\tTab");
                PressKey(window, VK_TAB);
                PumpFor(250);
            }
        } else if (command == L"key" && hasValue && KeyNamed(arguments[i + 1]) != 0) {
            Report(std::wstring(L"key\t") + arguments[i + 1]);
            PressKey(window, KeyNamed(arguments[++i]));
            PumpFor(250);
        } else if (command == L"do" && hasValue) {
            if (!DoAction(object, arguments[++i])) status = 1;
            PumpFor(250);
        } else if (command == L"watch" && hasValue) {
            PumpFor(static_cast<DWORD>(_wtoi(arguments[++i])));
        } else if (command == L"until" && i + 2 < count) {
            DWORD limit = static_cast<DWORD>(_wtoi(arguments[++i]));
            g_awaited = arguments[++i];
            g_seen = false;
            PumpFor(limit);
            if (!g_seen) {
                Report(L"error\tno event held " + g_awaited);
                status = 1;
            }
            g_awaited.clear();
            g_seen = false;
        } else {
            status = 2;
            break;
        }
    }
    if (hook != nullptr) UnhookWinEvent(hook);
    object->Release();
    if (g_out != stdout) fclose(g_out);
    return status;
}
