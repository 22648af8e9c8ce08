// The window manager's resource tables besides fonts: images by name, default
// attribute lists by element name, localized texts, control factories and the
// default colours, per window or process-wide.

#include "ui/core/WindowManager.h"

#include <cwchar>
#include <cwctype>

#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

std::shared_ptr<ImageRecord> CWindowManagerUI::RegisterImage(const wchar_t* name, const wchar_t* type, DWORD mask,
                                                             bool shared) {
    if (name == nullptr || *name == L'\0') return nullptr;
    if (type != nullptr && *type == L'\0') type = nullptr;
    std::shared_ptr<ImageRecord> image = CDrawEngine::LoadBitmapImage(name, type, mask, scale_);
    if (!image) return nullptr;
    image->resourceType = type != nullptr ? type : L"";
    image->mask = mask;
    if (shared) {
        Shared().images[SharedImageKey(name)] = image;
    } else {
        images_[name] = image;
    }
    return image;
}

std::wstring CWindowManagerUI::SharedImageKey(const wchar_t* name) const {
    // Windows at other scales share the table: each scale keeps its own picture.
    if (scale_.IsSkinScale()) return name;
    return std::wstring(name) + L"|" + std::to_wstring(scale_.Dpi());
}

std::shared_ptr<ImageRecord> CWindowManagerUI::ImageByName(const wchar_t* name) const {
    if (name == nullptr) return nullptr;
    auto own = images_.find(name);
    if (own != images_.end()) return own->second;
    auto shared = Shared().images.find(SharedImageKey(name));
    return shared != Shared().images.end() ? shared->second : nullptr;
}

std::shared_ptr<ImageRecord> CWindowManagerUI::ImageOrLoad(const wchar_t* name, const wchar_t* type, DWORD mask) {
    std::shared_ptr<ImageRecord> image = ImageByName(name);
    return image != nullptr ? image : RegisterImage(name, type, mask, false);
}

namespace manager {

const wchar_t* FindText(const TextTable& table, const wchar_t* name) {
    if (name == nullptr) return nullptr;
    auto found = table.find(name);
    return found != table.end() ? found->second.GetData() : nullptr;
}

}  // namespace manager

void CWindowManagerUI::RegisterClassDefaults(const wchar_t* element, const wchar_t* list, bool shared) {
    if (element == nullptr || list == nullptr) return;
    TextTable& table = shared ? Shared().classDefaults : classDefaults_;
    table[element] = list;
}

const wchar_t* CWindowManagerUI::ClassDefaults(const wchar_t* element) const {
    const wchar_t* list = FindText(classDefaults_, element);
    return list != nullptr ? list : FindText(Shared().classDefaults, element);
}

void CWindowManagerUI::RegisterLocalizedText(int id, const wchar_t* text) {
    Shared().localizedTexts[id] = text;
}

const wchar_t* CWindowManagerUI::LocalizedText(int id) {
    auto& texts = Shared().localizedTexts;
    auto found = texts.find(id);
    return found != texts.end() ? found->second.GetData() : nullptr;
}

CUiString CWindowManagerUI::ReplaceLocalizedTokens(const wchar_t* text) {
    CUiString result;
    if (text == nullptr) return result;
    const wchar_t* p = text;
    while (*p != L'\0') {
        if (p[0] == L'%' && p[1] == L'{' && iswdigit(p[2])) {
            const wchar_t* digits = p + 2;
            const wchar_t* end = digits;
            while (iswdigit(*end)) ++end;
            if (*end == L'}') {
                const wchar_t* localized = LocalizedText(_wtoi(digits));
                if (localized != nullptr) result += localized;
                p = end + 1;
                continue;
            }
        }
        result += *p++;
    }
    return result;
}

std::vector<ControlFactory>& CWindowManagerUI::ControlFactories() { return Shared().controlFactories; }

void CWindowManagerUI::SetDefaultDisabledColor(DWORD colour, bool shared) {
    (shared ? Shared().disabledColor : defaultDisabledColor_) = colour;
}

void CWindowManagerUI::SetDefaultFontColor(DWORD colour, bool shared) {
    (shared ? Shared().fontColor : defaultFontColor_) = colour;
}

void CWindowManagerUI::SetDefaultLinkFontColor(DWORD colour, bool shared) {
    (shared ? Shared().linkColor : defaultLinkColor_) = colour;
}

void CWindowManagerUI::SetDefaultLinkHoverFontColor(DWORD colour, bool shared) {
    (shared ? Shared().linkHoverColor : defaultLinkHoverColor_) = colour;
}

void CWindowManagerUI::SetDefaultSelectedBackColor(DWORD colour, bool shared) {
    (shared ? Shared().selectedBackColor : defaultSelectedBackColor_) = colour;
}

}  // namespace Veneer
