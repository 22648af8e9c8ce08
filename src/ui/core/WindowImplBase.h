#pragma once
// WindowImplBase: a borderless native window whose look is a skin. Its creation
// handler builds the skin into its window manager; its hit test turns the skin's
// caption and resize borders into dragging and sizing; it rounds the window's
// corners, handles the system buttons by control name and routes notifications
// through notify maps (CNotifyPump).
//
// Thread contract: UI thread only; other threads post messages to the window.

#include <windows.h>

#include "ui/core/SkinBuilder.h"
#include "ui/core/UiCollections.h"
#include "ui/core/UiNotify.h"
#include "ui/core/UiString.h"
#include "ui/core/WindowManager.h"
#include "ui/core/WindowWnd.h"

namespace Veneer {

class CNotifyPump;

// How a notify map entry's handler wants its arguments.
enum NotifySignature {
    kNotifySignatureEnd = 0,     // ends a map
    kNotifySignatureParams = 1,  // handler(wParam, lParam)
    kNotifySignatureRecord = 2,  // handler(notification)
};

using NotifyRecordHandler = void (CNotifyPump::*)(UiNotify& notification);
using NotifyParamsHandler = void (CNotifyPump::*)(WPARAM wParam, LPARAM lParam);

struct NotifyMapEntry {
    const wchar_t* type;         // notification type, matched exactly
    const wchar_t* controlName;  // sender's name; empty: any sender, used when no name matches
    NotifySignature signature;
    NotifyRecordHandler onRecord;
    NotifyParamsHandler onParams;
};

// A static table ended by a kNotifySignatureEnd entry, chained to its base class's map.
struct NotifyMap {
    const NotifyMap* base;
    const NotifyMapEntry* entries;
};

// Handlers of a derived class, converted to the pump's member pointer types.
template <typename Derived>
inline NotifyMapEntry NotifyOnRecord(const wchar_t* type, const wchar_t* controlName,
                                        void (Derived::*handler)(UiNotify&)) {
    return {type, controlName, kNotifySignatureRecord, static_cast<NotifyRecordHandler>(handler), nullptr};
}
template <typename Derived>
inline NotifyMapEntry NotifyOnParams(const wchar_t* type, const wchar_t* controlName,
                                        void (Derived::*handler)(WPARAM, LPARAM)) {
    return {type, controlName, kNotifySignatureParams, nullptr, static_cast<NotifyParamsHandler>(handler)};
}
constexpr NotifyMapEntry NotifyMapEnd() { return {nullptr, nullptr, kNotifySignatureEnd, nullptr, nullptr}; }

// In a class with a notify map (leaves the class in protected access):
//     VENEER_DECLARE_NOTIFY_MAP()
// and in its source file, chained to the base class's map:
//     VENEER_DEFINE_NOTIFY_MAP(CMyWindow, &WindowImplBase::kNotifyMap) {
//         NotifyOnRecord<CMyWindow>(L"click", L"", &CMyWindow::OnClick),
//         NotifyMapEnd(),
//     };
#define VENEER_DECLARE_NOTIFY_MAP()                                                            \
protected:                                                                                     \
    const ::Veneer::NotifyMap* GetNotifyMap() const override { return &kNotifyMap; }           \
    static const ::Veneer::NotifyMapEntry kNotifyEntries[];                                    \
    static const ::Veneer::NotifyMap kNotifyMap;

#define VENEER_DEFINE_NOTIFY_MAP(Class, baseMap)                                 \
    const ::Veneer::NotifyMap Class::kNotifyMap = {baseMap, Class::kNotifyEntries}; \
    const ::Veneer::NotifyMapEntry Class::kNotifyEntries[] =

class CNotifyPump {
public:
    CNotifyPump() = default;
    CNotifyPump(const CNotifyPump&) = delete;
    CNotifyPump& operator=(const CNotifyPump&) = delete;

    // Pumps of virtual windows, by name (matched without regard to case); not owned.
    bool AddVirtualWindow(const wchar_t* name, CNotifyPump* pump);
    bool RemoveVirtualWindow(const wchar_t* name);
    // The virtual window's pump first, then this object's map chain; the first handler found ends it.
    void RouteNotification(UiNotify& notification);

protected:
    virtual ~CNotifyPump();
    // The most derived map; each map names its base class's map.
    virtual const NotifyMap* GetNotifyMap() const { return nullptr; }

private:
    bool DispatchThroughMaps(UiNotify& notification);
    void CallHandler(const NotifyMapEntry& entry, UiNotify& notification);

    CStringPtrMap virtualWindows_;  // keys in lower case
};

enum SkinSourceKind {
    kSkinFile = 1,         // markup and images in the resource folder
    kSkinZip = 2,          // an archive file (SkinArchiveFile) in the resource folder
    kSkinResource = 3,     // markup in a resource of type "xml" whose id is SkinFile() in decimal
    kSkinZipResource = 4,  // an archive in a resource of type "ZIPRES" with id SkinResourceId()
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
public:
    WindowImplBase() = default;

    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AfterDestroy(HWND window) override;

    // ---- virtual operations, continuing CWindowWnd's slots ---------------------
    virtual ~WindowImplBase();
    virtual void AfterBuild();
    virtual void HandleClick(UiNotify& notification);
    virtual CUiString SkinFolder() = 0;
    virtual CUiString SkinFile() = 0;
    virtual LRESULT HandleDefaultKey(WPARAM key);
    virtual SkinSourceKind SkinSource() const;
    virtual CUiString SkinArchiveFile() const;
    // A resource name or MAKEINTRESOURCEW id; nullptr when there is none.
    virtual const wchar_t* SkinResourceId() const;
    // The handlers a window overrides; those without a body here leave the message
    // unhandled, so that the window manager and the default procedure see it.
    static LRESULT NotHandled(bool& handled) {
        handled = false;
        return 0;
    }
    virtual LRESULT HandleClose(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleDestroy(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleNcActivate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleGetMinMaxInfo(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleMouseWheel(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleMouseHover(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleChar(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleKeyDown(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleKillFocus(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleSetFocus(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleLButtonDown(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleLButtonUp(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleMouseMove(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LRESULT HandleOtherMessage(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
    virtual LONG FrameStyle() const;

    // INotifyUI, IMessageFilterUI, IDialogBuilderCallback.
    void Receive(UiNotify& notification) override;
    LRESULT FilterMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    CControlUI* MakeControl(const wchar_t* className) override;

    CWindowManagerUI& Manager() { return manager_; }

protected:
    CWindowManagerUI manager_;

private:
    bool LoadSkinArchiveResource();
    // The failure message, then the end of the process with exit code 1.
    [[noreturn]] static void FailWithoutSkin();

    VENEER_DECLARE_NOTIFY_MAP()
};

}  // namespace Veneer
