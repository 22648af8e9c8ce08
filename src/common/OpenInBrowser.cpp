// Opening a page in the user's browser. The installer runs elevated and the address
// may come from the network (the download address after a failure), so only http
// and https addresses are handed on, and the page opens as the user who is logged
// on: through the desktop shell, which runs unelevated, rather than by a start from
// this process, whose browser would inherit the administrator's rights.

#include "common/SystemUtil.h"

#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include "log/Log.h"
#include "net/TransportPolicy.h"

using Microsoft::WRL::ComPtr;

namespace {

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return value_; }

private:
    BSTR value_;
};

// COM for this thread while the object lives, when the thread has none yet.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

// The desktop's shell dispatch object: from the shell windows, the desktop's
// browser, its view's background object, and that object's application.
HRESULT DesktopShellDispatch(ComPtr<IShellDispatch2>& shell)
{
    ComPtr<IShellWindows> windows;
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&windows));
    if (FAILED(hr)) return hr;
    VARIANT desktop;
    VariantInit(&desktop);
    desktop.vt = VT_I4;
    desktop.lVal = CSIDL_DESKTOP;
    VARIANT empty;
    VariantInit(&empty);
    long window = 0;
    ComPtr<IDispatch> dispatch;
    hr = windows->FindWindowSW(&desktop, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &dispatch);
    // S_FALSE: no desktop window, for example when another shell replaces Explorer.
    if (hr != S_OK || !dispatch) return FAILED(hr) ? hr : E_NOINTERFACE;
    ComPtr<IShellBrowser> browser;
    if (FAILED(hr = IUnknown_QueryService(dispatch.Get(), SID_STopLevelBrowser, IID_PPV_ARGS(&browser)))) return hr;
    ComPtr<IShellView> view;
    if (FAILED(hr = browser->QueryActiveShellView(&view))) return hr;
    ComPtr<IDispatch> background;
    if (FAILED(hr = view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background)))) return hr;
    ComPtr<IShellFolderViewDual> folderView;
    if (FAILED(hr = background.As(&folderView))) return hr;
    ComPtr<IDispatch> application;
    if (FAILED(hr = folderView->get_Application(&application))) return hr;
    return application.As(&shell);
}

HRESULT OpenThroughDesktop(const std::wstring& address)
{
    ComApartment apartment;
    ComPtr<IShellDispatch2> shell;
    HRESULT hr = DesktopShellDispatch(shell);
    if (FAILED(hr)) return hr;
    Bstr file(address);
    Bstr verb(L"open");
    VARIANT none;
    VariantInit(&none);
    VARIANT operation;
    VariantInit(&operation);
    operation.vt = VT_BSTR;
    operation.bstrVal = verb.Get();
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return shell->ShellExecute(file.Get(), none, none, operation, show);
}

}  // namespace

bool OpenInBrowser(HWND owner, const std::wstring& address)
{
    if (!TransportPolicy::IsBrowsableAddress(address)) {
        LOG_W(L"refused to open (%s): only http and https addresses are opened", Log::Printable(address).c_str());
        return false;
    }
    HRESULT hr = OpenThroughDesktop(address);
    if (SUCCEEDED(hr)) {
        LOG_W(L"opened (%s) through the desktop shell", Log::Printable(address).c_str());
        return true;
    }
    LOG_W(L"the desktop shell cannot open (%s), 0x%08lx: opening it from this process, elevated",
          Log::Printable(address).c_str(), static_cast<unsigned long>(hr));
    // ShellExecute answers a value above 32 on success.
    return reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"Open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) >
           32;
}
