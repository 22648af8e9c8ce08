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

HFONT CWindowManagerUI::RegisterFont(int id, const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                     bool shared) {
    face = FaceToUse(face);
    HFONT font = CreateSkinFont(face, scale_.Length(size), bold, underline, italic);
    if (font == nullptr) return nullptr;
    auto* record = new FontRecord;
    StoreFont(*record, font, face, size, bold, underline, italic);
    ReadMetrics(paintDC_, *record);
    CStringPtrMap& table = shared || useSharedResources_ ? Shared().fonts : fonts_;
    wchar_t key[16];
    _itow(id, key, 10);
    delete static_cast<FontRecord*>(table.Set(key, record));
    return font;
}

const FontRecord* CWindowManagerUI::FontRecordById(int id) const {
    wchar_t key[16];
    _itow(id, key, 10);
    auto* record = static_cast<FontRecord*>(fonts_.Find(key));
    if (record == nullptr) record = static_cast<FontRecord*>(Shared().fonts.Find(key));
    if (record != nullptr && record->metrics.tmHeight == 0) ReadMetrics(paintDC_, *record);
    return record;
}

HFONT CWindowManagerUI::FontById(int id) const {
    const FontRecord* record = FontRecordById(id);
    return record != nullptr ? record->font : nullptr;
}

int CWindowManagerUI::FontIdMatching(const wchar_t* face, int size, bool bold, bool underline, bool italic) const {
    const CStringPtrMap* tables[] = {&fonts_, &Shared().fonts};
    for (const CStringPtrMap* table : tables) {
        for (int i = 0; i < table->GetSize(); ++i) {
            const wchar_t* key = table->KeyAt(i);
            auto* record = static_cast<FontRecord*>(table->Find(key));
            if (record->face.CompareNoCase(face) == 0 && record->size == size && record->bold == bold &&
                record->underline == underline && record->italic == italic) {
                return _wtoi(key);
            }
        }
    }
    return -1;
}

const FontRecord* CWindowManagerUI::FontRecordOf(HFONT font) const {
    if (font == nullptr) return nullptr;
    const CStringPtrMap* tables[] = {&fonts_, &Shared().fonts};
    for (const CStringPtrMap* table : tables) {
        for (int i = 0; i < table->GetSize(); ++i) {
            auto* record = static_cast<FontRecord*>(table->Find(table->KeyAt(i)));
            if (record->font == font) {
                if (record->metrics.tmHeight == 0) ReadMetrics(paintDC_, *record);
                return record;
            }
        }
    }
    const FontRecord* standard = StandardFontRecord();
    return standard->font == font ? standard : nullptr;
}

void CWindowManagerUI::SetStandardFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                                       bool shared) {
    face = FaceToUse(face);
    HFONT font = CreateSkinFont(face, scale_.Length(size), bold, underline, italic);
    if (font == nullptr) return;
    FontRecord& target = shared ? Shared().standardFont : standardFont_;
    StoreFont(target, font, face, size, bold, underline, italic);
    ReadMetrics(paintDC_, target);
}

const FontRecord* CWindowManagerUI::StandardFontRecord() const {
    // The window's own default when it set one, else the process-wide default.
    FontRecord& record = standardFont_.font != nullptr ? const_cast<FontRecord&>(standardFont_) : Shared().standardFont;
    if (record.metrics.tmHeight == 0) ReadMetrics(paintDC_, record);
    return &record;
}

HFONT CWindowManagerUI::StandardFont() const { return StandardFontRecord()->font; }
}  // namespace Veneer
