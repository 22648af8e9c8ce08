#include "common/TaskbarProgress.h"

namespace {
// Written out so that no GUID library of a particular SDK is needed.
const CLSID kTaskbarListClass = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const IID kTaskbarList3Interface = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};
}  // namespace

TaskbarProgress::TaskbarProgress()
{
    imageList_ = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 1);
    // Never undone: the UI thread stays in its apartment for the life of the process.
    CoInitialize(nullptr);
    CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3Interface,
                     reinterpret_cast<void**>(&taskbar_));
}

TaskbarProgress::~TaskbarProgress()
{
    if (taskbar_) taskbar_->Release();
    if (imageList_) ImageList_Destroy(imageList_);
}

void TaskbarProgress::Attach(HWND window)
{
    window_ = window;
    if (!taskbar_) {
        CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_ALL, kTaskbarList3Interface,
                         reinterpret_cast<void**>(&taskbar_));
    }
    SetState(kIndeterminate);
}

void TaskbarProgress::SetState(int state)
{
    if (taskbar_) taskbar_->SetProgressState(window_, static_cast<TBPFLAG>(state));
}

void TaskbarProgress::SetValue(ULONGLONG completed, ULONGLONG total)
{
    if (taskbar_) taskbar_->SetProgressValue(window_, completed, total);
}
