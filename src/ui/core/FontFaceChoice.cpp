#include "ui/core/FontFaceChoice.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "ui/core/GdiObjects.h"

namespace Veneer {

namespace {

int CALLBACK CountFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

}  // namespace

bool IsFontFaceInstalled(const wchar_t* face) {
    // A longer name cannot be a face: GDI would compare only its first 31 characters.
    if (face == nullptr || face[0] == L'\0' || wcslen(face) >= LF_FACESIZE) return false;
    UniqueDeviceContext dc(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcscpy(wanted.lfFaceName, face);
    bool found = false;
    EnumFontFamiliesExW(dc.Get(), &wanted, CountFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

CUiString FirstInstalledFace(const wchar_t* faceList) {
    if (faceList == nullptr) return CUiString();
    const wchar_t* cursor = faceList;
    while (*cursor != L'\0') {
        const wchar_t* end = wcschr(cursor, L',');
        if (end == nullptr) end = cursor + wcslen(cursor);
        const wchar_t* first = cursor;
        const wchar_t* last = end;
        while (first < last && iswspace(*first)) ++first;
        while (last > first && iswspace(last[-1])) --last;
        CUiString face(first, static_cast<int>(last - first));
        if (IsFontFaceInstalled(face)) return face;
        cursor = *end == L',' ? end + 1 : end;
    }
    return CUiString();
}

}  // namespace Veneer
