// Draw engine benchmark: the routines the skin's controls call most, each against
// the plain GDI call that does the nearest job, measured in the same run.
//   markup text (licence line with {u}{a}) vs DrawTextW of the same words
//   plain text with a "%{n}" token          vs DrawTextW of the replaced text
//   nine-patch image with alpha             vs one AlphaBlend of the whole image
//   opaque image at its own size            vs one BitBlt
//
// Run: tools/wine-run build/i686/tests/ui/core/ui_draw_benchmark.exe (needs DISPLAY)

#include <windows.h>

#include <cstdio>
#include <functional>

#include "TestSupport.h"
#include "UiTestDoubles.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/UiString.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;

namespace {

constexpr int kRounds = 5000;

double MicrosecondsPerCall(const std::function<void()>& call) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    call();  // warm-up: fonts, images and variants are made on the first call
    GdiFlush();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kRounds; ++i) call();
    GdiFlush();
    QueryPerformanceCounter(&end);
    return (end.QuadPart - start.QuadPart) * 1e6 / frequency.QuadPart / kRounds;
}

void Report(const char* what, double ours, const char* peerName, double peer) {
    std::printf("%-34s %8.2f us   %-26s %8.2f us   ratio %5.2f\n", what, ours, peerName, peer, ours / peer);
}

}  // namespace

int main() {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    CWindowManagerUI::SetResourceFolder(TestDataPath(L"draw"));
    CWindowManagerUI::RegisterLocalizedText(3, L"Install to:");
    // A real window, so the manager's fonts carry their metrics as in the product.
    VeneerTest::HostWindow host;
    if (!host.Create(650, 360)) {
        std::printf("The benchmark window could not be created.\n");
        return 1;
    }
    CWindowManagerUI& manager = host.manager;

    UniqueDeviceContext dc(CreateCompatibleDC(nullptr));
    BYTE* bits = nullptr;
    UniqueGdiObject<HBITMAP> surface(CDrawEngine::MakeArgbSection(nullptr, 650, 360, &bits));
    CSelectObject selected(dc.Get(), surface.Get());
    CSelectObject font(dc.Get(), manager.StandardFont());
    const RECT line{20, 300, 630, 330};
    const UINT style = DT_SINGLELINE | DT_VCENTER | DT_CENTER;

    const double markup = MicrosecondsPerCall([&] {
        RECT rect = line;
        RECT linkRects[8];
        CUiString targets[8];
        int links = 8;
        CDrawEngine::PaintMarkupText(dc.Get(), &manager, rect,
                                     L"I have read and agree to the {u}{a https://example.test/eula}License "
                                     L"Agreement{/a}{/u}",
                                     0xFF000000, linkRects, targets, links, -1, style);
    });
    const double markupPeer = MicrosecondsPerCall([&] {
        RECT rect = line;
        DrawTextW(dc.Get(), L"I have read and agree to the License Agreement", -1, &rect, style | DT_NOPREFIX);
    });
    Report("PaintMarkupText (licence line)", markup, "DrawTextW", markupPeer);

    const double plain = MicrosecondsPerCall([&] {
        RECT rect = line;
        CDrawEngine::PaintPlainText(dc.Get(), &manager, rect, L"%{3} C:\\Program Files\\Vantelo", 0xFF000000, -1,
                                    style);
    });
    const double plainPeer = MicrosecondsPerCall([&] {
        RECT rect = line;
        DrawTextW(dc.Get(), L"Install to: C:\\Program Files\\Vantelo", -1, &rect, style | DT_NOPREFIX);
    });
    Report("PaintPlainText (%{n})", plain, "DrawTextW", plainPeer);

    DrawInfo nine(L"file='ninepatch.png' corner='3,3,3,3' fade='200'");
    const RECT button{100, 100, 300, 140};
    const double ninePatch = MicrosecondsPerCall(
        [&] { CDrawEngine::PaintImage(dc.Get(), &manager, button, RECT{0, 0, 650, 360}, nine); });
    const ImageRecord* image = nine.image.get();
    if (!image) {
        std::printf("ninepatch.png did not load\n");
        return 1;
    }
    UniqueDeviceContext imageDC(CreateCompatibleDC(dc.Get()));
    CSelectObject imageSelected(imageDC.Get(), image->bitmap);
    const double ninePatchPeer = MicrosecondsPerCall([&] {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 200, AC_SRC_ALPHA};
        AlphaBlend(dc.Get(), 100, 100, 200, 40, imageDC.Get(), 0, 0, image->width, image->height, blend);
    });
    Report("PaintImage (nine-patch, fade)", ninePatch, "one AlphaBlend", ninePatchPeer);

    DrawInfo check(L"file='checked.png' dest='0,8,14,22'");
    const RECT box{10, 10, 200, 40};
    const double unscaled =
        MicrosecondsPerCall([&] { CDrawEngine::PaintImage(dc.Get(), &manager, box, RECT{0, 0, 650, 360}, check); });
    if (!check.image) {
        std::printf("checked.png did not load\n");
        return 1;
    }
    UniqueDeviceContext checkDC(CreateCompatibleDC(dc.Get()));
    CSelectObject checkSelected(checkDC.Get(), check.image->bitmap);
    const double unscaledPeer =
        MicrosecondsPerCall([&] { BitBlt(dc.Get(), 10, 18, 14, 14, checkDC.Get(), 0, 0, SRCCOPY); });
    Report("PaintImage (check box, unscaled)", unscaled, "one BitBlt", unscaledPeer);
    return 0;
}
