// Vantelo Pexar, the sample product: one window saying that the product runs.
// VANTELO_PEXAR_SECONDS (inherited from whoever started it) closes it after that
// many seconds, so unattended runs leave nothing behind.

#include <windows.h>

#include <cstdlib>

namespace {

const wchar_t kTitle[] = L"Vantelo Pexar - sample product";
constexpr UINT_PTR kCloseTimer = 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        DrawTextW(dc, L"Vantelo Pexar is running.", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kCloseTimer) DestroyWindow(window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"VanteloPexar";
    if (!RegisterClassW(&windowClass)) return 1;
    HWND window = CreateWindowW(L"VanteloPexar", kTitle, WS_OVERLAPPEDWINDOW, 40, 40, 360, 160, nullptr, nullptr,
                                instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    wchar_t seconds[16] = {};
    if (GetEnvironmentVariableW(L"VANTELO_PEXAR_SECONDS", seconds, 16) > 0 && _wtoi(seconds) > 0) {
        SetTimer(window, kCloseTimer, static_cast<UINT>(_wtoi(seconds)) * 1000, nullptr);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
