#pragma once
// A skinned test window whose skin is a markup text, a file or an archive resource,
// and a message pump for the tests that open one.

#include <windows.h>

#include <string>
#include <vector>

#include "ui/core/WindowImplBase.h"

namespace VeneerTest {

class SkinWindow : public Veneer::WindowImplBase {
public:
    explicit SkinWindow(std::wstring skin, Veneer::SkinSourceKind source = Veneer::kSkinFile,
                        const wchar_t* resourceId = nullptr)
        : skin_(std::move(skin)), source_(source), resourceId_(resourceId) {}

    const wchar_t* WindowClassName() const override { return L"VeneerTestSkinWindow"; }
    Veneer::CUiString SkinFolder() override { return Veneer::CUiString(); }
    Veneer::CUiString SkinFile() override { return skin_.c_str(); }
    Veneer::SkinSourceKind SkinSource() const override { return source_; }
    const wchar_t* SkinResourceId() const override { return resourceId_; }

    void AfterBuild() override {
        ++afterBuildCalls;
        rootAtAfterBuild = manager_.Root();
    }
    Veneer::CControlUI* MakeControl(const wchar_t* className) override {
        unknownElements.push_back(className);
        return nullptr;
    }
    LRESULT HandleClose(UINT, WPARAM wParam, LPARAM, bool& handled) override {
        closeCodes.push_back(wParam);
        handled = keepOpenOnClose;
        return 0;
    }

    // Opens the window at (100, 100) with an ordinary frame style (the base removes the caption).
    HWND OpenWindow() {
        HWND window = Open(nullptr, L"skin test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 100, 100, 300, 200);
        return window;
    }
    void ShowAndPaint() {
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        UpdateWindow(window_);
        Pump();
    }
    static void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!Veneer::CWindowManagerUI::PreDispatch(&message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }

    int afterBuildCalls = 0;
    Veneer::CControlUI* rootAtAfterBuild = nullptr;
    std::vector<std::wstring> unknownElements;
    std::vector<WPARAM> closeCodes;
    bool keepOpenOnClose = false;

private:
    std::wstring skin_;
    Veneer::SkinSourceKind source_;
    const wchar_t* resourceId_;
};

}  // namespace VeneerTest
