// qm_count.dll: counts the GDI and USER objects of the process it is loaded
// into. qm_probe loads it into the running program and calls
// CountGuiObjects there when GetGuiResources cannot answer (Wine's is a
// stub). It finds the objects by trying every handle value: GDI handles
// carry their table index in the low word, USER handles an index i as
// 0x20 + 2i, and a zero high word matches an object of any generation.
#include <windows.h>

namespace {

using CursorFrameInfoFn = HCURSOR(WINAPI*)(HCURSOR, DWORD, DWORD, DWORD*, DWORD*);

constexpr unsigned kGdiHandles = 0x10000;
constexpr unsigned kFirstUserHandle = 0x20;
constexpr unsigned kLastUserHandle = 0xFFEF;

DWORD CountGdi() {
    DWORD n = 0;
    for (unsigned i = 1; i < kGdiHandles; ++i)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(i))) != 0) ++n;
    return n;
}

// Windows, menus, icons and cursors: what a program makes and may forget
// to free. Windows of other processes share the handle space; they are
// left out.
DWORD CountUser() {
    // Not declared by every SDK's headers; asks about an icon or cursor
    // without making anything.
    auto frame_info = reinterpret_cast<CursorFrameInfoFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "GetCursorFrameInfo")));
    const DWORD self = GetCurrentProcessId();
    DWORD n = 0;
    for (unsigned h = kFirstUserHandle; h <= kLastUserHandle; h += 2) {
        const UINT_PTR value = h;
        DWORD pid = 0;
        if (GetWindowThreadProcessId(reinterpret_cast<HWND>(value), &pid) && pid == self) {
            ++n;
        } else if (IsMenu(reinterpret_cast<HMENU>(value))) {
            ++n;
        } else if (frame_info) {
            DWORD rate = 0, steps = 0;
            if (frame_info(reinterpret_cast<HCURSOR>(value), 0, 0, &rate, &steps)) ++n;
        }
    }
    return n;
}

}  // namespace

// The thread procedure qm_probe starts in the program: the thread's exit
// code is the GDI count in the low word and the USER count in the high.
extern "C" __declspec(dllexport) DWORD WINAPI CountGuiObjects(LPVOID) {
    const DWORD gdi = CountGdi();
    const DWORD user = CountUser();
    return (gdi > 0xFFFF ? 0xFFFF : gdi) | ((user > 0xFFFF ? 0xFFFF : user) << 16);
}
