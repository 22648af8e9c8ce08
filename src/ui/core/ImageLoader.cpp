// Image records and their loading: decoding with stb_image into premultiplied BGRA
// sections, colour images, module resources and files through the resource lookups;
// and the image attribute string that controls write for their images.

#include "ui/core/DrawEngine.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <utility>
#include <vector>

#include "log/Log.h"
#include "ui/core/AttributeValue.h"
#include "ui/core/ResourceLoader.h"
#include "ui/core/WindowManager.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

namespace Veneer {

namespace {

const wchar_t kColorType[] = L"*COLOR*";

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

// The value a pixel has in a record: premultiplied, 0xAARRGGBB.
DWORD PremultipliedValue(DWORD r, DWORD g, DWORD b, DWORD a) {
    if (a != 255) {
        r = r * a / 255;
        g = g * a / 255;
        b = b * a / 255;
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
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
        if (rgba[3] != 255) image->hasAlpha = true;
        DWORD value = PremultipliedValue(rgba[0], rgba[1], rgba[2], rgba[3]);
        if (value == mask) {
            value = 0;
            image->hasAlpha = true;
        }
        pixels[i] = value;
    }
    return image;
}

// The picture at factor times its size, filtered; the mask is applied to the source
// pixels first, so that what it hides stays hidden after filtering.
std::unique_ptr<ImageRecord> MakeResampledImage(const BYTE* rgba, int width, int height, DWORD mask,
                                                double factor) {
    const int targetWidth = std::max(1, static_cast<int>(width * factor + 0.5));
    const int targetHeight = std::max(1, static_cast<int>(height * factor + 0.5));
    std::vector<BYTE> source(rgba, rgba + static_cast<size_t>(width) * height * 4);
    if (mask != 0) {
        for (size_t i = 0; i < source.size(); i += 4) {
            if (PremultipliedValue(source[i], source[i + 1], source[i + 2], source[i + 3]) == mask) {
                source[i] = source[i + 1] = source[i + 2] = source[i + 3] = 0;
            }
        }
    }
    std::vector<BYTE> target(static_cast<size_t>(targetWidth) * targetHeight * 4);
    if (!stbir_resize_uint8_srgb(source.data(), width, height, 0, target.data(), targetWidth, targetHeight, 0, 4, 3,
                                 0)) {
        LOG_A("resampling a %dx%d picture to %dx%d failed", width, height, targetWidth, targetHeight);
        return nullptr;
    }
    std::unique_ptr<ImageRecord> image = MakeImage(target.data(), targetWidth, targetHeight, 0);
    if (image) image->mask = mask;
    return image;
}

// The variants a file may have, by the density they are drawn for.
struct Variant {
    const wchar_t* suffix;  // before the extension
    int dpi;
};
const Variant kVariants[] = {{L"", CDpiScale::kSkinDpi}, {L"@1.5x", 144}, {L"@2x", 192}};

std::wstring VariantName(const std::wstring& name, const Variant& variant) {
    if (*variant.suffix == L'\0') return name;
    size_t slash = name.find_last_of(L"/\\");
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return name + variant.suffix;
    return name.substr(0, dot) + variant.suffix + name.substr(dot);
}

// The file's bytes from the variant that suits the scale best: the one for the scale,
// else the nearest denser one, else the densest there is. dpi receives its density.
bool ReadImageVariant(const wchar_t* name, const CDpiScale& scale, std::string& bytes, int& dpi) {
    std::vector<Variant> order(std::begin(kVariants), std::end(kVariants));
    const int wanted = scale.Dpi();
    std::sort(order.begin(), order.end(), [wanted](const Variant& a, const Variant& b) {
        bool aDenser = a.dpi >= wanted, bDenser = b.dpi >= wanted;
        if (aDenser != bDenser) return aDenser;
        return aDenser ? a.dpi < b.dpi : a.dpi > b.dpi;
    });
    for (const Variant& variant : order) {
        if (ReadImageFile(VariantName(name, variant).c_str(), bytes) && !bytes.empty()) {
            dpi = variant.dpi;
            return true;
        }
    }
    return false;
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

void CDrawEngine::ParseImageAttributes(const wchar_t* text, DrawInfo& info, const CDpiScale& scale) {
    enum class NameKind { kNone, kFile, kResource, kColor };
    NameKind kind = NameKind::kNone;
    std::wstring name, resourceType;
    const wchar_t* p = text;
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
                info.dest = scale.Rect(ReadRect(v));
            } else if (key == L"source") {
                info.source = scale.Rect(ReadRect(v));
            } else if (key == L"corner" || key == L"scale9") {
                info.corners = scale.Rect(ReadRect(v));
            } else if (key == L"mask") {
                info.mask = ReadBackgroundColor(v);
            } else if (key == L"fade") {
                info.fade = ReadAlpha(v);
            } else {
                const std::pair<const wchar_t*, bool*> flags[] = {
                    {L"hole", &info.hole}, {L"xtiled", &info.xTiled}, {L"ytiled", &info.yTiled}, {L"hsl", &info.hsl}};
                for (const auto& flag : flags) {
                    if (key == flag.first) *flag.second = IsTrueValue(v);
                }
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

std::unique_ptr<ImageRecord> CDrawEngine::DecodeImage(const void* bytes, size_t size, DWORD mask, double factor) {
    if (!bytes || size == 0 || size > 0x7FFFFFFF) return nullptr;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &width,
                                          &height, &channels, 4);
    if (!rgba) return nullptr;
    std::unique_ptr<ImageRecord> image = factor == 1.0 ? MakeImage(rgba, width, height, mask)
                                                       : MakeResampledImage(rgba, width, height, mask, factor);
    stbi_image_free(rgba);
    return image;
}

std::unique_ptr<ImageRecord> CDrawEngine::LoadBitmapImage(const wchar_t* name, const wchar_t* type, DWORD mask,
                                                           const CDpiScale& scale) {
    if (!name || !*name) return nullptr;
    std::unique_ptr<ImageRecord> image;
    if (type && wcscmp(type, kColorType) == 0) {
        DWORD color = ReadBackgroundColor(name);
        const BYTE rgba[4] = {static_cast<BYTE>(color >> 16), static_cast<BYTE>(color >> 8),
                              static_cast<BYTE>(color), static_cast<BYTE>(color >> 24)};
        image = MakeImage(rgba, 1, 1, mask);
    } else {
        std::string bytes;
        int density = CDpiScale::kSkinDpi;
        if (type && *type) {
            bytes = ReadModuleResource(name, type);
        } else if (scale.IsSkinScale()) {
            ReadImageFile(name, bytes);
        } else {
            ReadImageVariant(name, scale, bytes, density);
        }
        if (bytes.empty()) return nullptr;
        image = DecodeImage(bytes.data(), bytes.size(), mask, static_cast<double>(scale.Dpi()) / density);
    }
    if (image && type) image->resourceType = type;
    return image;
}

}  // namespace Veneer
