// The window manager's lifetime and tree: attaching the window and the root, the name
// map and option groups, forgetting destroyed controls, and destruction deferred to the
// end of the outermost handling. The other jobs live in WindowManager<Job>.cpp.

#include "ui/core/WindowManager.h"

#include <algorithm>

#include "ui/control/Control.h"
#include "ui/core/SystemLibrary.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

namespace {

CControlUI* ControlAtPoint(CControlUI* control, void* data) {
    return PtInRect(&control->GetRect(), *static_cast<POINT*>(data)) ? control : nullptr;
}

CControlUI* ForgetInManager(CControlUI* control, void* manager) {
    static_cast<CWindowManagerUI*>(manager)->ForgetControl(control);
    return nullptr;
}

// The first control with a name keeps it.
CControlUI* IndexName(CControlUI* control, void* data) {
    auto* names = static_cast<std::unordered_map<std::wstring, CControlUI*>*>(data);
    if (!control->GetName().IsEmpty()) names->emplace(control->GetName().GetData(), control);
    return nullptr;
}

}  // namespace

namespace manager {

SharedState& Shared() {
    static SharedState state;
    return state;
}

}  // namespace manager

using namespace manager;

CWindowManagerUI::CWindowManagerUI() {
    SharedState& shared = Shared();
    if (!shared.initialized) {
        shared.initialized = true;
        LOGFONTW font = {};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
        font.lfCharSet = DEFAULT_CHARSET;
        StoreFont(shared.standardFont, CreateFontIndirectW(&font), font.lfFaceName, -font.lfHeight,
                  font.lfWeight >= FW_BOLD, font.lfUnderline != 0, font.lfItalic != 0);
        shared.dirtyPen.Reset(CreatePen(PS_SOLID, 1, RGB(220, 0, 0)));
        InitCommonControls();
        LoadSystemLibrary(L"msimg32.dll");
    }
    defaultDisabledColor_ = shared.disabledColor;
    defaultFontColor_ = shared.fontColor;
    defaultLinkColor_ = shared.linkColor;
    defaultLinkHoverColor_ = shared.linkHoverColor;
    defaultSelectedBackColor_ = shared.selectedBackColor;
    // Listed from the start, so that a control built for it and destroyed detached is
    // forgotten here too.
    shared.managers.push_back(this);
}

CWindowManagerUI::~CWindowManagerUI() {
    destroying_ = true;
    DisconnectAccessibility();
    auto& managers = Shared().managers;
    managers.erase(std::remove(managers.begin(), managers.end(), this), managers.end());
    StopAllTimers();
    asyncNotifications_.clear();
    if (root_ != nullptr) {
        CControlUI* root = root_;
        root_ = nullptr;
        root->Destroy();
    }
    DestroyDelayedCleanup();
    ClearWindowTables();
    if (toolTip_ != nullptr) DestroyWindow(toolTip_);
}

void CWindowManagerUI::ClearWindowTables() {
    nameMap_.clear();
    fonts_.clear();
    images_.clear();
    classDefaults_.clear();
    optionGroups_.clear();
    customAttributes_.clear();
}

void CWindowManagerUI::AttachWindow(HWND window, const wchar_t* name) {
    ClearWindowTables();
    StopAllTimers();
    name_ = name;
    if (window != window_) {
        paintDC_.Reset();
        window_ = window;
        paintDC_ = UniqueWindowDC(window);
        scale_ = CDpiScale(WindowDpi(window, paintDC_.Get()));
        RefreshHighContrast();
    }
}

bool CWindowManagerUI::AttachRoot(CControlUI* root) {
    FocusControl(nullptr, false);
    key_ = hover_ = click_ = toolTipControl_ = nullptr;
    if (root_ != nullptr) {
        if (!DefersDestruction()) DestroyDelayedCleanup();
        asyncNotifications_.clear();
        nameMap_.clear();
        overlayPainters_.clear();
        childWindows_.clear();
        delayedCleanup_.push_back(root_);
    }
    root_ = root;
    if (root == nullptr) return false;
    firstLayout_ = true;
    updateNeeded_ = true;
    focusNeeded_ = true;
    return BindTree(root, nullptr);
}

bool CWindowManagerUI::BindTree(CControlUI* control, CControlUI* parent) {
    if (control == nullptr) return false;
    control->AttachToManager(this, parent != nullptr ? parent : control->GetParent(), true);
    control->FindInTree(IndexName, &nameMap_, kFindMeFirst);
    return true;
}

void CWindowManagerUI::ForgetControl(CControlUI* control) {
    if (control == nullptr) return;
    if (key_ == control) key_ = nullptr;
    if (hover_ == control) hover_ = nullptr;
    if (click_ == control) click_ = nullptr;
    if (focus_ == control) focus_ = nullptr;
    if (toolTipControl_ == control) toolTipControl_ = nullptr;
    StopTimers(control);
    if (!control->GetName().IsEmpty()) {
        auto named = nameMap_.find(control->GetName().GetData());
        if (named != nameMap_.end() && named->second == control) nameMap_.erase(named);
    }
    for (UiNotify& notification : asyncNotifications_) {
        if (notification.sender == control) notification.sender = nullptr;
    }
    valueEvents_.erase(std::remove_if(valueEvents_.begin(), valueEvents_.end(),
                                      [control](const ValueEvent& event) { return event.control == control; }),
                       valueEvents_.end());
    pendingActions_.erase(std::remove_if(pendingActions_.begin(), pendingActions_.end(),
                                         [control](const PendingAction& action) { return action.control == control; }),
                          pendingActions_.end());
    // Lists that would otherwise call a destroyed control.
    RemoveOnce(overlayPainters_, control);
    RemoveOnce(mouseLeaveTracking_, control);
    childWindows_.erase(std::remove_if(childWindows_.begin(), childWindows_.end(),
                                       [control](const ChildWindow& child) { return child.control == control; }),
                        childWindows_.end());
    for (auto& group : optionGroups_) group.second.RemoveItem(control);
}

void CWindowManagerUI::DeferDestroy(CControlUI* control) {
    if (control == nullptr) return;
    control->AttachToManager(this, nullptr, false);
    // Out of the tree: no more events, and its names are free for others.
    control->FindInTree(ForgetInManager, this, 0);
    if (std::find(delayedCleanup_.begin(), delayedCleanup_.end(), control) == delayedCleanup_.end()) {
        delayedCleanup_.push_back(control);
    }
    PostNotifyMessage();
}

void CWindowManagerUI::DestroyDelayedCleanup() {
    // Destroying a control may handle messages (a native window closing) that defer
    // more controls: this loop takes those too.
    cleaningUp_ = true;
    while (!delayedCleanup_.empty()) {
        CControlUI* control = delayedCleanup_.front();
        delayedCleanup_.erase(delayedCleanup_.begin());
        control->Destroy();
    }
    cleaningUp_ = false;
}

CWindowManagerUI::CDispatchScope::CDispatchScope(CWindowManagerUI* manager) : manager_(manager) {
    if (manager_ != nullptr) ++manager_->dispatchDepth_;
}

CWindowManagerUI::CDispatchScope::~CDispatchScope() {
    if (manager_ != nullptr) manager_->LeaveDispatch();
}

void CWindowManagerUI::LeaveDispatch() {
    if (--dispatchDepth_ > 0 || cleaningUp_ || destroying_) return;
    DestroyDelayedCleanup();
}

void CWindowManagerUI::ForgetDetachedControl(CControlUI* control) {
    for (CWindowManagerUI* manager : Shared().managers) manager->ForgetControl(control);
}

CControlUI* CWindowManagerUI::ControlAt(POINT point) const {
    if (root_ == nullptr) return nullptr;
    return root_->FindInTree(ControlAtPoint, &point, kFindVisible | kFindHitTest | kFindTopFirst);
}

CControlUI* CWindowManagerUI::ControlNamed(const wchar_t* name) const {
    if (name == nullptr) return nullptr;
    auto named = nameMap_.find(name);
    return named != nameMap_.end() ? named->second : nullptr;
}

bool CWindowManagerUI::RenameControl(CControlUI* control, const wchar_t* name) {
    if (control == nullptr || control->GetManager() != this) return false;
    bool named = name != nullptr && *name != L'\0';
    CControlUI* holder = named ? ControlNamed(name) : nullptr;
    if (holder != nullptr && holder != control) return false;
    auto old = std::find_if(nameMap_.begin(), nameMap_.end(), [control](const auto& entry) { return entry.second == control; });
    if (old != nameMap_.end()) nameMap_.erase(old);
    if (named) nameMap_.emplace(name, control);
    return true;
}

bool CWindowManagerUI::JoinOptionGroup(const wchar_t* group, CControlUI* control) {
    if (group == nullptr || control == nullptr) return false;
    CPtrArray& members = optionGroups_[group];
    if (members.Find(control) < 0) members.Add(control);
    return true;
}

const CPtrArray* CWindowManagerUI::OptionGroup(const wchar_t* group) const {
    if (group == nullptr) return nullptr;
    auto found = optionGroups_.find(group);
    return found != optionGroups_.end() ? &found->second : nullptr;
}

void CWindowManagerUI::LeaveOptionGroup(const wchar_t* group, CControlUI* control) {
    if (group == nullptr) return;
    auto found = optionGroups_.find(group);
    if (found == optionGroups_.end()) return;
    found->second.RemoveItem(control);
    if (found->second.IsEmpty()) optionGroups_.erase(found);
}


CWindowManagerUI* CWindowManagerUI::ManagerOf(HWND window) {
    for (CWindowManagerUI* manager : Shared().managers) {
        if (manager->window_ == window) return manager;
    }
    return nullptr;
}

}  // namespace Veneer
