#pragma once
// CSkinBuilder turns a skin markup document into a window's resources and control
// tree: resource elements under the root register fonts, images, default attribute
// lists and localized texts with the window manager, a "Window" root configures the
// window, and every other element becomes a control of the class its name selects.
// "Include" elements build further markup files into the current parent.
//
// A skin is input: building walks the markup with a stack of its own, not the
// machine's, and bounds what one build makes (see the limits below). An include
// cycle, an include too deep and elements beyond a limit are skipped with a log line.
//
// Thread contract: UI thread only, inside window creation; one builder per build.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/core/XmlMarkup.h"

namespace Veneer {

class CControlUI;
class CWindowManagerUI;

class IDialogBuilderCallback {
public:
    // A new control for an element name the class table does not know, or nullptr.
    virtual CControlUI* MakeControl(const wchar_t* className) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

class CSkinBuilder {
public:
    // Limits of one build, far above what a real skin needs (the installer's skin makes
    // about 50 controls from three files nested seven levels deep) and low enough that a
    // hostile skin cannot take the UI thread's time, memory or stack.
    static constexpr int kMaxControls = 10000;
    // Documents built by "Include", every repetition of a "count" counted.
    static constexpr int kMaxIncludes = 256;
    static constexpr int kMaxIncludeDepth = 16;
    // Controls inside controls: the tree's own operations recurse once per level.
    static constexpr int kMaxNesting = 128;

    CSkinBuilder() = default;
    CSkinBuilder(const CSkinBuilder&) = delete;
    CSkinBuilder& operator=(const CSkinBuilder&) = delete;

    // `source` is markup text (starting with "<"), a file name in the resource
    // location, or a numeric resource id (MAKEINTRESOURCEW) of `resourceType` in the
    // framework's module; the type must outlive the builder. Returns the first
    // control made at the top level, or nullptr.
    CControlUI* Build(const wchar_t* source, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                      CWindowManagerUI* manager, CControlUI* parent);
    // Builds again from the document already loaded.
    CControlUI* BuildLoaded(IDialogBuilderCallback* callback, CWindowManagerUI* manager, CControlUI* parent);
    CXmlMarkup& Document() { return document_; }

private:
    struct Level;
    struct Include;
    struct BuildState;

    // A document's resources and, for a "Window" root, the window attributes.
    void PrepareDocument(CXmlMarkupNode root, CWindowManagerUI* manager);
    void RegisterResources(CXmlMarkupNode root, CWindowManagerUI* manager);
    CControlUI* BuildTree(CXmlMarkupNode root, CControlUI* parent, CWindowManagerUI* manager);
    void StartInclude(CXmlMarkupNode element, CControlUI* parent, int depth, const wchar_t* resourceType,
                      BuildState& build);
    // The next repetition of the include on top of the build's include stack, if any.
    void RepeatInclude(BuildState& build);
    // Attaches a control whose children are built to its level's parent and applies its
    // attributes; a parent that holds no children ends the level.
    void FinishControl(CControlUI* control, CXmlMarkupNode element, Level& level, CWindowManagerUI* manager);
    CControlUI* MakeControl(const wchar_t* className);

    CXmlMarkup document_;
    IDialogBuilderCallback* callback_ = nullptr;
    // The Windows resource type the document came from; includes load from the same kind.
    const wchar_t* resourceType_ = nullptr;
    // The document's source as includes name it, for the include-cycle test and the log.
    std::wstring source_;
};

}  // namespace Veneer
