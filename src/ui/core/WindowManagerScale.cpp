// The window manager's scale: the DPI a window is shown at, and the skin converted
// again when it changes.

#include "ui/core/WindowManager.h"

#include <string>
#include <utility>
#include <vector>

#include "log/Log.h"
#include "ui/control/Control.h"
#include "ui/control/Label.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

namespace {

CControlUI* RescaleControl(CControlUI* control, void*) {
    control->RescaleSkinLengths();
    // Its font changed size: the text is measured again.
    if (void* label = control->CastTo(L"Label")) {
        auto* text = static_cast<CLabelUI*>(static_cast<CControlUI*>(label));
        text->SetFont(text->GetFont());
    }
    return nullptr;
}

}  // namespace

namespace manager {

int WindowDpi(HWND window, HDC dc) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    int dpi = getDpiForWindow != nullptr && window != nullptr ? static_cast<int>(getDpiForWindow(window)) : 0;
    if (dpi <= 0 && dc != nullptr) dpi = GetDeviceCaps(dc, LOGPIXELSY);
    return dpi > 0 ? dpi : CDpiScale::kSkinDpi;
}

}  // namespace manager

void CWindowManagerUI::SetDpi(int dpi) {
    CDpiScale scale(dpi);
    if (scale.Dpi() == scale_.Dpi()) return;
    LOG_A("the window's scale changes from %d to %d DPI", scale_.Dpi(), scale.Dpi());
    scale_ = scale;
    // A copy: applying an attribute records it again.
    std::vector<std::pair<std::wstring, std::wstring>> lengths = windowSkinLengths_;
    for (const auto& length : lengths) ApplyWindowAttribute(length.first.c_str(), length.second.c_str());
    RescaleFonts();
    RescaleImages();
    if (root_ == nullptr) return;
    root_->FindInTree(RescaleControl, nullptr, kFindMeFirst);
    offscreen_.Reset();
    root_->MarkLayoutDirty();
    updateNeeded_ = true;
    if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
}

void CWindowManagerUI::RescaleFonts() {
    auto remake = [this](FontRecord& record) {
        if (record.font == nullptr) return;
        HFONT font = CreateSkinFont(record.face, scale_.Length(record.size), record.bold, record.underline,
                                    record.italic);
        if (font == nullptr) return;
        retiredFonts_.emplace_back(record.font);
        record.font = font;
        record.metrics = TEXTMETRICW{};
        ReadMetrics(PaintDC(), record);
    };
    for (auto& entry : fonts_) remake(entry.second);
    remake(standardFont_);
}

void CWindowManagerUI::RescaleImages() {
    // Names, types and masks of the pictures loaded so far, loaded again at the new scale.
    struct Loaded {
        std::wstring name;
        std::wstring type;
        DWORD mask;
    };
    // The old pictures stay with the drawing records that hold them until those load again.
    std::vector<Loaded> loaded;
    for (const auto& entry : images_) loaded.push_back({entry.first, entry.second->resourceType, entry.second->mask});
    images_.clear();
    for (const Loaded& image : loaded) {
        RegisterImage(image.name.c_str(), image.type.empty() ? nullptr : image.type.c_str(), image.mask, false);
    }
}

}  // namespace Veneer
