// Parse rate of the skin markup parser on 4 MiB of markup, against the floor of its
// design: converting the same bytes from UTF-8 to UTF-16 into a fresh buffer.
// Usage: markup_bench [file]   (without a file, 4 MiB of skin-like markup are generated)

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ui/core/ResourceLoader.h"
#include "ui/core/XmlMarkup.h"

namespace {

constexpr size_t kFileSize = 4194304;  // the largest markup file the resource loader accepts
constexpr int kRounds = 15;

// Skin-like markup: nested layouts, attribute-heavy controls, comments, entities,
// non-ASCII text, cut to exactly kFileSize bytes under one root.
std::string GenerateMarkup()
{
    const std::string block =
        "\t<!-- page -->\n"
        "\t<VerticalLayout name=\"page\" padding=\"20,10,20,10\" childpadding=\"8\" bkcolor=\"#FFFFFFFF\">\n"
        "\t\t<Label name=\"title\" text=\"Welcome to {b}Vantelo{/b} &lt;setup&gt;\" font=\"2\" height=\"40\"/>\n"
        "\t\t<HorizontalLayout height=\"30\" childpadding=\"6\">\n"
        "\t\t\t<Edit name=\"path\" text=\"C:\\Program Files (x86)\\Vantelo\" textpadding=\"6,4,6,4\"/>\n"
        "\t\t\t<Button name=\"browse\" text=\"Browse...\" width=\"80\" normalimage=\"file='b.png' "
        "source='0,0,80,30'\"hotimage=\"file='b.png' source='80,0,160,30'\"/>\n"
        "\t\t</HorizontalLayout>\n"
        "\t\t<Label name=\"state\" text=\"\xE6\xAD\xA3\xE5\x9C\xA8\xE4\xB8\x8B\xE8\xBD\xBD &amp; "
        "\xD8\xAC\xD8\xA7\xD8\xB1\xD9\x8D\" align=\"right\">some text</Label>\n"
        "\t\t<Progress name=\"progress\" height=\"6\" min=\"0\" max=\"100\" value=\"42\" "
        "foreimage=\"file='progress.png' corner='3,3,3,3'\"/>\n"
        "\t</VerticalLayout>\n";
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Window size=\"650,360\">\n";
    const std::string tail = "</Window>\n";
    std::string markup = head;
    while (markup.size() + block.size() + tail.size() <= kFileSize) markup += block;
    markup.append(kFileSize - markup.size() - tail.size(), ' ');
    return markup + tail;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::string bytes;
    if (argc < 2) {
        bytes = GenerateMarkup();
    } else {
        // Read as the skin builder reads it: through the resource location, here the path itself.
        std::wstring errorText;
        if (!Veneer::LoadMarkupBytes(argv[1], bytes, errorText)) {
            fprintf(stderr, "markup_bench: %ls: %ls\n", argv[1], errorText.c_str());
            return 1;
        }
    }

    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    double bestParse = 1e9, bestConvert = 1e9, bestWarmConvert = 1e9;
    size_t elements = 0;
    std::unique_ptr<wchar_t[]> warm(new wchar_t[bytes.size() + 1]);
    auto convert = [&bytes](wchar_t* text) {
        int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text,
                                         static_cast<int>(bytes.size()));
        text[length] = 0;
    };
    for (int round = 0; round < kRounds; ++round) {
        // The parse allocates its text afresh, so this is the peer; a reused buffer is shown for scale.
        QueryPerformanceCounter(&start);
        {
            std::unique_ptr<wchar_t[]> text(new wchar_t[bytes.size() + 1]);
            convert(text.get());
        }
        QueryPerformanceCounter(&stop);
        if (Seconds(start, stop, frequency) < bestConvert) bestConvert = Seconds(start, stop, frequency);
        QueryPerformanceCounter(&start);
        convert(warm.get());
        QueryPerformanceCounter(&stop);
        if (Seconds(start, stop, frequency) < bestWarmConvert) bestWarmConvert = Seconds(start, stop, frequency);

        Veneer::CXmlMarkup markup;
        QueryPerformanceCounter(&start);
        bool parsed = markup.ParseBytes(bytes.data(), bytes.size(), Veneer::kUtf8);
        QueryPerformanceCounter(&stop);
        if (!parsed) {
            fprintf(stderr, "markup_bench: parse failed: %ls at \"%ls\"\n", markup.LastErrorMessage(),
                    markup.LastErrorLocation());
            return 1;
        }
        if (Seconds(start, stop, frequency) < bestParse) bestParse = Seconds(start, stop, frequency);
        if (round == 0) {
            for (Veneer::CXmlMarkupNode page = markup.Root().FirstChild(); !page.IsNull(); page = page.NextSibling()) {
                ++elements;
            }
        }
    }

    double megabytes = static_cast<double>(bytes.size()) / 1e6;
    printf("markup: %u bytes, %u elements under the root, best of %d rounds\n",
           static_cast<unsigned>(bytes.size()), static_cast<unsigned>(elements), kRounds);
    printf("parse (UTF-8 bytes to tree): %8.2f ms  %8.1f MB/s\n", bestParse * 1e3, megabytes / bestParse);
    printf("UTF-8 to UTF-16 conversion:  %8.2f ms  %8.1f MB/s\n", bestConvert * 1e3, megabytes / bestConvert);
    printf("  into a reused buffer:      %8.2f ms  %8.1f MB/s\n", bestWarmConvert * 1e3, megabytes / bestWarmConvert);
    printf("ratio parse / conversion:    %8.2f  (goal: 3 or less; %.2f against the reused buffer)\n",
           bestParse / bestConvert, bestParse / bestWarmConvert);
    return 0;
}
