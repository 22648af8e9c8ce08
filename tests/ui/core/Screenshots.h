#pragma once
// Screenshots as the preview program writes them (PNG, RGBA) and the pixel tests the
// skin's screenshot tests share.

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace VeneerTest {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

inline bool LoadPicture(const std::wstring& path, Picture& picture) {
    std::string bytes = ReadFileBytes(path);
    int channels = 0;
    unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                  static_cast<int>(bytes.size()), &picture.width, &picture.height,
                                                  &channels, 4);
    if (pixels == nullptr) return false;
    picture.rgba.assign(pixels, pixels + static_cast<size_t>(picture.width) * picture.height * 4);
    stbi_image_free(pixels);
    return true;
}

// Within tolerance of 0xRRGGBB in every channel.
inline bool Near(const unsigned char* pixel, unsigned colour, int tolerance = 24) {
    int rgb[3] = {static_cast<int>((colour >> 16) & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>(colour & 0xFF)};
    for (int i = 0; i < 3; ++i) {
        if (std::abs(pixel[i] - rgb[i]) > tolerance) return false;
    }
    return true;
}

}  // namespace VeneerTest
