#pragma once
// GDI state for a scope: a selection that puts the previous object back. The
// owners of GDI objects and device contexts are in base/UniqueResource.h.

#include <windows.h>

#include "base/UniqueResource.h"

namespace Veneer {

// Selects an object into a device context for the scope; the previous one returns.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~CSelectObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace Veneer
