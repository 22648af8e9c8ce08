// Image records and their loading: decoding with stb_image into premultiplied BGRA
// sections, colour images, module resources and files through the resource lookups;
// and the image attribute string that controls write for their images.

#include "ui/core/DrawEngine.h"

#include <cwchar>
#include <cwctype>

#include "log/Log.h"
#include "ui/core/DrawColors.h"
#include "ui/core/ResourceLoader.h"
#include "ui/core/WindowManager.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

namespace Veneer {

namespace {

const wchar_t kColorType[] = L"*COLOR*";

// "l,t,r,b": each decimal number is followed by one separator that is skipped.
RECT ParseRect(const wchar_t* text) {
    LONG values[4] = {};
    for (LONG& value : values) {
        wchar_t* end = nullptr;
        value = wcstol(text, &end, 10);
        text = end;
        if (*text) ++text;
    }
    return RECT{values[0], values[1], values[2], values[3]};
}

// Resource names and types that start with a digit are numeric identifiers.
const wchar_t* ResourceId(const wchar_t* text) {
    return iswdigit(text[0]) ? MAKEINTRESOURCEW(_wtoi(text)) : text;
}

std::string ReadModuleResource(const wchar_t* name, const wchar_t* type) {
    HINSTANCE module = CWindowManagerUI::ModuleHandle();
    HRSRC found = FindResourceW(module, ResourceId(name), ResourceId(type));
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    DWORD size = SizeofResource(module, found);
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!data || size == 0) return {};
    return std::string(data, size);
}

// Stores decoded RGBA as premultiplied BGRA and applies the mask.
std::unique_ptr<ImageRecord> MakeImage(const BYTE* rgba, int width, int height, DWORD mask) {
    auto image = std::make_unique<ImageRecord>();
    image->bitmap = CDrawEngine::MakeArgbSection(nullptr, width, height, &image->bits);
    if (!image->bitmap) {
        LOG_A("CreateDIBSection of %dx%d failed: %lu", width, height, GetLastError());
        return nullptr;
    }
    image->width = width;
    image->height = height;
    image->mask = mask;
    DWORD* pixels = reinterpret_cast<DWORD*>(image->bits);
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        DWORD r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
        if (a != 255) {
            r = r * a / 255;
            g = g * a / 255;
            b = b * a / 255;
            image->hasAlpha = true;
        }
        DWORD value = (a << 24) | (r << 16) | (g << 8) | b;
        if (value == mask) {
            value = 0;
            image->hasAlpha = true;
        }
        pixels[i] = value;
    }
    return image;
}

}  // namespace

ImageRecord::~ImageRecord() {
    if (bitmap) DeleteObject(bitmap);
}

void DrawInfo::Reset() {
    imageName.clear();
    resourceType.clear();
    image = nullptr;
    dest = source = corners = RECT{};
    mask = 0;
    fade = 255;
    hole = xTiled = yTiled = hsl = false;
    parsed = false;
}

void DrawInfo::Assign(const std::wstring& text) {
    if (text == attributes && image) return;
    attributes = text;
    Reset();
}

void CDrawEngine::ParseImageAttributes(const std::wstring& text, DrawInfo& info) {
    enum class NameKind { kNone, kFile, kResource, kColor };
    NameKind kind = NameKind::kNone;
    std::wstring name, resourceType;
    const wchar_t* p = text.c_str();
    bool anyPair = false;
    for (;;) {
        while (iswspace(*p)) ++p;
        const wchar_t* keyStart = p;
        while (*p && *p != L'=' && !iswspace(*p)) ++p;
        std::wstring key(keyStart, p);
        while (iswspace(*p)) ++p;
        if (*p != L'=') break;
        ++p;
        while (iswspace(*p)) ++p;
        if (*p != L'\'') break;
        const wchar_t* valueStart = ++p;
        while (*p && *p != L'\'') ++p;
        if (*p != L'\'') break;
        std::wstring value(valueStart, p);
        ++p;
        anyPair = true;
        if (!value.empty()) {
            const wchar_t* v = value.c_str();
            if (key == L"file") {
                name = value;
                kind = NameKind::kFile;
            } else if (key == L"res") {
                name = value;
                kind = NameKind::kResource;
            } else if (key == L"restype") {
                resourceType = value;
            } else if (key == L"color") {
                name = value;
                kind = NameKind::kColor;
            } else if (key == L"dest") {
                info.dest = ParseRect(v);
            } else if (key == L"source") {
                info.source = ParseRect(v);
            } else if (key == L"corner" || key == L"scale9") {
                info.corners = ParseRect(v);
            } else if (key == L"mask") {
                info.mask = ParseColor(v);
            } else if (key == L"fade") {
                int fade = _wtoi(v);
                info.fade = static_cast<BYTE>(fade < 0 ? 0 : fade > 255 ? 255 : fade);
            } else if (key == L"hole") {
                info.hole = value == L"true";
            } else if (key == L"xtiled") {
                info.xTiled = value == L"true";
            } else if (key == L"ytiled") {
                info.yTiled = value == L"true";
            } else if (key == L"hsl") {
                info.hsl = value == L"true";
            }
        }
        // Pairs are separated by exactly one blank; anything else ends the string.
        if (*p != L' ') break;
        ++p;
    }
    if (!anyPair) {
        info.imageName = text;
        info.resourceType.clear();
        return;
    }
    if (kind == NameKind::kNone) return;
    info.imageName = name;
    if (kind == NameKind::kResource) {
        info.resourceType = resourceType;
    } else if (kind == NameKind::kColor) {
        info.resourceType = kColorType;
    } else {
        info.resourceType.clear();
    }
}

std::unique_ptr<ImageRecord> CDrawEngine::DecodeImage(const void* bytes, size_t size, DWORD mask) {
    if (!bytes || size == 0 || size > 0x7FFFFFFF) return nullptr;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &width,
                                          &height, &channels, 4);
    if (!rgba) return nullptr;
    std::unique_ptr<ImageRecord> image = MakeImage(rgba, width, height, mask);
    stbi_image_free(rgba);
    return image;
}

std::unique_ptr<ImageRecord> CDrawEngine::LoadBitmapImage(const wchar_t* name, const wchar_t* type, DWORD mask) {
    if (!name || !*name) return nullptr;
    std::unique_ptr<ImageRecord> image;
    if (type && wcscmp(type, kColorType) == 0) {
        DWORD color = ParseColor(name);
        const BYTE rgba[4] = {static_cast<BYTE>(color >> 16), static_cast<BYTE>(color >> 8),
                              static_cast<BYTE>(color), static_cast<BYTE>(color >> 24)};
        image = MakeImage(rgba, 1, 1, mask);
    } else {
        std::string bytes;
        if (type && *type) {
            bytes = ReadModuleResource(name, type);
        } else {
            ReadImageFile(name, bytes);
        }
        if (bytes.empty()) return nullptr;
        image = DecodeImage(bytes.data(), bytes.size(), mask);
    }
    if (image && type) image->resourceType = type;
    return image;
}

}  // namespace Veneer
