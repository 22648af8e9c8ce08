// Shows a skin folder or skin archive in a skinned window, so that a designer sees a
// change without rebuilding the installer. It reacts like the installer's window to
// the licence box, the fold box and the hidden page options.
//
// Usage: skinpreview <skin folder | skin.zip> [--file skin.xml] [--attr name:attribute=value]...
//                    [--high-contrast black|white] [--screenshot out.png [--layout out.txt]]
//   --file        the markup file to open (default skin.xml)
//   --attr        applies one attribute to the named control once the skin is built,
//                 as the installer does with its texts (repeatable; applied in order;
//                 lengths in skin pixels, like the skin's own)
//   --high-contrast  draws as in the system's high-contrast mode with Windows' High
//                 Contrast Black or White colours (Wine cannot switch the mode itself)
//   --screenshot  paints the window once, writes it as a PNG (pixels outside the
//                 window's rounded region transparent) and exits
//   --layout      with --screenshot: also writes the window's DPI and each named
//                 control's place, one per line: "dpi N", then "name visible l t r b"
//                 (client pixels)

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/TextEncoding.h"
#include "ui/control/Control.h"
#include "ui/control/Option.h"
#include "ui/control/TabLayout.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/WindowImplBase.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb/stb_image_write.h"

using namespace Veneer;

namespace {

// How much the window grows when the customisation area opens (its height in the skin,
// in skin pixels).
constexpr int kFoldHeight = 75;

struct AttributeSetting {
    std::wstring control;
    std::wstring name;
    std::wstring value;
};

struct Options {
    std::wstring skin;
    std::wstring file = L"skin.xml";
    std::wstring screenshot;
    std::wstring layout;
    std::wstring highContrast;
    std::vector<AttributeSetting> attributes;
};

class CPreviewWindow : public WindowImplBase {
public:
    CPreviewWindow(const Options& options, bool archive) : options_(options), archive_(archive) {}

    const wchar_t* WindowClassName() const override { return L"VeneerSkinPreview"; }
    CUiString SkinFolder() override { return CUiString(); }
    CUiString SkinFile() override { return options_.file.c_str(); }
    SkinSourceKind SkinSource() const override { return archive_ ? kSkinZip : kSkinFile; }
    CUiString SkinArchiveFile() const override { return archiveName_.c_str(); }
    void SetArchiveName(const std::wstring& name) { archiveName_ = name; }

    void AfterBuild() override {
        for (const AttributeSetting& setting : options_.attributes) {
            CControlUI* control = manager_.ControlNamed(setting.control.c_str());
            if (control == nullptr) {
                fwprintf(stderr, L"skinpreview: the skin has no control named %ls\n", setting.control.c_str());
                continue;
            }
            control->ApplySkinAttribute(setting.name.c_str(), setting.value.c_str());
        }
    }

    void OnSelectChanged(UiNotify& notification) {
        const CUiString& name = notification.sender->GetName();
        if (notification.sender->CastTo(L"Option") == nullptr) return;
        auto* option = static_cast<COptionUI*>(notification.sender);
        if (name == L"chk_agree") {
            if (CControlUI* install = manager_.ControlNamed(L"btn_install")) install->SetEnabled(option->IsSelected());
        } else if (name == L"chk_fold") {
            CControlUI* area = manager_.ControlNamed(L"bottomLayout");
            if (area == nullptr) return;
            area->ApplyAttribute(L"visible", option->IsSelected() ? L"true" : L"false");
            RECT client;
            GetClientRect(window_, &client);
            int grow = manager_.Scale().Length(kFoldHeight);
            ResizeClientArea(client.right, client.bottom + (option->IsSelected() ? grow : -grow));
        } else if (name == L"examine" || name == L"trojan") {
            CControlUI* pages = manager_.ControlNamed(L"switch");
            if (pages != nullptr && pages->CastTo(L"TabLayout") != nullptr) {
                static_cast<CTabLayoutUI*>(pages)->SelectPage(name == L"examine" ? 0 : 1, true);
            }
        }
    }

private:
    const Options& options_;
    bool archive_;
    std::wstring archiveName_;

    VENEER_DECLARE_NOTIFY_MAP()
};

VENEER_DEFINE_NOTIFY_MAP(CPreviewWindow, &WindowImplBase::kNotifyMap) {
    NotifyOnRecord<CPreviewWindow>(L"selectchanged", L"", &CPreviewWindow::OnSelectChanged),
    NotifyMapEnd(),
};

bool ParseOptions(int count, wchar_t** arguments, Options& options) {
    for (int i = 1; i < count; ++i) {
        std::wstring argument = arguments[i];
        bool hasValue = i + 1 < count;
        if (argument == L"--file" && hasValue) {
            options.file = arguments[++i];
        } else if (argument == L"--screenshot" && hasValue) {
            options.screenshot = arguments[++i];
        } else if (argument == L"--layout" && hasValue) {
            options.layout = arguments[++i];
        } else if (argument == L"--high-contrast" && hasValue) {
            options.highContrast = arguments[++i];
            if (options.highContrast != L"black" && options.highContrast != L"white") return false;
        } else if (argument == L"--attr" && hasValue) {
            std::wstring setting = arguments[++i];
            size_t colon = setting.find(L':');
            size_t equals = setting.find(L'=', colon == std::wstring::npos ? 0 : colon);
            if (colon == std::wstring::npos || equals == std::wstring::npos) return false;
            options.attributes.push_back({setting.substr(0, colon), setting.substr(colon + 1, equals - colon - 1),
                                          setting.substr(equals + 1)});
        } else if (options.skin.empty() && argument.rfind(L"--", 0) != 0) {
            options.skin = argument;
        } else {
            return false;
        }
    }
    return !options.skin.empty();
}

// Lets the window lay out and paint, including the queued notifications.
void PumpFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!CWindowManagerUI::PreDispatch(&message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        Sleep(10);
    }
}

// A window under the mouse pointer would paint the control there hot; the pointer
// itself is the user's (and other programs'), so the window moves instead.
void MoveAwayFromPointer(HWND window) {
    POINT pointer;
    RECT rect;
    if (!GetCursorPos(&pointer) || !GetWindowRect(window, &rect) || !PtInRect(&rect, pointer)) return;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    const POINT corners[] = {{work.left, work.top},
                             {work.right - width, work.top},
                             {work.left, work.bottom - height},
                             {work.right - width, work.bottom - height}};
    for (const POINT& corner : corners) {
        RECT moved = {corner.x, corner.y, corner.x + width, corner.y + height};
        if (!PtInRect(&moved, pointer)) {
            SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return;
        }
    }
}

CControlUI* CollectNamed(CControlUI* control, void* data) {
    if (!control->GetName().IsEmpty()) static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
    return nullptr;
}

bool WriteLayout(CWindowManagerUI& manager, const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"w");
    if (file == nullptr) return false;
    fprintf(file, "dpi %d\n", manager.Scale().Dpi());
    std::vector<CControlUI*> named;
    if (manager.Root() != nullptr) manager.Root()->FindInTree(CollectNamed, &named, kFindMeFirst);
    for (CControlUI* control : named) {
        const RECT& rect = control->GetRect();
        fprintf(file, "%s %d %ld %ld %ld %ld\n", Text::WideToUtf8(control->GetName().GetData()).c_str(), control->IsVisible() ? 1 : 0,
                rect.left, rect.top, rect.right, rect.bottom);
    }
    return fclose(file) == 0;
}

bool WriteScreenshot(HWND window, const std::wstring& path) {
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueWindowDC windowDC(window, GetWindowDC(window));
    UniqueDeviceContext memoryDC(CreateCompatibleDC(windowDC.Get()));
    UniqueGdiObject<HBITMAP> bitmap(CreateDIBSection(windowDC.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = bitmap.Valid();
    if (ok) {
        {
            CSelectObject selected(memoryDC.Get(), bitmap.Get());
            BitBlt(memoryDC.Get(), 0, 0, width, height, windowDC.Get(), 0, 0, SRCCOPY);
            GdiFlush();
        }
        UniqueGdiObject<HRGN> region(CreateRectRgn(0, 0, 0, 0));
        bool hasRegion = GetWindowRgn(window, region.Get()) != ERROR;
        std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
        const auto* bgra = static_cast<const unsigned char*>(bits);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                size_t i = (static_cast<size_t>(y) * width + x) * 4;
                rgba[i] = bgra[i + 2];
                rgba[i + 1] = bgra[i + 1];
                rgba[i + 2] = bgra[i];
                rgba[i + 3] = !hasRegion || PtInRegion(region.Get(), x, y) ? 255 : 0;
            }
        }
        ok = stbi_write_png(Text::WideToUtf8(path).c_str(), width, height, 4, rgba.data(), width * 4) != 0;
    }
    return ok;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
    Options options;
    if (!ParseOptions(count, arguments, options)) {
        fwprintf(stderr, L"usage: skinpreview <skin folder | skin.zip> [--file skin.xml] "
                         L"[--attr name:attribute=value]... [--high-contrast black|white] "
                         L"[--screenshot out.png [--layout out.txt]]\n");
        return 2;
    }
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(options.skin.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return 2;
    DWORD attributes = GetFileAttributesW(full);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        fwprintf(stderr, L"skinpreview: %ls does not exist\n", full);
        return 2;
    }
    bool archive = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    std::wstring folder = full;
    std::wstring archiveName;
    if (archive) {
        size_t slash = folder.find_last_of(L"\\/");
        archiveName = folder.substr(slash + 1);
        folder.erase(slash + 1);
    }

    DeclareDpiAwareness();
    if (!options.highContrast.empty()) {
        CWindowManagerUI::OverrideHighContrast(options.highContrast == L"black" ? &HighContrastPalette::kBlack
                                                                               : &HighContrastPalette::kWhite);
    }
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    CWindowManagerUI::SetResourceFolder(folder);
    CPreviewWindow window(options, archive);
    window.SetArchiveName(archiveName);
    if (window.Open(nullptr, L"Skin preview", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 0) == nullptr) {
        fwprintf(stderr, L"skinpreview: the window could not be created\n");
        return 1;
    }
    window.CenterOnOwner();
    if (options.screenshot.empty()) {
        window.RunModal();
        return 0;
    }
    MoveAwayFromPointer(window);
    window.Show(true, true);
    PumpFor(300);
    bool written = WriteScreenshot(window, options.screenshot);
    if (!written) fwprintf(stderr, L"skinpreview: %ls could not be written\n", options.screenshot.c_str());
    if (written && !options.layout.empty() && !WriteLayout(window.Manager(), options.layout)) {
        fwprintf(stderr, L"skinpreview: %ls could not be written\n", options.layout.c_str());
        written = false;
    }
    DestroyWindow(window);
    return written ? 0 : 1;
}
