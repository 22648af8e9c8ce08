#pragma once
// CSkinBuilder turns a skin markup document into a window's resources and control
// tree: resource elements under the root register fonts, images, default attribute
// lists and localized texts with the window manager, a "Window" root configures the
// window, and every other element becomes a control of the class its name selects.
// "Include" elements build further markup files into the current parent.
//
// Thread contract: UI thread only, inside window creation; one builder per build.

#include <windows.h>

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
    bool Load(const wchar_t* source, const wchar_t* resourceType);
    void RegisterResources(CXmlMarkupNode root, CWindowManagerUI* manager);
    CControlUI* BuildChildren(CXmlMarkupNode element, CControlUI* parent, CWindowManagerUI* manager);
    void BuildInclude(CXmlMarkupNode include, CControlUI* parent, CWindowManagerUI* manager);
    CControlUI* MakeControl(const wchar_t* className);

    CXmlMarkup document_;
    IDialogBuilderCallback* callback_ = nullptr;
    // The Windows resource type the document came from; includes load from the same kind.
    const wchar_t* resourceType_ = nullptr;
};

}  // namespace Veneer
