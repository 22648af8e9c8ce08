// The window manager's fonts: by the skin's numbers, per window or process-wide,
// made at the window's scale in the language's face.

#include "ui/core/WindowManager.h"

#include <cwchar>

#include "log/Log.h"
#include "ui/core/FontFaceChoice.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

namespace manager {

HFONT CreateSkinFont(const wchar_t* face, int size, bool bold, bool underline, bool italic) {
    LOGFONTW font = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    if (face != nullptr) {
        wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
        font.lfFaceName[LF_FACESIZE - 1] = L'\0';
    }
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfHeight = -size;
    if (bold) font.lfWeight += FW_BOLD;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfItalic = italic ? TRUE : FALSE;
    HFONT handle = CreateFontIndirectW(&font);
    if (handle == nullptr) LOG_W(L"CreateFontIndirectW failed for \"%s\" %d: %lu", font.lfFaceName, size, GetLastError());
    return handle;
}

void ReadMetrics(HDC dc, FontRecord& record) {
    if (dc == nullptr || record.font == nullptr) return;
    HGDIOBJ old = SelectObject(dc, record.font);
    GetTextMetricsW(dc, &record.metrics);
    SelectObject(dc, old);
}

void StoreFont(FontRecord& record, HFONT font, const wchar_t* face, int size, bool bold, bool underline,
               bool italic) {
    if (record.font != nullptr) DeleteObject(record.font);
    record.font = font;
    record.face = face;
    record.size = size;
    record.bold = bold;
    record.underline = underline;
    record.italic = italic;
    record.metrics = TEXTMETRICW{};
}

}  // namespace manager

using namespace manager;

bool CWindowManagerUI::PreferFaces(const wchar_t* faceList) {
    preferredFace_ = FirstInstalledFace(faceList);
    if (!preferredFace_.IsEmpty()) {
        LOG_W(L"Font face:%s", preferredFace_.GetData());
    } else if (faceList != nullptr && faceList[0] != L'\0') {
        LOG_W(L"None of the faces \"%s\" is installed: the skin's faces stay", faceList);
    }
    return !preferredFace_.IsEmpty();
}

const wchar_t* CWindowManagerUI::FaceToUse(const wchar_t* face) const {
    return preferredFace_.IsEmpty() ? face : preferredFace_.GetData();
}

bool CWindowManagerUI::MakeFont(FontRecord& record, const wchar_t* face, int size, bool bold, bool underline,
                                bool italic) const {
    face = FaceToUse(face);
    HFONT font = CreateSkinFont(face, scale_.Length(size), bold, underline, italic);
    if (font == nullptr) return false;
    StoreFont(record, font, face, size, bold, underline, italic);
    ReadMetrics(PaintDC(), record);
    return true;
}

const FontRecord* CWindowManagerUI::WithMetrics(const FontRecord* record) const {
    // Read once the window's device context exists; the record is the manager's own.
    if (record != nullptr && record->metrics.tmHeight == 0) ReadMetrics(PaintDC(), const_cast<FontRecord&>(*record));
    return record;
}

HFONT CWindowManagerUI::RegisterFont(int id, const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                     bool shared) {
    FontTable& table = shared ? Shared().fonts : fonts_;
    auto entry = table.try_emplace(id);
    if (!MakeFont(entry.first->second, face, size, bold, underline, italic)) {
        if (entry.second) table.erase(entry.first);
        return nullptr;
    }
    return entry.first->second.font;
}

const FontRecord* CWindowManagerUI::FontRecordById(int id) const {
    auto own = fonts_.find(id);
    if (own != fonts_.end()) return WithMetrics(&own->second);
    auto shared = Shared().fonts.find(id);
    return shared != Shared().fonts.end() ? WithMetrics(&shared->second) : nullptr;
}

HFONT CWindowManagerUI::FontById(int id) const {
    const FontRecord* record = FontRecordById(id);
    return record != nullptr ? record->font : nullptr;
}

int CWindowManagerUI::FontIdMatching(const wchar_t* face, int size, bool bold, bool underline, bool italic) const {
    const FontTable* tables[] = {&fonts_, &Shared().fonts};
    for (const FontTable* table : tables) {
        for (const auto& entry : *table) {
            const FontRecord& record = entry.second;
            if (record.face.CompareNoCase(face) == 0 && record.size == size && record.bold == bold &&
                record.underline == underline && record.italic == italic) {
                return entry.first;
            }
        }
    }
    return -1;
}

const FontRecord* CWindowManagerUI::FontRecordOf(HFONT font) const {
    if (font == nullptr) return nullptr;
    const FontTable* tables[] = {&fonts_, &Shared().fonts};
    for (const FontTable* table : tables) {
        for (const auto& entry : *table) {
            if (entry.second.font == font) return WithMetrics(&entry.second);
        }
    }
    const FontRecord* standard = StandardFontRecord();
    return standard->font == font ? standard : nullptr;
}

void CWindowManagerUI::SetStandardFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                       bool shared) {
    MakeFont(shared ? Shared().standardFont : standardFont_, face, size, bold, underline, italic);
}

const FontRecord* CWindowManagerUI::StandardFontRecord() const {
    // The window's own default when it set one, else the process-wide default.
    return WithMetrics(standardFont_.font != nullptr ? &standardFont_ : &Shared().standardFont);
}

HFONT CWindowManagerUI::StandardFont() const { return StandardFontRecord()->font; }

}  // namespace Veneer
