#include "ui/core/SkinBuilder.h"

#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
#include "ui/core/AttributeValue.h"
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

namespace {

// Reads a markup source into the document: a numeric resource id of the given type, a
// markup text, or a file name in the resource location.
bool LoadDocument(CXmlMarkup& document, const wchar_t* source, const wchar_t* resourceType) {
    document.Clear();
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
        return document.ParseBytes(bytes, size, kUtf8);
    }
    bool parsed = source[0] == L'<' ? document.ParseText(source) : document.ParseFile(source, kUtf8);
    if (!parsed) {
        LOG_W(L"skin markup %s did not load: %s %s", source[0] == L'<' ? L"(text)" : source,
              document.LastErrorMessage(), document.LastErrorLocation());
    }
    return parsed;
}

// How a source is named in the include chain: a resource by its number, a file by its
// name in lower case with either slash; markup text has no name and never repeats.
std::wstring SourceName(const wchar_t* source) {
    if (IS_INTRESOURCE(source)) return L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(source));
    if (source[0] == L'<') return std::wstring();
    std::wstring name = source;
    for (wchar_t& ch : name) ch = ch == L'\\' ? L'/' : static_cast<wchar_t>(towlower(ch));
    return name;
}

}  // namespace

// One element whose children are being built, on the builder's own stack.
struct CSkinBuilder::Level {
    CXmlMarkupNode next;          // the next element to look at
    CControlUI* parent;           // where this level's controls go; may be none
    CControlUI* owner;            // the control these are the children of, finished when they are done
    CXmlMarkupNode ownerElement;
    const wchar_t* resourceType;  // of the document the elements come from
    int depth;                    // controls above this level's controls
    bool repeatsInclude;          // one repetition of the include on top of the include stack
    IContainerUI* container = nullptr;
    bool askedForContainer = false;
    bool ended = false;           // the parent holds no children
    CControlUI* first = nullptr;
};

// An included document with the repetitions still to build.
struct CSkinBuilder::Include {
    CXmlMarkup document;
    std::wstring source;          // the "source" attribute as written
    const wchar_t* resourceType;  // its elements' resource type: the including document's
    int remaining;
    CControlUI* parent;
    int depth;

    // A document loaded from a resource names its includes by resource number.
    const wchar_t* Loadable() const {
        if (resourceType == nullptr) return source.c_str();
        return MAKEINTRESOURCEW(static_cast<UINT>(wcstol(source.c_str(), nullptr, 10)) & 0xFFFF);
    }
};

struct CSkinBuilder::BuildState {
    CWindowManagerUI* manager;
    std::vector<Level> levels;
    std::vector<std::unique_ptr<Include>> includes;
    int controls = 0;
    int includesBuilt = 0;
    bool toldControls = false;
    bool toldIncludes = false;
    bool toldNesting = false;
};

CControlUI* CSkinBuilder::Build(const wchar_t* source, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                                CWindowManagerUI* manager, CControlUI* parent) {
    callback_ = callback;
    if (source == nullptr) return nullptr;
    resourceType_ = IS_INTRESOURCE(source) ? resourceType : nullptr;
    source_ = SourceName(source);
    if (!LoadDocument(document_, source, resourceType)) return nullptr;
    return BuildLoaded(callback, manager, parent);
}

CControlUI* CSkinBuilder::BuildLoaded(IDialogBuilderCallback* callback, CWindowManagerUI* manager,
                                      CControlUI* parent) {
    callback_ = callback;
    CXmlMarkupNode root = document_.Root();
    if (root.IsNull()) return nullptr;
    PrepareDocument(root, manager);
    return BuildTree(root, parent, manager);
}

void CSkinBuilder::PrepareDocument(CXmlMarkupNode root, CWindowManagerUI* manager) {
    if (manager == nullptr) return;
    RegisterResources(root, manager);
    if (IsName(root.Name(), L"Window") && manager->WindowHandle() != nullptr) {
        int count = root.AttributeCount();
        for (int i = 0; i < count; ++i) manager->ApplyWindowAttribute(root.AttributeNameAt(i), root.AttributeValueAt(i));
    }
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
        const std::pair<const wchar_t*, bool*> flags[] = {
            {L"bold", &bold}, {L"underline", &underline}, {L"italic", &italic}, {L"default", &isDefault},
            {L"shared", &shared}};
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
                mask = ReadColor(text);
            } else if (IsName(key, L"id")) {
                id = ReadInteger(text);
            } else if (IsName(key, L"size")) {
                size = ReadInteger(text);
            } else {
                for (const auto& flag : flags) {
                    if (IsName(key, flag.first)) *flag.second = IsTrueValueAnyCase(text);
                }
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

CControlUI* CSkinBuilder::BuildTree(CXmlMarkupNode root, CControlUI* parent, CWindowManagerUI* manager) {
    BuildState build{manager};
    build.levels.push_back(Level{root.FirstChild(), parent, nullptr, CXmlMarkupNode(), resourceType_, 0, false});
    CControlUI* result = nullptr;
    while (!build.levels.empty()) {
        Level& level = build.levels.back();
        if (level.ended || level.next.IsNull()) {
            Level done = std::move(level);
            build.levels.pop_back();
            if (done.owner != nullptr) {
                FinishControl(done.owner, done.ownerElement, build.levels.back(), manager);
            } else if (done.repeatsInclude) {
                RepeatInclude(build);
            } else {
                result = done.ended ? nullptr : done.first;
            }
            continue;
        }
        CXmlMarkupNode node = level.next;
        level.next = node.NextSibling();
        const wchar_t* className = node.Name();
        // Tree nodes need the tree controls, which this build does not have.
        if (IsResourceElement(className) || IsName(className, L"TreeNode")) continue;
        if (IsName(className, L"Include")) {
            StartInclude(node, level.parent, level.depth, level.resourceType, build);
            continue;
        }
        if (level.depth >= kMaxNesting) {
            if (!build.toldNesting) {
                LOG_W(L"skin element %s lies deeper than %d controls; skipped with its children", className,
                      kMaxNesting);
                build.toldNesting = true;
            }
            continue;
        }
        if (build.controls >= kMaxControls) {
            if (!build.toldControls) {
                LOG_W(L"skin %s has more than %d controls; element %s and the rest are skipped", source_.c_str(),
                      kMaxControls, className);
                build.toldControls = true;
            }
            continue;
        }
        CControlUI* control = MakeControl(className);
        if (control == nullptr) {
            LOG_W(L"skin element %s makes no control; skipped with its children", className);
            continue;
        }
        ++build.controls;
        if (node.HasChildElements()) {
            Level children{node.FirstChild(), control, control, node, level.resourceType, level.depth + 1, false};
            build.levels.push_back(std::move(children));
            continue;
        }
        FinishControl(control, node, level, manager);
    }
    return result;
}

void CSkinBuilder::FinishControl(CControlUI* control, CXmlMarkupNode element, Level& level,
                                 CWindowManagerUI* manager) {
    const wchar_t* className = element.Name();
    CControlUI* parent = level.parent;
    if (parent != nullptr) {
        wchar_t cover[kCoverValueLength] = {};
        if (element.CopyAttribute(L"cover", cover, kCoverValueLength - 1) && IsTrueValue(cover)) {
            parent->AssignCover(control);
        } else {
            if (!level.askedForContainer) {
                level.container = static_cast<IContainerUI*>(parent->CastTo(L"IContainer"));
                level.askedForContainer = true;
            }
            if (level.container == nullptr) {
                LOG_W(L"skin element %s sits in a %s, which holds no children", className, parent->GetTypeName());
                control->Destroy();
                level.ended = true;
                return;
            }
            if (!level.container->Add(control)) {
                control->Destroy();
                return;
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
    int count = element.AttributeCount();
    for (int i = 0; i < count; ++i) control->ApplySkinAttribute(element.AttributeNameAt(i), element.AttributeValueAt(i));
    if (manager != nullptr) control->AttachToManager(nullptr, ownParent, false);

    if (level.first == nullptr) level.first = control;
}

void CSkinBuilder::StartInclude(CXmlMarkupNode element, CControlUI* parent, int depth, const wchar_t* resourceType,
                                BuildState& build) {
    if (!element.HasAnyAttribute()) return;
    wchar_t countText[kIncludeValueLength] = {};
    wchar_t source[kIncludeValueLength] = {};
    int count = 1;
    if (element.CopyAttribute(L"count", countText, kIncludeValueLength - 1)) {
        count = ReadInteger(countText);
    }
    if (!element.CopyAttribute(L"source", source, kIncludeValueLength - 1) || count <= 0) return;

    auto include = std::make_unique<Include>();
    include->source = source;
    include->resourceType = resourceType;
    include->remaining = count;
    include->parent = parent;
    include->depth = depth;
    const wchar_t* loadable = include->Loadable();
    std::wstring name = SourceName(loadable);
    std::wstring chain = source_;
    bool cycle = !name.empty() && name == source_;
    for (const std::unique_ptr<Include>& open : build.includes) {
        std::wstring openName = SourceName(open->Loadable());
        cycle = cycle || (!name.empty() && openName == name);
        chain += L" > " + openName;
    }
    if (cycle) {
        LOG_W(L"skin include %s is part of itself (%s > %s); skipped", source, chain.c_str(), name.c_str());
        return;
    }
    if (static_cast<int>(build.includes.size()) >= kMaxIncludeDepth) {
        LOG_W(L"skin include %s lies more than %d includes deep (%s); skipped", source, kMaxIncludeDepth,
              chain.c_str());
        return;
    }
    build.includes.push_back(std::move(include));
    RepeatInclude(build);
}

void CSkinBuilder::RepeatInclude(BuildState& build) {
    Include& include = *build.includes.back();
    while (include.remaining > 0) {
        --include.remaining;
        if (build.includesBuilt >= kMaxIncludes) {
            if (!build.toldIncludes) {
                LOG_W(L"skin %s includes more than %d documents; include %s and the rest are skipped", source_.c_str(),
                      kMaxIncludes, include.source.c_str());
                build.toldIncludes = true;
            }
            break;
        }
        ++build.includesBuilt;
        // Loaded once; a source that did not load would not load the next time either.
        if (!include.document.IsParsed() && !LoadDocument(include.document, include.Loadable(), include.resourceType)) {
            break;
        }
        CXmlMarkupNode root = include.document.Root();
        PrepareDocument(root, build.manager);
        const wchar_t* type = include.resourceType;
        build.levels.push_back(Level{root.FirstChild(), include.parent, nullptr, CXmlMarkupNode(), type, include.depth, true});
        return;
    }
    build.includes.pop_back();
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
