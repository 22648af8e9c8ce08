#include "ui/core/WindowImplBase.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <vector>

#include "log/Log.h"
#include "ui/control/Control.h"

namespace Veneer {

// ---- CNotifyPump ------------------------------------------------------------------

namespace {

CUiString LowerCase(const wchar_t* text) {
    CUiString lower(text);
    lower.MakeLower();
    return lower;
}

}  // namespace

CNotifyPump::~CNotifyPump() = default;

bool CNotifyPump::AddVirtualWindow(const wchar_t* name, CNotifyPump* pump) {
    if (name == nullptr || pump == nullptr) return false;
    return virtualWindows_.Insert(LowerCase(name), pump);
}

bool CNotifyPump::RemoveVirtualWindow(const wchar_t* name) {
    return name != nullptr && virtualWindows_.Remove(LowerCase(name));
}

void CNotifyPump::RouteNotification(UiNotify& notification) {
    if (!notification.virtualWindow.IsEmpty()) {
        auto* pump = static_cast<CNotifyPump*>(virtualWindows_.Find(LowerCase(notification.virtualWindow)));
        if (pump != nullptr && pump->DispatchThroughMaps(notification)) return;
    }
    DispatchThroughMaps(notification);
}

bool CNotifyPump::DispatchThroughMaps(UiNotify& notification) {
    const wchar_t* sender = notification.sender != nullptr ? notification.sender->GetName().GetData() : L"";
    for (const NotifyMap* map = GetNotifyMap(); map != nullptr; map = map->base) {
        const NotifyMapEntry* fallback = nullptr;
        for (const NotifyMapEntry* entry = map->entries; entry->signature != kNotifySignatureEnd; ++entry) {
            if (notification.type != entry->type) continue;
            const wchar_t* name = entry->controlName != nullptr ? entry->controlName : L"";
            if (wcscmp(name, sender) == 0) {
                CallHandler(*entry, notification);
                return true;
            }
            if (name[0] == L'\0' && fallback == nullptr) fallback = entry;
        }
        if (fallback != nullptr) {
            CallHandler(*fallback, notification);
            return true;
        }
    }
    return false;
}

void CNotifyPump::CallHandler(const NotifyMapEntry& entry, UiNotify& notification) {
    if (entry.signature == kNotifySignatureRecord) {
        (this->*entry.onRecord)(notification);
    } else {
        (this->*entry.onParams)(notification.wParam, notification.lParam);
    }
}

// ---- WindowImplBase -----------------------------------------------------------------

namespace {

// Shown, with the caption "Veneer", when the window has no skin: "加载资源文件失败"
// ("failed to load the resource files").
const wchar_t kSkinFailureText[] = L"\u52A0\u8F7D\u8D44\u6E90\u6587\u4EF6\u5931\u8D25";
const wchar_t kSkinFailureCaption[] = L"Veneer";

// Skin archives copied out of the module; the resource settings read them for the
// rest of the process. One copy per resource, however many windows load it.
struct ArchiveCopy {
    HRSRC resource;
    std::unique_ptr<char[]> bytes;
    DWORD size;
};
std::vector<ArchiveCopy>& SkinArchiveCopies() {
    static auto* copies = new std::vector<ArchiveCopy>;  // never freed: it must outlive every window
    return *copies;
}

bool IsDraggableUnder(CControlUI* control) {
    if (control == nullptr) return false;
    const wchar_t* kind = control->GetTypeName();
    return _wcsicmp(kind, L"Button") != 0 && _wcsicmp(kind, L"Option") != 0 && _wcsicmp(kind, L"Text") != 0;
}

}  // namespace

VENEER_DEFINE_NOTIFY_MAP(WindowImplBase, nullptr) {
    NotifyOnRecord<WindowImplBase>(L"click", L"", &WindowImplBase::HandleClick),
    NotifyMapEnd(),
};

WindowImplBase::~WindowImplBase() = default;

void WindowImplBase::AfterBuild() {}

void WindowImplBase::HandleClick(UiNotify& notification) {
    if (notification.sender == nullptr) return;
    const CUiString& name = notification.sender->GetName();
    if (name == L"closebtn") {
        PostClose(1);
    } else if (name == L"minbtn") {
        Send(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (name == L"maxbtn") {
        Send(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    } else if (name == L"restorebtn") {
        Send(WM_SYSCOMMAND, SC_RESTORE, 0);
    }
}

LRESULT WindowImplBase::HandleDefaultKey(WPARAM key) {
    if (key == VK_ESCAPE) {
        PostClose(1);
        return 1;
    }
    return 0;
}

SkinSourceKind WindowImplBase::SkinSource() const { return kSkinFile; }

CUiString WindowImplBase::SkinArchiveFile() const { return CUiString(); }

const wchar_t* WindowImplBase::SkinResourceId() const { return nullptr; }

LONG WindowImplBase::FrameStyle() const { return GetWindowLongW(window_, GWL_STYLE) & ~WS_CAPTION; }

LRESULT WindowImplBase::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The window's own handlers reach controls and may open modal loops too.
    CWindowManagerUI::CDispatchScope scope(&manager_);
    bool handled = true;
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE: result = HandleCreate(message, wParam, lParam, handled); break;
    case WM_CLOSE: result = HandleClose(message, wParam, lParam, handled); break;
    case WM_DESTROY: result = HandleDestroy(message, wParam, lParam, handled); break;
    case WM_NCACTIVATE: result = HandleNcActivate(message, wParam, lParam, handled); break;
    case WM_NCCALCSIZE: result = HandleNcCalcSize(message, wParam, lParam, handled); break;
    case WM_NCPAINT: result = HandleNcPaint(message, wParam, lParam, handled); break;
    case WM_NCHITTEST: result = HandleNcHitTest(message, wParam, lParam, handled); break;
    case WM_GETMINMAXINFO: result = HandleGetMinMaxInfo(message, wParam, lParam, handled); break;
    case WM_MOUSEWHEEL: result = HandleMouseWheel(message, wParam, lParam, handled); break;
    case WM_MOUSEHOVER: result = HandleMouseHover(message, wParam, lParam, handled); break;
    case WM_SIZE: result = HandleSize(message, wParam, lParam, handled); break;
    case WM_CHAR: result = HandleChar(message, wParam, lParam, handled); break;
    case WM_SYSCOMMAND: result = HandleSysCommand(message, wParam, lParam, handled); break;
    case WM_KEYDOWN: result = HandleKeyDown(message, wParam, lParam, handled); break;
    case WM_KILLFOCUS: result = HandleKillFocus(message, wParam, lParam, handled); break;
    case WM_SETFOCUS: result = HandleSetFocus(message, wParam, lParam, handled); break;
    case WM_LBUTTONDOWN: result = HandleLButtonDown(message, wParam, lParam, handled); break;
    case WM_LBUTTONUP: result = HandleLButtonUp(message, wParam, lParam, handled); break;
    case WM_MOUSEMOVE: result = HandleMouseMove(message, wParam, lParam, handled); break;
    default: handled = false; break;
    }
    if (handled) return result;
    result = HandleOtherMessage(message, wParam, lParam, handled);
    if (handled) return result;
    if (manager_.HandleWindowMessage(message, wParam, lParam, result)) return result;
    return CWindowWnd::ProcessMessage(message, wParam, lParam);
}

LRESULT WindowImplBase::HandleCreate(UINT, WPARAM, LPARAM, bool&) {
    SetWindowLongW(window_, GWL_STYLE, FrameStyle() | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    RECT client;
    GetClientRect(window_, &client);
    SetWindowPos(window_, nullptr, client.left, client.top, client.right - client.left, client.bottom - client.top,
                 SWP_FRAMECHANGED);

    manager_.AttachWindow(window_);
    manager_.AddEarlyFilter(this);

    std::wstring folder = CWindowManagerUI::ResourceFolder();
    if (folder.empty()) folder = CWindowManagerUI::ModuleFolder() + SkinFolder().GetData();
    CWindowManagerUI::SetResourceFolder(folder);

    SkinSourceKind source = SkinSource();
    if (source == kSkinZip) {
        CWindowManagerUI::SetResourceArchive(SkinArchiveFile().GetData(), true);
    } else if (source == kSkinZipResource && !LoadSkinArchiveResource()) {
        FailWithoutSkin();
    }

    CSkinBuilder builder;
    CControlUI* root = nullptr;
    CUiString file = SkinFile();
    if (source == kSkinResource) {
        UINT id = static_cast<UINT>(wcstol(file, nullptr, 10));
        root = builder.Build(MAKEINTRESOURCEW(id), L"xml", this, &manager_, nullptr);
    } else {
        root = builder.Build(file, nullptr, this, &manager_, nullptr);
    }
    if (root == nullptr) {
        LOG_W(L"the skin %s yields no root control: %s %s", file.GetData(), builder.Document().LastErrorMessage(),
              builder.Document().LastErrorLocation());
        FailWithoutSkin();
    }
    manager_.AttachRoot(root);
    manager_.AddReceiver(this);
    AfterBuild();
    return 0;
}

// A window without its skin would stay up unpainted, with nothing to close it by.
void WindowImplBase::FailWithoutSkin() {
    MessageBoxW(nullptr, kSkinFailureText, kSkinFailureCaption, MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

bool WindowImplBase::LoadSkinArchiveResource() {
    HMODULE module = CWindowManagerUI::ModuleHandle();
    const wchar_t* id = SkinResourceId();
    HRSRC resource = id != nullptr ? FindResourceW(module, id, L"ZIPRES") : nullptr;
    std::vector<ArchiveCopy>& copies = SkinArchiveCopies();
    auto known = std::find_if(copies.begin(), copies.end(),
                              [resource](const ArchiveCopy& copy) { return copy.resource == resource; });
    if (resource == nullptr || known == copies.end()) {
        HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
        if (bytes == nullptr || size == 0) {
            LOG_A("the skin archive resource of type ZIPRES is missing or empty: %lu", GetLastError());
            return false;
        }
        ArchiveCopy copy = {resource, std::unique_ptr<char[]>(new char[size]), size};
        memcpy(copy.bytes.get(), bytes, size);
        copies.push_back(std::move(copy));
        known = copies.end() - 1;
    }
    CWindowManagerUI::SetResourceArchiveMemory(known->bytes.get(), known->size);
    return true;
}

LRESULT WindowImplBase::HandleNcActivate(UINT, WPARAM wParam, LPARAM, bool& handled) {
    if (IsIconic(window_)) {
        handled = false;
        return 0;
    }
    return wParam == 0 ? 1 : 0;
}

LRESULT WindowImplBase::HandleNcCalcSize(UINT, WPARAM, LPARAM lParam, bool&) {
    if (!IsZoomed(window_)) return 0;
    // Both forms of the message start with the proposed window rectangle.
    RECT* proposed = reinterpret_cast<RECT*>(lParam);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    proposed->right = proposed->left + (monitor.rcWork.right - monitor.rcWork.left);
    proposed->bottom = proposed->top + (monitor.rcWork.bottom - monitor.rcWork.top);
    return WVR_REDRAW;
}

LRESULT WindowImplBase::HandleNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::HandleNcHitTest(UINT, WPARAM, LPARAM lParam, bool& handled) {
    handled = true;
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ScreenToClient(window_, &point);
    RECT client;
    GetClientRect(window_, &client);

    if (!IsZoomed(window_)) {
        const RECT& box = manager_.ResizeBorders();
        if (point.y < client.top + box.top) {
            if (point.x < client.left + box.left) return HTTOPLEFT;
            if (point.x > client.right - box.right) return HTTOPRIGHT;
            return HTTOP;
        }
        if (point.y > client.bottom - box.bottom) {
            if (point.x < client.left + box.left) return HTBOTTOMLEFT;
            if (point.x > client.right - box.right) return HTBOTTOMRIGHT;
            return HTBOTTOM;
        }
        if (point.x < client.left + box.left) return HTLEFT;
        if (point.x > client.right - box.right) return HTRIGHT;
    }

    const RECT& caption = manager_.CaptionArea();
    if (point.x >= client.left + caption.left && point.x < client.right - caption.right && point.y >= caption.top &&
        point.y < caption.bottom && IsDraggableUnder(manager_.ControlAt(point))) {
        return HTCAPTION;
    }
    return HTCLIENT;
}

LRESULT WindowImplBase::HandleGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool& handled) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    info->ptMaxPosition.x = work.left - monitor.rcMonitor.left;
    info->ptMaxPosition.y = work.top - monitor.rcMonitor.top;
    info->ptMaxTrackSize.x = work.right - work.left;
    info->ptMaxTrackSize.y = work.bottom - work.top;
    SIZE minimum = manager_.MinTrackSize();
    info->ptMinTrackSize.x = minimum.cx;
    info->ptMinTrackSize.y = minimum.cy;
    // The manager still applies "mininfo" and "maxinfo".
    handled = false;
    return 0;
}

LRESULT WindowImplBase::HandleSize(UINT, WPARAM, LPARAM, bool& handled) {
    SIZE round = manager_.CornerRounding();
    if (!IsIconic(window_) && (round.cx != 0 || round.cy != 0)) {
        RECT rect;
        GetWindowRect(window_, &rect);
        HRGN region = CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, round.cx,
                                         round.cy);
        // The window owns the region once it is set.
        if (region != nullptr && SetWindowRgn(window_, region, TRUE) == 0) DeleteObject(region);
    }
    handled = false;
    return 0;
}

LRESULT WindowImplBase::HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = true;
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        Send(WM_CLOSE);
        return 0;
    }
    bool wasZoomed = IsZoomed(window_) != FALSE;
    LRESULT result = CWindowWnd::ProcessMessage(message, wParam, lParam);
    bool zoomed = window_ != nullptr && IsZoomed(window_) != FALSE;
    if (window_ != nullptr && zoomed != wasZoomed) {
        CControlUI* maximize = manager_.ControlNamed(L"maxbtn");
        CControlUI* restore = manager_.ControlNamed(L"restorebtn");
        if (maximize != nullptr && restore != nullptr) {
            maximize->SetVisible(!zoomed);
            restore->SetVisible(zoomed);
        }
    }
    return result;
}

void WindowImplBase::Receive(UiNotify& notification) { RouteNotification(notification); }

LRESULT WindowImplBase::FilterMessage(UINT message, WPARAM wParam, LPARAM, bool&) {
    if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) return HandleDefaultKey(wParam);
    return 0;
}

CControlUI* WindowImplBase::MakeControl(const wchar_t*) { return nullptr; }

void WindowImplBase::AfterDestroy(HWND) {
    manager_.RemoveEarlyFilter(this);
    manager_.RemoveReceiver(this);
    manager_.ForgetControl(manager_.Root());
}

}  // namespace Veneer
