#pragma once
// Drives the progress display of a window's taskbar button.
//
// Thread contract: created, attached and driven on the UI thread (its COM object
// lives in that thread's single-threaded apartment); workers hand their progress
// to the UI thread instead of calling it.

#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

class TaskbarProgress {
public:
    enum State { kIndeterminate = 1, kNormal = 2, kError = 4 };

    TaskbarProgress();
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void Attach(HWND window);
    void SetState(int state);
    void SetValue(ULONGLONG completed, ULONGLONG total);
    bool HasTaskbar() const { return taskbar_ != nullptr; }

private:
    HIMAGELIST imageList_ = nullptr;
    ITaskbarList3* taskbar_ = nullptr;
    HWND window_ = nullptr;
};
