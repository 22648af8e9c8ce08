// Plain text and the brace-tag text markup of the draw engine.

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/AttributeValue.h"
#include "ui/core/DrawColors.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/UiString.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {

// Font variants get numbers from here up, process-wide, so that two windows never
// hand out the same number for different fonts.
int g_nextVariantFontId = CDrawEngine::kFirstVariantFontId;

HFONT FallbackFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

HFONT FontFor(CWindowManagerUI* manager, int fontId) {
    HFONT font = manager ? manager->FontById(fontId) : nullptr;
    if (!font && manager) font = manager->StandardFont();
    return font ? font : FallbackFont();
}

// A font on the markup painter's stack, with the metrics the layout needs.
struct FontState {
    HFONT font = nullptr;
    std::wstring face;
    int size = 0;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    int height = 0;
};

enum VerticalAlign { kAlignBottom = 0, kAlignCentre = 1, kAlignTop = 2 };

// One drawn piece of a line: a text run or an inline image column.
struct Piece {
    std::wstring text;                  // empty for an image
    std::shared_ptr<const ImageRecord> image;
    RECT imageSource{};
    size_t font = 0;                    // index into the layout's fonts
    DWORD color = 0;
    bool selected = false;
    int link = -1;
    int verticalAlign = 0;              // a VerticalAlign
    int x = 0;                          // relative to the rectangle's left
    int width = 0;
    int height = 0;
    int y = 0;                          // filled when the line is closed, relative to the text top
};

struct Line {
    std::vector<Piece> pieces;
    int width = 0;
    int height = 0;
};

FontState StateOf(const FontRecord& record) {
    FontState state;
    state.font = record.font;
    state.face = record.face.GetData();
    state.size = record.size;
    state.bold = record.bold;
    state.underline = record.underline;
    state.italic = record.italic;
    state.height = record.metrics.tmHeight;
    return state;
}

// Lays brace-tag text out into lines of pieces, then draws or measures them.
class CMarkupLayout {
public:
    CMarkupLayout(HDC dc, CWindowManagerUI* manager, const RECT& rect, UINT style, DWORD color, int fontId,
                  const RECT* previousLinks, int linkCapacity)
        : dc_(dc), manager_(manager), rect_(rect), style_(style), previousLinks_(previousLinks),
          linkCapacity_(linkCapacity), colors_{color} {
        const FontRecord* record = manager ? manager->FontRecordById(fontId) : nullptr;
        if (!record && manager) record = manager->StandardFontRecord();
        FontState base;
        if (record && record->font) {
            base = StateOf(*record);
        } else {
            base.font = FallbackFont();
            LOGFONTW logFont{};
            GetObjectW(base.font, sizeof(logFont), &logFont);
            base.face = logFont.lfFaceName;
            base.size = -logFont.lfHeight;
            base.bold = logFont.lfWeight >= FW_BOLD;
        }
        fontStack_.push_back(AddFont(base));
    }

    ~CMarkupLayout() {
        if (originalFont_) SelectObject(dc_, originalFont_);
    }
    CMarkupLayout(const CMarkupLayout&) = delete;
    CMarkupLayout& operator=(const CMarkupLayout&) = delete;

    void Layout(const wchar_t* text);
    // Draws the lines (unless calculating) and reports the extent and the links.
    void Finish(RECT& rect, RECT* linkRects, CUiString* linkTargets, int& linkCount);

private:
    bool SingleLine() const { return (style_ & DT_SINGLELINE) != 0; }
    // Offsets and heights in tags are skin pixels.
    int Length(int skinPixels) const { return manager_ ? manager_->Scale().Length(skinPixels) : skinPixels; }
    const HighContrastPalette* HighContrast() const { return manager_ ? manager_->HighContrast() : nullptr; }
    DWORD LinkColor(bool hovered) const {
        if (HighContrast() != nullptr) return HighContrast()->hotLight;
        return hovered ? manager_->DefaultLinkHoverFontColor() : manager_->DefaultLinkFontColor();
    }
    const FontState& CurrentFont() const { return fonts_[fontStack_.back()]; }
    int AvailableWidth() const { return static_cast<int>(rect_.right - rect_.left) - x_; }

    size_t AddFont(FontState font);
    // Selects the font unless it is selected already; the caller's font returns at the end.
    void SelectFont(HFONT font);
    void PushVariant(bool bold, bool underline, bool italic);
    void PushFont(FontState wanted);
    void PushFontByFace(const wchar_t* args);
    void PopFont();
    void AddText(const wchar_t* text, int length);
    void AddPiece(const wchar_t* text, int length, int width);
    void AddImage(const wchar_t* args);
    void BreakLine();
    void BreakLineUnlessEmpty();
    // Handles the tag at p (after its opening bracket); returns the position after it.
    const wchar_t* HandleTag(const wchar_t* p);
    bool LastLine() const;

    HDC dc_;
    CWindowManagerUI* manager_;
    RECT rect_;
    UINT style_;
    const RECT* previousLinks_;
    int linkCapacity_;

    HGDIOBJ originalFont_ = nullptr;
    HFONT selectedFont_ = nullptr;
    std::vector<FontState> fonts_;
    std::vector<size_t> fontStack_;
    std::vector<DWORD> colors_;
    std::vector<int> paragraphSpacing_;
    std::vector<int> verticalAligns_{kAlignBottom};
    int selected_ = 0;
    int currentLink_ = -1;
    int linksFound_ = 0;
    std::vector<std::wstring> linkTargets_;

    std::vector<Line> lines_;
    Line line_;
    int x_ = 0;
    int y_ = 0;
    int fixedLineHeight_ = -1;
    bool truncated_ = false;
};

void CMarkupLayout::SelectFont(HFONT font) {
    if (font == selectedFont_) return;
    HGDIOBJ previous = SelectObject(dc_, font);
    if (!originalFont_) originalFont_ = previous;
    selectedFont_ = font;
}

size_t CMarkupLayout::AddFont(FontState font) {
    for (size_t i = 0; i < fonts_.size(); ++i) {
        if (fonts_[i].font == font.font) return i;
    }
    if (font.height == 0) {
        TEXTMETRICW metrics{};
        SelectFont(font.font);
        GetTextMetricsW(dc_, &metrics);
        font.height = metrics.tmHeight;
    }
    fonts_.push_back(std::move(font));
    return fonts_.size() - 1;
}

void CMarkupLayout::PushVariant(bool bold, bool underline, bool italic) {
    FontState wanted = CurrentFont();
    wanted.bold = wanted.bold || bold;
    wanted.underline = wanted.underline || underline;
    wanted.italic = wanted.italic || italic;
    PushFont(std::move(wanted));
}

// The manager's font with these properties, registered under a new number when it
// has none; without one the current font stays.
void CMarkupLayout::PushFont(FontState wanted) {
    const FontRecord* record = nullptr;
    if (manager_) {
        int id = manager_->FontIdMatching(wanted.face.c_str(), wanted.size, wanted.bold, wanted.underline,
                                          wanted.italic);
        if (id < 0) {
            id = g_nextVariantFontId++;
            manager_->RegisterFont(id, wanted.face.c_str(), wanted.size, wanted.bold, wanted.underline,
                                   wanted.italic);
        }
        record = manager_->FontRecordById(id);
    }
    if (!record || !record->font) {
        fontStack_.push_back(fontStack_.back());
        return;
    }
    fontStack_.push_back(AddFont(StateOf(*record)));
}

// "{f 3}": the manager's font 3; "{f Face Words 12 bold italic}": face, size, styles.
void CMarkupLayout::PushFontByFace(const wchar_t* args) {
    std::vector<std::wstring> words;
    for (const wchar_t* p = args; *p;) {
        while (*p == L' ') ++p;
        const wchar_t* start = p;
        while (*p && *p != L' ') ++p;
        if (p > start) words.emplace_back(start, p);
    }
    if (words.empty()) {
        fontStack_.push_back(fontStack_.back());
        return;
    }
    if (iswdigit(words[0][0])) {
        const FontRecord* record = manager_ ? manager_->FontRecordById(ReadInteger(words[0].c_str())) : nullptr;
        if (!record || !record->font) {
            fontStack_.push_back(fontStack_.back());
            return;
        }
        fontStack_.push_back(AddFont(StateOf(*record)));
        return;
    }
    FontState wanted;
    wanted.size = 10;
    size_t i = 0;
    for (; i < words.size() && !iswdigit(words[i][0]); ++i) {
        if (!wanted.face.empty()) wanted.face += L' ';
        wanted.face += words[i];
    }
    if (i < words.size()) wanted.size = ReadInteger(words[i++].c_str());
    for (; i < words.size(); ++i) {
        wanted.bold = wanted.bold || words[i] == L"bold";
        wanted.underline = wanted.underline || words[i] == L"underline";
        wanted.italic = wanted.italic || words[i] == L"italic";
    }
    PushFont(std::move(wanted));
}

void CMarkupLayout::PopFont() {
    if (fontStack_.size() > 1) fontStack_.pop_back();
}

bool CMarkupLayout::LastLine() const {
    return y_ + std::max(line_.height, CurrentFont().height) + CurrentFont().height >
           static_cast<int>(rect_.bottom - rect_.top);
}

void CMarkupLayout::AddPiece(const wchar_t* text, int length, int width) {
    Piece piece;
    piece.text.assign(text, length);
    piece.font = fontStack_.back();
    piece.color = colors_.back();
    piece.selected = selected_ > 0;
    piece.link = currentLink_;
    piece.verticalAlign = verticalAligns_.back();
    piece.x = x_;
    piece.width = width;
    piece.height = CurrentFont().height;
    line_.height = std::max(line_.height, piece.height);
    line_.pieces.push_back(std::move(piece));
    x_ += width;
    line_.width = std::max(line_.width, x_);
}

void CMarkupLayout::AddText(const wchar_t* text, int length) {
    SelectFont(CurrentFont().font);
    while (length > 0 && !truncated_) {
        int fit = 0;
        SIZE extent{};
        GetTextExtentExPointW(dc_, text, length, std::max(AvailableWidth(), 0), &fit, nullptr, &extent);
        if (fit >= length) {
            AddPiece(text, length, extent.cx);
            return;
        }
        const bool ellipsis = (style_ & DT_END_ELLIPSIS) != 0;
        if (ellipsis && (SingleLine() || LastLine())) {
            std::wstring cut(text, std::max(fit - 2, 0));
            cut += L"...";
            GetTextExtentPoint32W(dc_, cut.c_str(), static_cast<int>(cut.size()), &extent);
            AddPiece(cut.c_str(), static_cast<int>(cut.size()), extent.cx);
            truncated_ = true;
            return;
        }
        if (SingleLine()) {
            // Drawn whole; the clip cuts it at the edge.
            AddPiece(text, length, extent.cx);
            return;
        }
        int cut = fit;
        int drawn = -1;  // the blank a line breaks at is not drawn
        if (style_ & DT_WORDBREAK) {
            int space = -1;
            for (int i = std::min(fit, length - 1); i >= 0; --i) {
                if (text[i] == L' ') {
                    space = i;
                    break;
                }
            }
            if (space >= 0) {
                cut = space + 1;
                drawn = space;
            } else if (!line_.pieces.empty() || x_ > 0) {
                BreakLine();
                continue;
            }
        } else if (cut == 0 && (!line_.pieces.empty() || x_ > 0)) {
            BreakLine();
            continue;
        }
        cut = std::max(cut, 1);
        if (drawn < 0) drawn = cut;
        if (drawn > 0) {
            GetTextExtentPoint32W(dc_, text, drawn, &extent);
            AddPiece(text, drawn, extent.cx);
        }
        text += cut;
        length -= cut;
        BreakLine();
    }
}

void CMarkupLayout::BreakLine() {
    if (line_.pieces.empty()) line_.height = std::max(line_.height, CurrentFont().height);
    if (fixedLineHeight_ >= 0) line_.height = fixedLineHeight_;
    if (!paragraphSpacing_.empty()) line_.height += paragraphSpacing_.back();
    for (Piece& piece : line_.pieces) {
        switch (piece.verticalAlign) {
            case kAlignTop: piece.y = y_; break;
            case kAlignCentre: piece.y = y_ + (line_.height - piece.height) / 2; break;
            default: piece.y = y_ + line_.height - piece.height; break;
        }
    }
    y_ += line_.height;
    lines_.push_back(std::move(line_));
    line_ = Line();
    x_ = 0;
    fixedLineHeight_ = -1;
}

void CMarkupLayout::BreakLineUnlessEmpty() {
    if (!line_.pieces.empty() || x_ > 0) BreakLine();
}

// "{i name [count] [index]}" or "{i file='name' [count] [index]}".
void CMarkupLayout::AddImage(const wchar_t* args) {
    if (!manager_ || truncated_) return;
    std::wstring text(args);
    std::wstring numbers;
    DrawInfo info;
    size_t quote = text.rfind(L'\'');
    if (quote != std::wstring::npos && text.find(L'=') != std::wstring::npos) {
        CDrawEngine::ParseImageAttributes(text.substr(0, quote + 1).c_str(), info, manager_->Scale());
        numbers = text.substr(quote + 1);
    } else {
        size_t space = text.find(L' ');
        info.imageName = text.substr(0, space);
        if (space != std::wstring::npos) numbers = text.substr(space);
    }
    if (info.imageName.empty()) return;
    std::shared_ptr<const ImageRecord> image = manager_->ImageOrLoad(
        info.imageName.c_str(), info.resourceType.empty() ? nullptr : info.resourceType.c_str(), info.mask);
    if (!image) return;
    long numbersRead[2];
    ReadIntegers(numbers.c_str(), numbersRead, 2);
    long count = numbersRead[0];
    long index = numbersRead[1];
    if (count < 1) count = 1;
    if (index < 0 || index >= count) index = 0;
    const int width = image->width / count;
    if (!SingleLine() && width > AvailableWidth() && (!line_.pieces.empty() || x_ > 0)) BreakLine();
    Piece piece;
    piece.image = image;
    piece.imageSource = RECT{index * width, 0, (index + 1) * width, image->height};
    piece.link = currentLink_;
    piece.verticalAlign = verticalAligns_.back();
    piece.x = x_;
    piece.width = width;
    piece.height = image->height;
    line_.height = std::max(line_.height, piece.height);
    line_.pieces.push_back(std::move(piece));
    x_ += width;
    line_.width = std::max(line_.width, x_);
}

const wchar_t* CMarkupLayout::HandleTag(const wchar_t* p) {
    const bool closing = *p == L'/';
    if (closing) ++p;
    const wchar_t letter = *p++;
    const wchar_t* end = p;
    while (*end && *end != L'}' && *end != L'>') ++end;
    std::wstring args(p, end);
    while (!args.empty() && args[0] == L' ') args.erase(0, 1);
    const wchar_t* next = *end ? end + 1 : end;

    if (closing) {
        switch (letter) {
            case L'a':
                if (currentLink_ >= 0) ++linksFound_;
                currentLink_ = -1;
                PopFont();
                if (colors_.size() > 1) colors_.pop_back();
                break;
            case L'b':
            case L'f':
            case L'i':
            case L'u': PopFont(); break;
            case L'c':
                if (colors_.size() > 1) colors_.pop_back();
                break;
            case L'p':
                BreakLineUnlessEmpty();
                if (!paragraphSpacing_.empty()) paragraphSpacing_.pop_back();
                break;
            case L's':
                if (selected_ > 0) --selected_;
                break;
            case L'v':
                if (verticalAligns_.size() > 1) verticalAligns_.pop_back();
                break;
            default: break;
        }
        return next;
    }

    switch (letter) {
        case L'a': {
            const int index = linksFound_;
            DWORD color = manager_ ? LinkColor(false) : colors_.back();
            if (index < linkCapacity_) {
                currentLink_ = index;
                linkTargets_.resize(index + 1);
                linkTargets_[index] = args;
                POINT mouse = manager_ ? manager_->LastMousePosition() : POINT{-1, -1};
                if (manager_ && previousLinks_ && PtInRect(&previousLinks_[index], mouse)) {
                    color = LinkColor(true);
                }
            } else {
                currentLink_ = -1;
            }
            colors_.push_back(color);
            PushVariant(false, true, false);
            break;
        }
        case L'b': PushVariant(true, false, false); break;
        case L'c':
            // High contrast keeps the system's text colour.
            colors_.push_back(HighContrast() != nullptr ? colors_.back() : ReadBackgroundColor(args.c_str()));
            break;
        case L'f': PushFontByFace(args.c_str()); break;
        case L'i':
            if (args.empty()) {
                PushVariant(false, false, true);
            } else {
                AddImage(args.c_str());
            }
            break;
        case L'n':
            if (!SingleLine()) BreakLine();
            break;
        case L'p':
            BreakLineUnlessEmpty();
            paragraphSpacing_.push_back(Length(ReadInteger(args.c_str())));
            break;
        case L'r': {
            // Everything up to the closing tag, drawn as written.
            const wchar_t* close = next;
            while (*close && !((close[0] == L'{' || close[0] == L'<') && close[1] == L'/' && close[2] == L'r')) {
                ++close;
            }
            const wchar_t* start = next;
            while (start < close) {
                const wchar_t* lineEnd = start;
                while (lineEnd < close && *lineEnd != L'\n') ++lineEnd;
                AddText(start, static_cast<int>(lineEnd - start));
                if (lineEnd < close) {
                    if (!SingleLine()) BreakLine();
                    ++lineEnd;
                }
                start = lineEnd;
            }
            if (!*close) return close;
            const wchar_t* after = close + 3;
            while (*after && *after != L'}' && *after != L'>') ++after;
            return *after ? after + 1 : after;
        }
        case L's': ++selected_; break;
        case L'u': PushVariant(false, true, false); break;
        case L'v':
            verticalAligns_.push_back(args.compare(0, 6, L"center") == 0 ? kAlignCentre
                                      : args.compare(0, 3, L"top") == 0  ? kAlignTop
                                                                         : kAlignBottom);
            break;
        case L'x': x_ += Length(ReadInteger(args.c_str())); break;
        case L'y': fixedLineHeight_ = Length(ReadInteger(args.c_str())); break;
        default: break;
    }
    return next;
}

bool IsTagStart(const wchar_t* p) {
    if (*p != L'{' && *p != L'<') return false;
    const wchar_t* q = p + 1;
    if (*q == L'/') {
        ++q;
        return *q >= L'a' && *q <= L'z' && (q[1] == L'}' || q[1] == L'>');
    }
    return *q >= L'a' && *q <= L'z' && (q[1] == L' ' || q[1] == L'}' || q[1] == L'>');
}

// "<{>" "<}>" "{<}" "{>}": the literal bracket in the middle.
// p[2] is read only once p[1] is known not to be the terminator.
bool IsEscape(const wchar_t* p) {
    return (p[0] == L'<' && (p[1] == L'{' || p[1] == L'}') && p[2] == L'>') ||
           (p[0] == L'{' && (p[1] == L'<' || p[1] == L'>') && p[2] == L'}');
}

void CMarkupLayout::Layout(const wchar_t* text) {
    const wchar_t* p = text;
    while (*p) {
        if (IsEscape(p)) {
            AddText(p + 1, 1);
            p += 3;
        } else if (IsTagStart(p)) {
            p = HandleTag(p + 1);
        } else if (*p == L'\n') {
            if (!SingleLine()) BreakLine();
            ++p;
        } else if (*p == L'\r') {
            ++p;
        } else {
            const wchar_t* start = p;
            while (*p && *p != L'\n' && *p != L'\r' && !IsTagStart(p) && !IsEscape(p)) ++p;
            AddText(start, static_cast<int>(p - start));
        }
    }
    if (!line_.pieces.empty() || lines_.empty()) BreakLine();
}

void CMarkupLayout::Finish(RECT& rect, RECT* linkRects, CUiString* linkTargets, int& linkCount) {
    int width = 0;
    for (const Line& line : lines_) width = std::max(width, line.width);
    const int height = y_;
    const int rectWidth = rect.right - rect.left;
    const int rectHeight = rect.bottom - rect.top;
    int top = rect.top;
    if (style_ & DT_VCENTER) {
        top += (rectHeight - height) / 2;
    } else if (style_ & DT_BOTTOM) {
        top += rectHeight - height;
    }

    const int found = std::min(linksFound_ + (currentLink_ >= 0 ? 1 : 0), linkCapacity_);
    std::vector<RECT> links(found, RECT{});
    std::vector<bool> linkSeen(found, false);
    const bool calculate = (style_ & DT_CALCRECT) != 0;
    CRenderClip clip;
    if (!calculate) {
        CDrawEngine::ClipToRect(dc_, rect, clip);
        SetBkMode(dc_, TRANSPARENT);
    }
    // Right-to-left reading: the first piece of a line stands at its right end, and
    // each run takes the right-to-left base direction.
    const bool rightToLeft = (style_ & DT_RTLREADING) != 0;
    for (const Line& line : lines_) {
        int left = rect.left;
        if (style_ & DT_CENTER) {
            left += (rectWidth - line.width) / 2;
        } else if (style_ & DT_RIGHT) {
            left += rectWidth - line.width;
        }
        for (const Piece& piece : line.pieces) {
            const int x = rightToLeft ? line.width - piece.x - piece.width : piece.x;
            const RECT box{left + x, top + piece.y, left + x + piece.width, top + piece.y + piece.height};
            if (piece.link >= 0 && piece.link < found) {
                if (linkSeen[piece.link]) {
                    UnionRect(&links[piece.link], &links[piece.link], &box);
                } else {
                    links[piece.link] = box;
                    linkSeen[piece.link] = true;
                }
            }
            if (calculate) continue;
            if (piece.image) {
                CDrawEngine::BlitImage(dc_, piece.image->bitmap, box, rect, piece.imageSource, RECT{},
                                       piece.image->hasAlpha);
                continue;
            }
            SelectFont(fonts_[piece.font].font);
            SetTextColor(dc_, ToColorRef(piece.color));
            if (piece.selected && manager_) {
                SetBkMode(dc_, OPAQUE);
                SetBkColor(dc_, ToColorRef(HighContrast() != nullptr ? HighContrast()->highlight
                                                                    : manager_->DefaultSelectedBackColor()));
            }
            ExtTextOutW(dc_, box.left, box.top, ETO_CLIPPED | (rightToLeft ? ETO_RTLREADING : 0), &rect,
                        piece.text.c_str(),
                        static_cast<UINT>(piece.text.size()), nullptr);
            if (piece.selected) SetBkMode(dc_, TRANSPARENT);
        }
    }
    if (calculate) {
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
    }
    for (int i = 0; i < found; ++i) {
        if (linkRects) linkRects[i] = links[i];
        if (linkTargets) linkTargets[i] = linkTargets_[i].c_str();
    }
    linkCount = found;
}

// Measuring needs no target: without one, a screen-compatible memory DC stands in.
class CMeasuringDC {
public:
    CMeasuringDC(HDC dc, UINT style)
        : own_(!dc && (style & DT_CALCRECT) ? CreateCompatibleDC(nullptr) : nullptr), dc_(dc ? dc : own_.Get()) {}
    HDC Get() const { return dc_; }

private:
    UniqueDeviceContext own_;
    HDC dc_;
};

}  // namespace

std::wstring CDrawEngine::MarkupPlainText(const wchar_t* text, int* links) {
    std::wstring plain;
    if (links != nullptr) *links = 0;
    if (text == nullptr) return plain;
    const wchar_t* p = text;
    while (*p) {
        if (IsEscape(p)) {
            plain += p[1];
            p += 3;
        } else if (IsTagStart(p)) {
            const bool closing = p[1] == L'/';
            const wchar_t letter = closing ? p[2] : p[1];
            const wchar_t* end = p + 1;
            while (*end && *end != L'}' && *end != L'>') ++end;
            const wchar_t* next = *end ? end + 1 : end;
            if (!closing && letter == L'a' && links != nullptr) ++*links;
            if (!closing && letter == L'n') plain += L' ';
            if (!closing && letter == L'r') {
                // Raw: everything up to the closing tag, as written.
                const wchar_t* close = next;
                while (*close && !((close[0] == L'{' || close[0] == L'<') && close[1] == L'/' && close[2] == L'r')) {
                    ++close;
                }
                plain.append(next, close);
                next = close;
            }
            p = next;
        } else {
            plain += (*p == L'\n' || *p == L'\r') ? L' ' : *p;
            ++p;
        }
    }
    return plain;
}

void CDrawEngine::PaintPlainText(HDC dc, CWindowManagerUI* manager, RECT& rect, const wchar_t* text, DWORD color,
                                 int fontId, UINT style) {
    CMeasuringDC measuring(dc, style);
    dc = measuring.Get();
    if (!dc || !text) return;
    CUiString expanded = CWindowManagerUI::ReplaceLocalizedTokens(text);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(color));
    CSelectObject selected(dc, FontFor(manager, fontId));
    DrawTextW(dc, expanded.GetData(), expanded.GetLength(), &rect, style | DT_NOPREFIX);
}

void CDrawEngine::PaintMarkupText(HDC dc, CWindowManagerUI* manager, RECT& rect, const wchar_t* text, DWORD color,
                                  RECT* linkRects, CUiString* linkTargets, int& linkCount, int fontId,
                                  UINT style) {
    const int capacity = std::max(linkCount, 0);
    linkCount = 0;
    CMeasuringDC measuring(dc, style);
    dc = measuring.Get();
    if (!dc || !text) return;
    CMarkupLayout layout(dc, manager, rect, style, color, fontId, linkRects, capacity);
    layout.Layout(text);
    layout.Finish(rect, linkRects, linkTargets, linkCount);
}

}  // namespace Veneer
