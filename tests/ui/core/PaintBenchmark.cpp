// Paint benchmark: a tree the size of the installer's skin (about 40 controls with
// text, images and one gradient) in a 650 x 360 window, repainted 1,000 times in
// full and 1,000 times for one small invalidated area. The peer is the same tree
// painted straight into a memory device context, without the window manager's
// message handling, layout check, clipping and copy to the window.
//
// Run: tools/wine-run build/i686/tests/ui/core/ui_paint_benchmark.exe (needs DISPLAY)

#include <windows.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "UiTestDoubles.h"
#include "ui/core/DrawEngine.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

constexpr int kWidth = 650;
constexpr int kHeight = 360;
constexpr int kRounds = 1000;

class SkinLikeControl : public CControlUI {
public:
    DWORD color = 0;
    DWORD gradientTo = 0;
    DrawInfo image;
    std::wstring caption;
    UINT textStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;

    bool PaintSelf(HDC dc, const RECT& paintRect, CControlUI* stop) override {
        if (gradientTo != 0) {
            CDrawEngine::FillGradient(dc, GetRect(), color, gradientTo, true, 64);
        } else if (color != 0) {
            CDrawEngine::FillColor(dc, paintRect_, color);
        }
        if (!image.Empty()) CDrawEngine::PaintImage(dc, manager_, GetRect(), paintRect_, image);
        if (!caption.empty()) {
            RECT text = GetRect();
            CDrawEngine::PaintPlainText(dc, manager_, text, caption.c_str(), 0xFF202020, -1, textStyle);
        }
        return CControlUI::PaintSelf(dc, paintRect, stop);
    }
};

SkinLikeControl* Add(TestContainer* parent, RECT rect) { return parent->Add(new SkinLikeControl, rect); }

// Roughly the installer's home page: banner, logo, title and texts, path row,
// licence row, buttons, progress bar.
TestContainer* BuildTree() {
    auto* root = new TestContainer;
    auto* background = Add(root, RECT{0, 0, kWidth, kHeight});
    background->color = 0xFFFFFFFF;
    background->gradientTo = 0xFFDDE8F5;
    auto* banner = Add(root, RECT{0, 0, kWidth, 220});
    banner->image = DrawInfo(L"file='bench-picture.png'");
    auto* logo = Add(root, RECT{20, 16, 84, 80});
    logo->image = DrawInfo(L"bench-picture.png");
    auto* title = Add(root, RECT{100, 20, 500, 50});
    title->caption = L"Vantelo Down - product installer";
    for (int i = 0; i < 3; ++i) {
        auto* button = Add(root, RECT{540 + i * 34, 4, 566 + i * 34, 26});
        button->image = DrawInfo(L"file='bench-button.png' corner='4,4,4,4'");
    }
    for (int i = 0; i < 8; ++i) {
        auto* line = Add(root, RECT{100, 60 + i * 18, 600, 78 + i * 18});
        line->caption = L"A line of descriptive text for the installer page";
        line->textStyle = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS;
    }
    auto* pathBox = Add(root, RECT{40, 232, 480, 258});
    pathBox->color = 0xFFFFFFFF;
    pathBox->caption = L"C:\\Program Files (x86)\\Vantelo";
    pathBox->textStyle = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
    auto* browse = Add(root, RECT{490, 232, 610, 258});
    browse->image = DrawInfo(L"file='bench-button.png' corner='4,4,4,4'");
    browse->caption = L"Browse";
    auto* check = Add(root, RECT{40, 270, 56, 286});
    check->image = DrawInfo(L"file='bench-button.png' source='0,0,16,16'");
    auto* licence = Add(root, RECT{60, 268, 400, 288});
    licence->caption = L"I have read and accept the licence agreement";
    licence->textStyle = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
    for (int i = 0; i < 16; ++i) {
        auto* dot = Add(root, RECT{40 + i * 20, 300, 52 + i * 20, 312});
        dot->color = 0x80336699;
    }
    auto* progressBack = Add(root, RECT{40, 320, 610, 330});
    progressBack->color = 0xFFCCCCCC;
    auto* progressFore = Add(root, RECT{40, 320, 400, 330});
    progressFore->image = DrawInfo(L"file='bench-button.png' corner='4,4,4,4'");
    auto* install = Add(root, RECT{250, 334, 400, 358});
    install->image = DrawInfo(L"file='bench-button.png' corner='4,4,4,4'");
    install->caption = L"Install now";
    auto* hint = Add(root, RECT{420, 338, 640, 356});
    hint->caption = L"Needs 300 MB of free space";
    hint->textStyle = DT_SINGLELINE | DT_VCENTER | DT_RIGHT;
    return root;
}

double Milliseconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// This thread's processor time in milliseconds: on a loaded machine it varies far
// less than the wall clock.
double ThreadCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

struct Timing {
    double wall;
    double cpu;
};

template <class Work>
Timing PerRound(Work work) {
    LARGE_INTEGER start, end;
    double cpuStart = ThreadCpuMilliseconds();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kRounds; ++i) work();
    QueryPerformanceCounter(&end);
    return Timing{Milliseconds(start, end) / kRounds, (ThreadCpuMilliseconds() - cpuStart) / kRounds};
}

}  // namespace

int main() {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    CWindowManagerUI::SetResourceFolder(TestDataPath(L"ui") + L"\\");
    HostWindow host;
    if (host.Create(kWidth, kHeight) == nullptr) {
        std::printf("the benchmark window could not be created\n");
        return 1;
    }
    TestContainer* root = BuildTree();
    host.manager.AttachRoot(root);
    HWND window = host.GetHWND();
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    Pump();
    int controls = 0;
    root->FindInTree([](CControlUI*, void* count) -> CControlUI* {
        ++*static_cast<int*>(count);
        return nullptr;
    }, &controls, 0);

    Timing full = PerRound([window] {
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
    });
    RECT small = {300, 240, 330, 260};
    Timing area = PerRound([window, &small] {
        InvalidateRect(window, &small, FALSE);
        UpdateWindow(window);
    });

    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT client = {0, 0, kWidth, kHeight};
    Timing direct = PerRound([root, memory, &client] { root->Paint(memory, client, nullptr); });
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);

    std::printf("controls: %d, window %d x %d, %d rounds each\n", controls, kWidth, kHeight, kRounds);
    std::printf("per repaint, ms                      wall     cpu\n");
    std::printf("full repaint through WM_PAINT:      %7.3f %7.3f\n", full.wall, full.cpu);
    std::printf("small area (30 x 20) repaint:       %7.3f %7.3f\n", area.wall, area.cpu);
    std::printf("peer: tree painted straight to a DC: %7.3f %7.3f\n", direct.wall, direct.cpu);
    std::printf("ratio full repaint / peer:           %7.2f %7.2f\n", full.wall / direct.wall, full.cpu / direct.cpu);
    std::printf("ratio small area / full repaint:     %7.3f %7.3f\n", area.wall / full.wall, area.cpu / full.cpu);
    return 0;
}
