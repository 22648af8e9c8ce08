#pragma once
// CWindowManagerUI: the per-window manager of the Veneer UI framework, and the
// process-wide resource settings every window shares.
//
// One manager belongs to each native window that shows a control tree. It routes
// the window's messages to the controls as UiEvent records, keeps hover, capture,
// focus and timers, paints the tree double-buffered and delivers notifications to
// its INotifyUI receivers. It also keeps the fonts, images and default attribute
// lists that markup refers to, per window or in process-wide shared tables.
//
// Thread contract: UI thread only, for every member and every static one. The static
// resource settings are set during start-up and window creation, before any markup or
// image is loaded. Other threads never call the manager: they post a message to its
// window (the frame's private messages), and the manager's own posted messages (the
// notify message, an accessibility client's action) are handled on the UI thread too.
//
// Re-entrancy contract. Controls' handlers, notification receivers (INotifyUI),
// filters and translators run inside the manager's handling of a message, and the
// manager counts that handling (CDispatchScope; the skinned window base and the
// edit's native window count their messages too). Inside it they may:
// - destroy any control, the sender of the notification included: Destroy then only
//   takes the control out of the manager's reach (no more events; focus, hover,
//   capture, timers, name and group go) and deletes it, with every other control
//   destroyed meanwhile, when the outermost handling has ended. So the sender stays
//   valid for every later receiver, and a control's handler still on the stack never
//   runs on freed memory.
// - replace the tree (AttachRoot): the old root goes the same way.
// - open a modal loop (a message box, the folder picker, another window's RunModal):
//   messages arriving meanwhile are handled as usual and queued notifications are
//   delivered, but nothing is deleted until the handling that opened the loop has
//   ended.
// - unregister themselves or another receiver, filter or translator: the lists are
//   walked by position and a removal is noticed, so no registered one is skipped or
//   called twice.
// - destroy the native window; the window object that owns the manager must outlive
//   the handling, so it is deleted after its WM_NCDESTROY has returned, never inside it.
// A screen reader's call never runs a control's action inside it: the action is
// posted and runs when the message arrives (a modal box it opens does not hold the
// client), and an action of a control destroyed meanwhile is dropped.
//
// Lifetimes. The manager owns the root and through it the whole tree, the controls
// awaiting deferred destruction, the queued notifications (copies, whose sender is
// cleared when it is destroyed), its fonts, its tooltip window, its offscreen surface
// and the window's device context. It does not own receivers, filters, translators or
// overlay painters: each must unregister before it dies (a control is unregistered
// when it is destroyed). Images are shared: replacing a registered image never frees
// one a control draws. Fonts replaced by a change of scale stay alive with the manager,
// as native windows may still hold them. The accessible object is reference-counted by
// its clients; the manager disconnects it when the window is destroyed, so a client
// that still holds it gets RPC_E_DISCONNECTED instead of reaching freed controls.
// The process-wide tables (shared fonts, images and default lists, localized texts)
// live for the process. A control is deleted only through Destroy, never with delete.
//
// The work is split by job over WindowManager<Job>.cpp: the lifetime and tree in
// WindowManager.cpp, then Input (message routing), Focus (keyboard), Notify, Timers,
// ToolTip, Paint, Layered, Fonts, Resources, Attributes, Scale, Accessibility; the
// static resource settings in ResourceSettings.cpp.

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/UniqueResource.h"
#include "ui/control/UiEvent.h"
#include "ui/core/DpiScale.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/UiCollections.h"
#include "ui/core/UiNotify.h"
#include "ui/core/UiString.h"

namespace Veneer {

class CZipArchive;
class CControlUI;
class CAccessibleWindow;

// One registered font; owns its handle.
struct FontRecord {
    HFONT font = nullptr;
    CUiString face;
    int size = 0;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    TEXTMETRICW metrics = {};  // filled once the window's device context exists

    FontRecord() = default;
    ~FontRecord() {
        if (font != nullptr) DeleteObject(font);
    }
    FontRecord(const FontRecord&) = delete;
    FontRecord& operator=(const FontRecord&) = delete;
};

using ImageTable = std::unordered_map<std::wstring, std::shared_ptr<ImageRecord>>;
// Fonts by the skin's numbers; ordered, so that a search by properties finds the
// lowest matching id.
using FontTable = std::map<int, FontRecord>;
// Texts by name (default attribute lists, custom window attributes); names match exactly.
using TextTable = std::unordered_map<std::wstring, CUiString>;

// The system colours a window in the system's high-contrast mode draws with, as
// 0xAARRGGBB (opaque): text on the window, selected (highlighted) items, links (hot
// light), buttons, and unavailable text.
struct HighContrastPalette {
    DWORD window;
    DWORD windowText;
    DWORD highlight;
    DWORD highlightText;
    DWORD hotLight;
    DWORD buttonFace;
    DWORD buttonText;
    DWORD grayText;

    static HighContrastPalette FromSystem();
    // Windows' own "High Contrast Black" and "High Contrast White" schemes.
    static const HighContrastPalette kBlack;
    static const HighContrastPalette kWhite;
};

// Creates a control for an element name the skin builder's class table lacks.
using ControlFactory = CControlUI* (*)(const wchar_t* className);

class CWindowManagerUI {
public:
    // ---- process-wide resource settings -------------------------------------
    static void SetModuleHandle(HINSTANCE instance);
    static HINSTANCE ModuleHandle();
    // The module's full file name up to and including its last backslash.
    static std::wstring ModuleFolder();
    static void SetResourceFolder(const std::wstring& path);
    static const std::wstring& ResourceFolder();
    static void SetResourceArchive(const std::wstring& name, bool keepOpen = true);
    // The caller keeps the block alive for the life of the process.
    static void SetResourceArchiveMemory(const void* bytes, size_t size);
    static const std::wstring& ResourceArchiveName();
    static bool KeepsResourceArchiveOpen();
    static CZipArchive* KeptResourceArchive();
    // The block last given to SetResourceArchiveMemory (null when none), so that a
    // load can open it when no archive is kept.
    static const void* ResourceArchiveMemory(size_t& size);
    // The archive name that stands for the memory block.
    static constexpr const wchar_t* kMemoryArchiveName = L"membuffer";

    // ---- per-window manager ---------------------------------------------------
    CWindowManagerUI();
    ~CWindowManagerUI();
    CWindowManagerUI(const CWindowManagerUI&) = delete;
    CWindowManagerUI& operator=(const CWindowManagerUI&) = delete;

    // Lifetime and tree. A new window also sets the scale from the window's DPI.
    void AttachWindow(HWND window, const wchar_t* name = nullptr);
    HWND WindowHandle() const { return window_; }
    HDC PaintDC() const { return paintDC_.Get(); }
    const CUiString& Name() const { return name_; }
    bool AttachRoot(CControlUI* root);
    CControlUI* Root() const { return root_; }
    // Attaches a subtree to this manager and indexes its named controls.
    bool BindTree(CControlUI* control, CControlUI* parent);
    // A control being destroyed: every reference the manager holds to it goes.
    void ForgetControl(CControlUI* control);
    // Detaches the control and its subtree from the manager now, and destroys it when
    // the outermost handling has ended (at the latest when the notify message posted
    // now arrives).
    void DeferDestroy(CControlUI* control);
    // Counts one stretch of handling that may reach controls and receivers.
    class CDispatchScope {
    public:
        explicit CDispatchScope(CWindowManagerUI* manager);
        ~CDispatchScope();
        CDispatchScope(const CDispatchScope&) = delete;
        CDispatchScope& operator=(const CDispatchScope&) = delete;

    private:
        CWindowManagerUI* manager_;
    };
    // True while handling runs: a control destroyed now is deferred.
    bool DefersDestruction() const { return dispatchDepth_ > 0 && !destroying_; }
    // Drops every reference any manager holds to a control that is destroyed while
    // attached to none (it may have been registered while it was built).
    static void ForgetDetachedControl(CControlUI* control);
    CControlUI* ControlAt(POINT point) const;
    CControlUI* ControlNamed(const wchar_t* name) const;
    // Refused when another control already has the name.
    bool RenameControl(CControlUI* control, const wchar_t* name);
    // The next paint lays out the controls that asked for it.
    void RequestRelayout() { updateNeeded_ = true; }
    void InvalidateArea(RECT rect);
    // Controls that want kEventMouseLeave whenever the hover control changes.
    bool AddMouseLeaveTracking(CControlUI* control);
    bool RemoveMouseLeaveTracking(CControlUI* control);

    // Notifications.
    bool AddReceiver(INotifyUI* receiver);
    bool RemoveReceiver(INotifyUI* receiver);
    void SendNotification(CControlUI* control, const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0,
                          bool async = false, bool enableRepeat = true);
    void SendNotification(UiNotify& notification, bool async = false, bool enableRepeat = true);
    void SetUsesVirtualWindows(bool uses) { usesVirtualWindows_ = uses; }

    // Filters and translators.
    bool AddEarlyFilter(IMessageFilterUI* filter);
    bool RemoveEarlyFilter(IMessageFilterUI* filter);
    bool AddFilter(IMessageFilterUI* filter);
    bool RemoveFilter(IMessageFilterUI* filter);
    bool AddAcceleratorTranslator(ITranslateAccelerator* translator);
    bool RemoveAcceleratorTranslator(ITranslateAccelerator* translator);
    // Controls whose PaintOverlay runs after the tree has painted.
    bool AddOverlayPainter(CControlUI* control);
    bool RemoveOverlayPainter(CControlUI* control);
    // A native child window shown by a control (for focus, printing and reflection).
    bool AddChildWindow(CControlUI* control, HWND window);
    bool RemoveChildWindow(HWND window);

    // Timers: the control gets kEventTimer with wParam = key.
    bool StartTimer(CControlUI* control, UINT key, UINT elapse);
    bool StopTimer(CControlUI* control, UINT key);
    void StopTimers(CControlUI* control);
    void StopAllTimers();

    // Focus. Tab goes through the tab stops in reading order (InReadingOrder). The
    // focused tab stop shows a focus rectangle once the user works the keyboard (Tab,
    // Alt), as Windows' own controls do, and always in high contrast.
    CControlUI* FocusedControl() const { return focus_; }
    bool ShowsFocusCues() const;

    // High contrast: the palette to draw with while the system's high-contrast mode is
    // on (controls then draw with it instead of the skin's colours, and drop the
    // decorative pictures behind text); nullptr while it is off. Followed through
    // WM_SETTINGCHANGE and WM_SYSCOLORCHANGE.
    const HighContrastPalette* HighContrast() const { return highContrast_ ? &palette_ : nullptr; }
    // Test seam: every window draws in high contrast with this palette (nullptr: as
    // the system says). Wine can neither switch the mode nor keep its colours apart
    // from other programs, so tests and previews choose it here.
    static void OverrideHighContrast(const HighContrastPalette* palette);
    void FocusControl(CControlUI* control, bool takeNativeFocus = true);
    void FocusFirstTabStop(CControlUI* control);
    bool MoveFocusByTab(bool forward);

    // Capture.
    void CaptureMouse();
    void ReleaseMouse();
    bool HasMouseCapture() const { return mouseCaptured_; }
    POINT LastMousePosition() const { return lastMousePos_; }

    // The window's scale (its DPI / 96): every skin length becomes device pixels
    // through it (see DpiScale.h).
    const CDpiScale& Scale() const { return scale_; }
    // A new DPI (the window moved to another display, or a test): the skin's window
    // attributes, fonts, images and every control's lengths are converted again and
    // the tree is laid out anew. Before the skin is built it only sets the scale.
    void SetDpi(int dpi);

    // Fonts; ids are the skin's numbers, shared ones are process-wide. Sizes are
    // skin pixels; the font is made at the window's scale.
    HFONT RegisterFont(int id, const wchar_t* face, int size, bool bold, bool underline, bool italic,
                       bool shared = false);
    HFONT FontById(int id) const;  // own table, then shared; nullptr when neither has it
    const FontRecord* FontRecordById(int id) const;
    // The id of a registered font with exactly these properties, or -1.
    int FontIdMatching(const wchar_t* face, int size, bool bold, bool underline, bool italic) const;
    const FontRecord* FontRecordOf(HFONT font) const;
    void SetStandardFont(const wchar_t* face, int size, bool bold, bool underline, bool italic,
                         bool shared = false);
    HFONT StandardFont() const;
    const FontRecord* StandardFontRecord() const;
    // The language's face: the first installed face of the comma-separated list
    // replaces the face of every font this window creates from now on (the skin's,
    // and the variants brace-tag text asks for); sizes and styles stay as asked.
    // Call it before the skin is built. False when the list names no installed face:
    // the skin's faces stay.
    bool PreferFaces(const wchar_t* faceList);
    const CUiString& PreferredFace() const { return preferredFace_; }

    // Images, by name; a name starting with a digit together with a type is a resource id.
    // Loaded at the window's scale: a larger variant of a file when the skin has one
    // (DrawEngine.h), else the 1x picture resampled. Registering a name again replaces
    // its image in the table; whoever holds the old one keeps it.
    std::shared_ptr<ImageRecord> RegisterImage(const wchar_t* name, const wchar_t* type = nullptr, DWORD mask = 0,
                                               bool shared = false);
    std::shared_ptr<ImageRecord> ImageByName(const wchar_t* name) const;  // own table, then shared
    std::shared_ptr<ImageRecord> ImageOrLoad(const wchar_t* name, const wchar_t* type = nullptr, DWORD mask = 0);

    // Default attribute lists by element name.
    void RegisterClassDefaults(const wchar_t* element, const wchar_t* list, bool shared = false);
    const wchar_t* ClassDefaults(const wchar_t* element) const;  // own, then shared; nullptr when none

    // Localized texts (process-wide), used for "%{n}" in texts and tooltips.
    static void RegisterLocalizedText(int id, const wchar_t* text);
    static const wchar_t* LocalizedText(int id);  // nullptr when none
    // Every "%{digits}" replaced by the localized text of that number.
    static CUiString ReplaceLocalizedTokens(const wchar_t* text);
    static std::vector<ControlFactory>& ControlFactories();

    // Default colours (0xAARRGGBB); shared sets the process-wide default instead.
    DWORD DefaultDisabledColor() const { return defaultDisabledColor_; }
    DWORD DefaultFontColor() const { return defaultFontColor_; }
    DWORD DefaultLinkFontColor() const { return defaultLinkColor_; }
    DWORD DefaultLinkHoverFontColor() const { return defaultLinkHoverColor_; }
    DWORD DefaultSelectedBackColor() const { return defaultSelectedBackColor_; }
    void SetDefaultDisabledColor(DWORD colour, bool shared = false);
    void SetDefaultFontColor(DWORD colour, bool shared = false);
    void SetDefaultLinkFontColor(DWORD colour, bool shared = false);
    void SetDefaultLinkHoverFontColor(DWORD colour, bool shared = false);
    void SetDefaultSelectedBackColor(DWORD colour, bool shared = false);

    // Option groups: the options that exclude each other, in joining order.
    bool JoinOptionGroup(const wchar_t* group, CControlUI* control);
    const CPtrArray* OptionGroup(const wchar_t* group) const;
    void LeaveOptionGroup(const wchar_t* group, CControlUI* control);

    // Controls in the order a reader meets them: as the tree holds them (a skin is
    // written in reading order), or, for a window whose skin says direction="rtl" (a
    // mirrored skin keeps each row's elements left to right), rows from the top and
    // each row from the right.
    bool ReadsRightToLeft() const;
    std::vector<CControlUI*> InReadingOrder(std::vector<CControlUI*> controls) const;

    // Window attributes the manager does not know; the first value for a name stays.
    void SetCustomWindowAttribute(const wchar_t* name, const wchar_t* value);
    const wchar_t* CustomWindowAttribute(const wchar_t* name) const;

    // Window attributes of the skin's root element.
    void ApplyWindowAttribute(const wchar_t* name, const wchar_t* value);
    void SetStartSize(int width, int height);
    SIZE StartSize() const { return startSize_; }
    void SetResizeBorders(const RECT& borders) { sizeBox_ = borders; }
    const RECT& ResizeBorders() const { return sizeBox_; }
    void SetCaptionArea(const RECT& caption) { caption_ = caption; }
    const RECT& CaptionArea() const { return caption_; }
    void SetCornerRounding(int width, int height) { roundCorner_ = {width, height}; }
    SIZE CornerRounding() const { return roundCorner_; }
    void SetMinTrackSize(int width, int height) { minTrack_ = {width, height}; }
    SIZE MinTrackSize() const { return minTrack_; }
    void SetMaxTrackSize(int width, int height) { maxTrack_ = {width, height}; }
    void SetOutlineRepaints(bool outline) { showDirty_ = outline; }
    void SetClickWithoutActivation(bool noActivate) { noActivate_ = noActivate; }
    bool ClicksWithoutActivation() const { return noActivate_; }
    void SetWindowAlpha(BYTE alpha);
    void SetLayeredAlpha(BYTE alpha);
    BYTE Opacity() const { return opacity_; }
    void SetPerPixelLayered(bool layered);
    bool IsPerPixelLayered() const { return layered_; }
    // The image attribute string drawn under the tree in per-pixel layered mode.
    void SetLayeredBackground(const wchar_t* image);

    // Screen readers (Active Accessibility): WM_GETOBJECT for the client area answers
    // with the window's accessible object (AccessibleWindow.h), whose children are the
    // controls in the accessible tree (ControlAccessibility.h), in reading order.
    enum AccessibleAction { kAccessibleDefaultAction = 0, kAccessibleTakeFocus = 1 };
    // Children are simple elements: a control's child id is its place in this list,
    // from 1 (as clients that count through the children expect); a change of the
    // tree is reported with EVENT_OBJECT_REORDER.
    std::vector<CControlUI*> AccessibleChildren() const;
    long AccessibleIdOf(CControlUI* control) const;  // 0: not in the tree
    CControlUI* AccessibleChild(long id) const;  // nullptr: no such child
    // Runs the action after the caller's call has returned (a message box it opens
    // must not hold a screen reader's call).
    void PostAccessibleAction(CControlUI* control, AccessibleAction action);
    // Tells accessibility clients (NotifyWinEvent) about a control in the tree, or,
    // with no control, about the client area (EVENT_OBJECT_REORDER: the tree changed).
    void NotifyAccessibleEvent(DWORD event, CControlUI* control);
    // A value change, reported at most once a second per control; the last value of a
    // burst is reported when its second is over.
    void NotifyAccessibleValue(CControlUI* control);

    // Message handling: before dispatch (keyboard navigation, shortcuts), and the
    // window's own messages. Each returns whether it handled the message.
    bool HandleBeforeDispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The message loop's hook: true means the loop does not dispatch the message.
    static bool PreDispatch(MSG* message);
    // The manager of the given top-level window, or nullptr.
    static CWindowManagerUI* ManagerOf(HWND window);

private:
    struct TimerRecord {
        CControlUI* control;
        UINT key;
        HWND window;
        UINT nativeId;
        bool killed;
    };
    struct ChildWindow {
        CControlUI* control;
        HWND window;
    };
    // The double-buffer surface: a memory device context with its bitmap selected.
    class COffscreen {
    public:
        COffscreen() = default;
        ~COffscreen() { Reset(); }
        COffscreen(const COffscreen&) = delete;
        COffscreen& operator=(const COffscreen&) = delete;
        // argb: a 32-bit top-down section whose pixels Bits() reaches.
        bool Create(HDC compatible, int width, int height, bool argb);
        void Reset();
        HDC DC() const { return dc_.Get(); }
        DWORD* Bits() const { return bits_; }
        SIZE Size() const { return size_; }

    private:
        UniqueDeviceContext dc_;
        UniqueGdiObject<HBITMAP> bitmap_;
        HGDIOBJ previous_ = nullptr;
        DWORD* bits_ = nullptr;
        SIZE size_ = {0, 0};
    };

    void ClearWindowTables();
    void DeliverQueuedNotifications();
    // Runs the sender's notify hooks, then every receiver in registration order.
    void Deliver(UiNotify& notification);
    // Posts the notify message unless one is pending.
    void PostNotifyMessage();
    void DestroyDelayedCleanup();
    void LeaveDispatch();
    // sender: the event's sender field, the control itself when none is given.
    // point: the event's mouse point, the last mouse position when none is given.
    void SendEvent(CControlUI* control, UiEventKind kind, WPARAM wParam = 0, LPARAM lParam = 0, wchar_t key = 0,
                   CControlUI* sender = nullptr, const POINT* point = nullptr);
    // Kill-focus event and notification to the focused control; next is the event's sender.
    void DropFocus(CControlUI* next);
    void Paint();
    // WM_PRINTCLIENT: the tree, and with PRF_CHILDREN every child window at its place.
    void PrintClient(HDC dc, LPARAM flags);
    // Prints a native child window at its place in the client area; returns that place.
    RECT PrintChildWindow(HDC dc, HWND child, LPARAM flags) const;
    // Layered mode: the dirty area to paint (false: nothing), and the surface composed
    // over the layered background and shown.
    bool HandleLayeredMessage(UINT message, WPARAM wParam, LRESULT& result);
    bool TakeLayeredArea(RECT& area);
    void PresentLayered(RECT area, const RECT& client);
    void PaintTree(HDC dc, const RECT& area);
    void PaintFocusCue(HDC dc);
    void ShowFocusCues();
    // True when the mode or its colours changed.
    bool RefreshHighContrast();
    void InvalidateFocusCue(CControlUI* control);
    void LayoutIfNeeded();
    void HandleMouseMove(POINT point);
    void ShowToolTip(POINT point);
    void HideToolTip();
    // The face a font asked for with `face` is made with.
    const wchar_t* FaceToUse(const wchar_t* face) const;
    // Makes the font at the window's scale and gives it to the record; false (the
    // record unchanged) when it cannot be made.
    bool MakeFont(FontRecord& record, const wchar_t* face, int size, bool bold, bool underline, bool italic) const;
    const FontRecord* WithMetrics(const FontRecord* record) const;
    LRESULT ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, HWND child, bool& handled);
    CControlUI* FindShortcut(wchar_t ch) const;
    std::wstring SharedImageKey(const wchar_t* name) const;
    // SetDpi's parts: fonts and images made anew at the new scale; the old font handles
    // stay alive (retired) while native windows may hold them, the old images while
    // drawing records do.
    void RescaleFonts();
    void RescaleImages();
    bool AnswerGetObject(WPARAM wParam, LPARAM lParam, LRESULT& result);
    void RunNextAccessibleAction();
    void DisconnectAccessibility();
    void SendDueValueEvents();
    static void CALLBACK ValueEventTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

    CUiString name_;
    CDpiScale scale_;
    // The root element's length attributes as the skin wrote them, for SetDpi.
    std::vector<std::pair<std::wstring, std::wstring>> windowSkinLengths_;
    std::vector<UniqueGdiObject<HFONT>> retiredFonts_;
    CAccessibleWindow* accessible_ = nullptr;  // one reference, from the first WM_GETOBJECT
    struct PendingAction {
        CControlUI* control;
        AccessibleAction action;
    };
    std::vector<PendingAction> pendingActions_;
    struct ValueEvent {
        CControlUI* control;
        DWORD lastSent;
        bool pending;
    };
    std::vector<ValueEvent> valueEvents_;
    bool valueTimerRunning_ = false;
    HWND window_ = nullptr;
    UniqueWindowDC paintDC_;
    COffscreen offscreen_;
    HWND toolTip_ = nullptr;
    TOOLINFOW toolInfo_ = {};
    CUiString toolTipText_;
    UINT hoverTime_ = 1000;
    bool noActivate_ = false;
    bool showDirty_ = false;
    CControlUI* root_ = nullptr;
    CControlUI* focus_ = nullptr;
    CControlUI* hover_ = nullptr;
    CControlUI* click_ = nullptr;
    CControlUI* key_ = nullptr;
    CControlUI* toolTipControl_ = nullptr;
    POINT lastMousePos_ = {-1, -1};
    SIZE minTrack_ = {0, 0};
    SIZE maxTrack_ = {0, 0};
    SIZE startSize_ = {0, 0};
    RECT sizeBox_ = {0, 0, 0, 0};
    RECT caption_ = {0, 0, 0, 0};
    SIZE roundCorner_ = {0, 0};
    bool firstLayout_ = true;
    bool updateNeeded_ = false;
    bool focusNeeded_ = false;
    bool focusCues_ = false;
    bool highContrast_ = false;
    HighContrastPalette palette_ = {};
    BYTE opacity_ = 255;
    bool layered_ = false;
    DrawInfo layeredImage_;
    RECT dirtyRect_ = {0, 0, 0, 0};
    bool mouseTracking_ = false;
    bool mouseCaptured_ = false;
    bool notifyPosted_ = false;
    bool usesVirtualWindows_ = false;
    int dispatchDepth_ = 0;
    bool cleaningUp_ = false;
    bool destroying_ = false;
    UINT timerCounter_ = 4096;
    DWORD defaultDisabledColor_;
    DWORD defaultFontColor_;
    DWORD defaultLinkColor_;
    DWORD defaultLinkHoverColor_;
    DWORD defaultSelectedBackColor_;
    FontRecord standardFont_;
    CUiString preferredFace_;  // empty: the skin's faces

    std::vector<INotifyUI*> receivers_;
    std::vector<IMessageFilterUI*> earlyFilters_;
    std::vector<IMessageFilterUI*> filters_;
    std::vector<CControlUI*> overlayPainters_;
    std::vector<CControlUI*> mouseLeaveTracking_;
    std::vector<ITranslateAccelerator*> translators_;
    std::vector<CControlUI*> delayedCleanup_;
    std::vector<ChildWindow> childWindows_;
    std::vector<TimerRecord> timers_;
    std::deque<UiNotify> asyncNotifications_;
    std::unordered_map<std::wstring, CControlUI*> nameMap_;
    // Members in joining order: the framework's pointer array, as controls read it.
    std::unordered_map<std::wstring, CPtrArray> optionGroups_;
    TextTable customAttributes_;
    FontTable fonts_;
    ImageTable images_;
    TextTable classDefaults_;
};

}  // namespace Veneer
