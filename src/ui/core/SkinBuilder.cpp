#include "ui/core/SkinBuilder.h"

#include <cstdlib>
#include <cwchar>

#include "log/Log.h"
#include "ui/control/Button.h"
#include "ui/control/Container.h"
#include "ui/control/Control.h"
#include "ui/control/Edit.h"
#include "ui/control/HorizontalLayout.h"
#include "ui/control/Label.h"
#include "ui/control/Option.h"
#include "ui/control/Progress.h"
#include "ui/control/ScrollBar.h"
#include "ui/control/TabLayout.h"
#include "ui/control/Text.h"
#include "ui/control/VerticalLayout.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {

// Include reads "count" and "source" into buffers of this many characters.
constexpr size_t kIncludeValueLength = 500;
// "cover" is read into a buffer of this many characters.
constexpr size_t kCoverValueLength = 256;

bool IsName(const wchar_t* name, const wchar_t* expected) { return _wcsicmp(name, expected) == 0; }

bool IsResourceElement(const wchar_t* name) {
    return IsName(name, L"Image") || IsName(name, L"Font") || IsName(name, L"Default") ||
           IsName(name, L"MultiLanguage");
}

// Resource element attributes: booleans are "true" in any letter case.
bool ReadFlag(const wchar_t* value) { return _wcsicmp(value, L"true") == 0; }

DWORD ReadHexColour(const wchar_t* value) {
    if (*value == L'#') ++value;
    return static_cast<DWORD>(wcstoul(value, nullptr, 16));
}

template <typename T>
CControlUI* Make() {
    return new T;
}

struct ControlClass {
    const wchar_t* name;
    CControlUI* (*make)();
};

// The classes this build has. Names compare without regard to case; the tree,
// list, combo, rich edit, slider, date-time, tile, child-layout, ActiveX, browser
// and animated-GIF classes are not part of it, so their elements are skipped.
const ControlClass kClasses[] = {
    {L"Control", Make<CControlUI>},
    {L"Container", Make<CContainerUI>},
    {L"VerticalLayout", Make<CVerticalLayoutUI>},
    {L"VBox", Make<CVerticalLayoutUI>},
    {L"HorizontalLayout", Make<CHorizontalLayoutUI>},
    {L"HBox", Make<CHorizontalLayoutUI>},
    {L"TabLayout", Make<CTabLayoutUI>},
    {L"Label", Make<CLabelUI>},
    {L"Text", Make<CTextUI>},
    {L"Button", Make<CButtonUI>},
    {L"Option", Make<COptionUI>},
    {L"CheckBox", Make<CCheckBoxUI>},
    {L"Edit", Make<CEditUI>},
    {L"Progress", Make<CProgressUI>},
    {L"ScrollBar", Make<CScrollBarUI>},
};

}  // namespace

CControlUI* CSkinBuilder::Build(const wchar_t* source, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                                CWindowManagerUI* manager, CControlUI* parent) {
    callback_ = callback;
    if (source == nullptr || !Load(source, resourceType)) return nullptr;
    return BuildLoaded(callback, manager, parent);
}

bool CSkinBuilder::Load(const wchar_t* source, const wchar_t* resourceType) {
    document_.Clear();
    if (IS_INTRESOURCE(source)) {
        HMODULE module = CWindowManagerUI::ModuleHandle();
        HRSRC resource = FindResourceW(module, source, resourceType);
        HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
        if (bytes == nullptr || size == 0) {
            LOG_A("skin markup resource %u is missing: %lu", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(source)),
                  GetLastError());
            return false;
        }
        if (!document_.ParseBytes(bytes, size, kUtf8)) return false;
        resourceType_ = resourceType;
        return true;
    }
    bool parsed = source[0] == L'<' ? document_.ParseText(source) : document_.ParseFile(source, kUtf8);
    if (!parsed) {
        LOG_W(L"skin markup %s did not load: %s %s", source[0] == L'<' ? L"(text)" : source,
              document_.LastErrorMessage(), document_.LastErrorLocation());
    }
    return parsed;
}

CControlUI* CSkinBuilder::BuildLoaded(IDialogBuilderCallback* callback, CWindowManagerUI* manager,
                                      CControlUI* parent) {
    callback_ = callback;
    CXmlMarkupNode root = document_.Root();
    if (root.IsNull()) return nullptr;
    if (manager != nullptr) RegisterResources(root, manager);
    if (IsName(root.Name(), L"Window") && manager != nullptr && manager->WindowHandle() != nullptr) {
        int count = root.AttributeCount();
        for (int i = 0; i < count; ++i) manager->ApplyWindowAttribute(root.AttributeNameAt(i), root.AttributeValueAt(i));
    }
    return BuildChildren(root, parent, manager);
}

void CSkinBuilder::RegisterResources(CXmlMarkupNode root, CWindowManagerUI* manager) {
    for (CXmlMarkupNode node = root.FirstChild(); !node.IsNull(); node = node.NextSibling()) {
        const wchar_t* element = node.Name();
        if (!IsResourceElement(element)) continue;
        // Defaults of every element kind; an attribute given twice counts with its later value.
        const wchar_t* name = nullptr;
        const wchar_t* value = nullptr;
        const wchar_t* resourceType = nullptr;
        DWORD mask = 0;
        int id = -1;
        int size = 12;
        bool bold = false, underline = false, italic = false, isDefault = false, shared = false;
        int count = node.AttributeCount();
        for (int i = 0; i < count; ++i) {
            const wchar_t* key = node.AttributeNameAt(i);
            const wchar_t* text = node.AttributeValueAt(i);
            if (IsName(key, L"name")) {
                name = text;
            } else if (IsName(key, L"value")) {
                value = text;
            } else if (IsName(key, L"restype")) {
                resourceType = text;
            } else if (IsName(key, L"mask")) {
                mask = ReadHexColour(text);
            } else if (IsName(key, L"id")) {
                id = static_cast<int>(wcstol(text, nullptr, 10));
            } else if (IsName(key, L"size")) {
                size = static_cast<int>(wcstol(text, nullptr, 10));
            } else if (IsName(key, L"bold")) {
                bold = ReadFlag(text);
            } else if (IsName(key, L"underline")) {
                underline = ReadFlag(text);
            } else if (IsName(key, L"italic")) {
                italic = ReadFlag(text);
            } else if (IsName(key, L"default")) {
                isDefault = ReadFlag(text);
            } else if (IsName(key, L"shared")) {
                shared = ReadFlag(text);
            }
        }
        if (IsName(element, L"Image")) {
            if (name != nullptr) manager->RegisterImage(name, resourceType, mask, shared);
        } else if (IsName(element, L"Font")) {
            if (id >= 0 && name != nullptr) {
                manager->RegisterFont(id, name, size, bold, underline, italic, shared);
                if (isDefault) manager->SetStandardFont(name, size, bold, underline, italic, shared);
            }
        } else if (IsName(element, L"Default")) {
            if (name != nullptr) manager->RegisterClassDefaults(name, value, shared);
        } else if (id >= 0 && value != nullptr) {
            CWindowManagerUI::RegisterLocalizedText(id, value);
        }
    }
}

CControlUI* CSkinBuilder::BuildChildren(CXmlMarkupNode element, CControlUI* parent, CWindowManagerUI* manager) {
    IContainerUI* container = nullptr;
    bool askedForContainer = false;
    CControlUI* first = nullptr;
    for (CXmlMarkupNode node = element.FirstChild(); !node.IsNull(); node = node.NextSibling()) {
        const wchar_t* className = node.Name();
        if (IsResourceElement(className)) continue;
        if (IsName(className, L"Include")) {
            BuildInclude(node, parent, manager);
            continue;
        }
        // Tree nodes need the tree controls, which this build does not have.
        if (IsName(className, L"TreeNode")) continue;
        CControlUI* control = MakeControl(className);
        if (control == nullptr) {
            LOG_W(L"skin element %s makes no control; skipped with its children", className);
            continue;
        }
        if (node.HasChildElements()) BuildChildren(node, control, manager);

        if (parent != nullptr) {
            wchar_t cover[kCoverValueLength] = {};
            if (node.CopyAttribute(L"cover", cover, kCoverValueLength - 1) && wcscmp(cover, L"true") == 0) {
                parent->AssignCover(control);
            } else {
                if (!askedForContainer) {
                    container = static_cast<IContainerUI*>(parent->CastTo(L"IContainer"));
                    askedForContainer = true;
                }
                if (container == nullptr) {
                    LOG_W(L"skin element %s sits in a %s, which holds no children", className, parent->GetTypeName());
                    control->Destroy();
                    return nullptr;
                }
                if (!container->Add(control)) {
                    control->Destroy();
                    continue;
                }
            }
        }

        // The container already told the control who its parent is; keep that while
        // the attributes run, so setters that look at the parent find it.
        CControlUI* ownParent = control->GetParent();
        if (manager != nullptr) {
            control->AttachToManager(manager, ownParent, false);
            const wchar_t* defaults = manager->ClassDefaults(className);
            if (defaults != nullptr) control->ApplyAttributeString(defaults);
        }
        int count = node.AttributeCount();
        for (int i = 0; i < count; ++i) control->ApplySkinAttribute(node.AttributeNameAt(i), node.AttributeValueAt(i));
        if (manager != nullptr) control->AttachToManager(nullptr, ownParent, false);

        if (first == nullptr) first = control;
    }
    return first;
}

void CSkinBuilder::BuildInclude(CXmlMarkupNode include, CControlUI* parent, CWindowManagerUI* manager) {
    if (!include.HasAnyAttribute()) return;
    wchar_t countText[kIncludeValueLength] = {};
    wchar_t source[kIncludeValueLength] = {};
    int count = 1;
    if (include.CopyAttribute(L"count", countText, kIncludeValueLength - 1)) {
        count = static_cast<int>(wcstol(countText, nullptr, 10));
    }
    if (!include.CopyAttribute(L"source", source, kIncludeValueLength - 1)) return;
    CSkinBuilder included;
    for (int i = 0; i < count; ++i) {
        if (i == 0 || !included.Document().IsParsed()) {
            if (resourceType_ != nullptr) {
                UINT id = static_cast<UINT>(wcstol(source, nullptr, 10)) & 0xFFFF;
                included.Build(MAKEINTRESOURCEW(id), resourceType_, callback_, manager, parent);
            } else {
                included.Build(source, nullptr, callback_, manager, parent);
            }
        } else {
            included.BuildLoaded(callback_, manager, parent);
        }
    }
}

CControlUI* CSkinBuilder::MakeControl(const wchar_t* className) {
    for (const ControlClass& known : kClasses) {
        if (IsName(className, known.name)) return known.make();
    }
    for (ControlFactory factory : CWindowManagerUI::ControlFactories()) {
        CControlUI* control = factory(className);
        if (control != nullptr) return control;
    }
    return callback_ != nullptr ? callback_->MakeControl(className) : nullptr;
}

}  // namespace Veneer
