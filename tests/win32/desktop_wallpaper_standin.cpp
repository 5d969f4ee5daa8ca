// A stand-in for the per-monitor desktop object (IDesktopWallpaper), which
// Wine lacks: an in-process COM server the win32 tests register for
// themselves. It reports three monitors, the second detached as Windows
// reports one (S_FALSE and an empty rectangle), and records the calls that
// change the desktop, one line each, for the test to read through
// StandinRecord.
#include <objbase.h>
#include <shobjidl.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

namespace {

constexpr CLSID kDesktopWallpaperClass = {
    0xc2cf3110, 0x460e, 0x4fc1, {0xb9, 0xd0, 0x8a, 0x1c, 0x0c, 0x9c, 0xc4, 0xbd}};

struct Monitor {
    const wchar_t* id;
    RECT rect;
};
const Monitor kMonitors[] = {
    {L"\\\\?\\DISPLAY#A", {0, 0, 1920, 1080}},
    {L"\\\\?\\DISPLAY#B", {0, 0, 0, 0}},
    {L"\\\\?\\DISPLAY#C", {1920, 0, 3200, 1024}},
};

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
std::wstring record;  // "position N" and "wallpaper ID PATH" lines

const Monitor* FindMonitor(LPCWSTR id) {
    for (const Monitor& monitor : kMonitors) {
        if (id != nullptr && std::wcscmp(id, monitor.id) == 0) {
            return &monitor;
        }
    }
    return nullptr;
}

class StandinWallpaper final : public IDesktopWallpaper {
public:
    StandinWallpaper() { ++liveObjects; }
    StandinWallpaper(const StandinWallpaper&) = delete;
    StandinWallpaper& operator=(const StandinWallpaper&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IDesktopWallpaper)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IDesktopWallpaper*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE SetWallpaper(LPCWSTR monitorID, LPCWSTR wallpaper) override {
        if (FindMonitor(monitorID) == nullptr || wallpaper == nullptr) {
            return E_INVALIDARG;
        }
        record += std::wstring(L"wallpaper ") + monitorID + L" " + wallpaper + L"\n";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMonitorDevicePathAt(UINT index, LPWSTR* monitorID) override {
        if (monitorID == nullptr || index >= std::size(kMonitors)) {
            return E_INVALIDARG;
        }
        const std::size_t bytes = (std::wcslen(kMonitors[index].id) + 1) * sizeof(wchar_t);
        *monitorID = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (*monitorID == nullptr) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(*monitorID, kMonitors[index].id, bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMonitorDevicePathCount(UINT* count) override {
        *count = static_cast<UINT>(std::size(kMonitors));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMonitorRECT(LPCWSTR monitorID, RECT* displayRect) override {
        const Monitor* monitor = FindMonitor(monitorID);
        if (monitor == nullptr) {
            return E_INVALIDARG;
        }
        *displayRect = monitor->rect;
        return IsRectEmpty(&monitor->rect) ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPosition(DESKTOP_WALLPAPER_POSITION position) override {
        record += L"position " + std::to_wstring(static_cast<int>(position)) + L"\n";
        return S_OK;
    }

    // Nothing the backend asks for.
    HRESULT STDMETHODCALLTYPE GetWallpaper(LPCWSTR, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBackgroundColor(COLORREF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPosition(DESKTOP_WALLPAPER_POSITION*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSlideshow(IShellItemArray*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSlideshow(IShellItemArray**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS, UINT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AdvanceSlideshow(LPCWSTR, DESKTOP_SLIDESHOW_DIRECTION) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(DESKTOP_SLIDESHOW_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enable(WINBOOL) override { return E_NOTIMPL; }

private:
    ~StandinWallpaper() { --liveObjects; }
    std::atomic<ULONG> references_{1};
};

// One factory for the module's life.
class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++serverLocks); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--serverLocks); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* object = new StandinWallpaper;
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }
};

Factory factory;

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                               void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (clsid != kDesktopWallpaperClass) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(iid, out);
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

// The calls recorded since the last StandinClear.
__declspec(dllexport) const wchar_t* StandinRecord() { return record.c_str(); }
__declspec(dllexport) void StandinClear() { record.clear(); }

}  // extern "C"
