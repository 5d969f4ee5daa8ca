// qm_probe: looks at and drives a running Quillmere from another process,
// for the end-to-end tests and the screenshot script. One command per run;
// results go to stdout as "key=value" lines, failures to stderr with exit
// code 1 (not found, timed out) or 2 (bad usage).
//
// Windows are named by filters: --title T (whole title, any letter case, as
// FindWindowA matches), --class C, --owner HWND, --pid PID, --visible.
// Waiting polls every 50 ms up to --timeout MS (default 10000).
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it needs FILE

namespace {

constexpr UINT kMnGetHMenu = 0x01E1;  // MN_GETHMENU

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr, "qm_probe: %s (see the comment at the top of qm_probe.cpp)\n", why);
    std::exit(2);
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "qm_probe: %s\n", why.c_str());
    std::fflush(stdout);
    std::exit(1);
}

HWND ParseHwnd(const char* text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 0)));
}

long long ParseNumber(const char* text) { return std::strtoll(text, nullptr, 0); }

std::string WindowText(HWND hwnd) {
    // WM_GETTEXT works across processes where GetWindowText would not read
    // a control's text.
    char buffer[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    return buffer;
}

std::string ClassOf(HWND hwnd) {
    char buffer[256] = {};
    GetClassNameA(hwnd, buffer, sizeof buffer);
    return buffer;
}

// Keeps the output one line per window: line breaks in texts become "\n".
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

void PrintWindow(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    RECT r{};
    GetWindowRect(hwnd, &r);
    std::printf("hwnd=0x%llx pid=%lu class=%s visible=%d enabled=%d owner=0x%llx "
                "rect=%ld,%ld,%ld,%ld title=%s\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)),
                static_cast<unsigned long>(pid), ClassOf(hwnd).c_str(),
                IsWindowVisible(hwnd) ? 1 : 0, IsWindowEnabled(hwnd) ? 1 : 0,
                static_cast<unsigned long long>(
                    reinterpret_cast<uintptr_t>(GetWindow(hwnd, GW_OWNER))),
                r.left, r.top, r.right, r.bottom, OneLine(WindowText(hwnd)).c_str());
}

struct Filter {
    const char* title = nullptr;
    const char* cls = nullptr;
    HWND owner = nullptr;
    bool hasOwner = false;
    DWORD pid = 0;
    bool visible = false;
    DWORD timeoutMs = 10000;

    bool Matches(HWND hwnd) const {
        if (visible && !IsWindowVisible(hwnd)) return false;
        if (cls && lstrcmpiA(ClassOf(hwnd).c_str(), cls) != 0) return false;
        if (hasOwner && GetWindow(hwnd, GW_OWNER) != owner) return false;
        if (pid) {
            DWORD p = 0;
            GetWindowThreadProcessId(hwnd, &p);
            if (p != pid) return false;
        }
        if (title && lstrcmpiA(WindowText(hwnd).c_str(), title) != 0) return false;
        return true;
    }
};

// Parses the filter options from argv[first...]; other arguments are left
// in rest.
Filter ParseFilter(int argc, char** argv, int first, std::vector<const char*>& rest) {
    Filter f;
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) Usage("option without value");
            return argv[++i];
        };
        if (a == "--title") f.title = next();
        else if (a == "--class") f.cls = next();
        else if (a == "--owner") { f.owner = ParseHwnd(next()); f.hasOwner = true; }
        else if (a == "--pid") f.pid = static_cast<DWORD>(ParseNumber(next()));
        else if (a == "--visible") f.visible = true;
        else if (a == "--timeout") f.timeoutMs = static_cast<DWORD>(ParseNumber(next()));
        else rest.push_back(argv[i]);
    }
    return f;
}

// A named CALLBACK: on 32-bit Windows a lambda is not stdcall.
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> Find(const Filter& f) {
    std::vector<HWND> found;
    for (HWND hwnd : TopLevelWindows()) {
        if (f.Matches(hwnd)) found.push_back(hwnd);
    }
    return found;
}

template <class Done>
bool PollUntil(DWORD timeoutMs, Done done) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
}

HWND Control(HWND dialog, const char* id) {
    HWND c = GetDlgItem(dialog, static_cast<int>(ParseNumber(id)));
    if (!c) Fail(std::string("no control ") + id);
    return c;
}

// --- registry ---------------------------------------------------------------

HKEY OpenKey(const std::string& path) {
    HKEY root = nullptr;
    std::string sub;
    auto slash = path.find('\\');
    std::string head = path.substr(0, slash);
    sub = slash == std::string::npos ? "" : path.substr(slash + 1);
    if (head == "HKCU" || head == "HKEY_CURRENT_USER") root = HKEY_CURRENT_USER;
    else if (head == "HKLM" || head == "HKEY_LOCAL_MACHINE") root = HKEY_LOCAL_MACHINE;
    else Usage("key must start with HKCU or HKLM");
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_DWORD: return "REG_DWORD";
        case REG_BINARY: return "REG_BINARY";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return "REG_OTHER";
    }
}

std::string DataText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
    if (type == REG_DWORD && size == 4) {
        DWORD v;
        std::memcpy(&v, data.data(), 4);
        return std::to_string(static_cast<long>(v));
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::string s(reinterpret_cast<const char*>(data.data()), size);
        while (!s.empty() && s.back() == '\0') s.pop_back();
        return OneLine(s);
    }
    std::string hex;
    char b[4];
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        hex += b;
    }
    return hex;
}

// One value's "type=... data=..." description, or empty when it is missing.
std::string ValueText(const std::string& keyPath, const char* name) {
    HKEY key = OpenKey(keyPath);
    if (!key) return {};
    std::vector<BYTE> data(65536);
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return {};
    return std::string("type=") + TypeName(type) + " size=" + std::to_string(size) +
           " data=" + DataText(type, data, size);
}

int CmdReg(int argc, char** argv) {
    if (argc < 3) Usage("reg KEY [VALUE]");
    if (argc >= 4) {
        std::string v = ValueText(argv[2], argv[3]);
        if (v.empty()) Fail(std::string("no value ") + argv[3]);
        std::printf("name=%s %s\n", argv[3], v.c_str());
        return 0;
    }
    HKEY key = OpenKey(argv[2]);
    if (!key) Fail(std::string("no key ") + argv[2]);
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLen = sizeof name;
        std::vector<BYTE> data(65536);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        std::printf("name=%s type=%s size=%lu data=%s\n", name, TypeName(type),
                    static_cast<unsigned long>(size), DataText(type, data, size).c_str());
    }
    RegCloseKey(key);
    return 0;
}

// reg-set KEY NAME:sz:TEXT NAME:dword:N ...: creates the key if need be.
int CmdRegSet(int argc, char** argv) {
    if (argc < 4) Usage("reg-set KEY NAME:TYPE:DATA...");
    std::string path = argv[2];
    auto slash = path.find('\\');
    if (slash == std::string::npos || path.substr(0, slash) != "HKCU") Usage("reg-set needs HKCU\\...");
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, path.substr(slash + 1).c_str(), &key) != ERROR_SUCCESS)
        Fail("cannot create " + path);
    for (int i = 3; i < argc; ++i) {
        std::string item = argv[i];
        auto c1 = item.find(':');
        auto c2 = c1 == std::string::npos ? c1 : item.find(':', c1 + 1);
        if (c2 == std::string::npos) Usage("reg-set item NAME:TYPE:DATA");
        std::string name = item.substr(0, c1), type = item.substr(c1 + 1, c2 - c1 - 1);
        std::string data = item.substr(c2 + 1);
        LONG rc;
        if (type == "dword") {
            DWORD v = static_cast<DWORD>(std::strtoll(data.c_str(), nullptr, 0));
            rc = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
        } else if (type == "sz") {
            rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>(data.size() + 1));
        } else {
            Usage("reg-set type is sz or dword");
        }
        if (rc != ERROR_SUCCESS) Fail("cannot set " + name);
    }
    RegCloseKey(key);
    return 0;
}

// reg-delete KEY [VALUE]: the value, or the key with everything below it.
int CmdRegDelete(int argc, char** argv) {
    if (argc < 3) Usage("reg-delete KEY [VALUE]");
    std::string path = argv[2];
    auto slash = path.find('\\');
    if (slash == std::string::npos || path.substr(0, slash) != "HKCU") Usage("reg-delete needs HKCU\\...");
    std::string sub = path.substr(slash + 1);
    if (argc >= 4) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return 0;
        RegDeleteValueA(key, argv[3]);
        RegCloseKey(key);
        return 0;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, sub.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, sub.c_str());
    return 0;
}

// wait-reg KEY VALUE (--equals DATA | --not DATA | --missing) [--timeout MS]
int CmdWaitReg(int argc, char** argv) {
    if (argc < 5) Usage("wait-reg KEY VALUE --equals|--not DATA | --missing");
    std::string key = argv[2];
    const char* name = argv[3];
    std::string mode = argv[4];
    if (mode != "--missing" && argc < 6) Usage("wait-reg: --equals and --not need DATA");
    std::string want = mode == "--missing" ? "" : argv[5];
    DWORD timeout = 10000;
    for (int i = 4; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--timeout") timeout = static_cast<DWORD>(ParseNumber(argv[i + 1]));
    }
    std::string last;
    auto data = [&]() {
        last = ValueText(key, name);
        auto at = last.find(" data=");
        return at == std::string::npos ? std::string() : last.substr(at + 6);
    };
    bool ok = PollUntil(timeout, [&] {
        std::string d = data();
        if (mode == "--equals") return !last.empty() && lstrcmpiA(d.c_str(), want.c_str()) == 0;
        if (mode == "--not") return last.empty() || lstrcmpiA(d.c_str(), want.c_str()) != 0;
        if (mode == "--missing") return last.empty();
        Usage("wait-reg mode");
    });
    std::printf("name=%s %s\n", name, last.empty() ? "missing=1" : last.c_str());
    if (!ok) Fail("timed out waiting for " + key + "\\" + name);
    return 0;
}

// --- pictures ---------------------------------------------------------------

struct Rgb {
    BYTE r, g, b;
};

Rgb ParseColour(const std::string& hex) {
    unsigned long v = std::strtoul(hex.c_str(), nullptr, 16);
    return {static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v)};
}

// "flat:RRGGBB" or "quad:TL,TR,BL,BR" (four flat quarters, so that a picture
// shown upside down, mirrored or with red and blue swapped is told apart).
std::vector<Rgb> Pixels(const std::string& picture, int w, int h) {
    std::vector<Rgb> colours;
    auto colon = picture.find(':');
    if (colon == std::string::npos) Usage("picture: flat:RRGGBB or quad:TL,TR,BL,BR");
    std::string kind = picture.substr(0, colon);
    std::string list = picture.substr(colon + 1);
    for (size_t at = 0; at <= list.size();) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        colours.push_back(ParseColour(list.substr(at, comma - at)));
        at = comma + 1;
    }
    if ((kind == "flat" && colours.size() != 1) || (kind == "quad" && colours.size() != 4) ||
        (kind != "flat" && kind != "quad"))
        Usage("picture: flat:RRGGBB or quad:TL,TR,BL,BR");
    std::vector<Rgb> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            size_t c = kind == "flat" ? 0 : (y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0);
            px[static_cast<size_t>(y) * w + x] = colours[c];
        }
    }
    return px;
}

void PutLe(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

int CmdMakeBmp(int argc, char** argv) {
    if (argc < 6) Usage("make-bmp PATH W H PICTURE");
    int w = static_cast<int>(ParseNumber(argv[3])), h = static_cast<int>(ParseNumber(argv[4]));
    auto px = Pixels(argv[5], w, h);
    const uint32_t stride = (static_cast<uint32_t>(w) * 3 + 3) & ~3u;
    std::string out = "BM";
    PutLe(out, 54 + stride * h, 4);
    PutLe(out, 0, 4);
    PutLe(out, 54, 4);
    PutLe(out, 40, 4);
    PutLe(out, static_cast<uint32_t>(w), 4);
    PutLe(out, static_cast<uint32_t>(h), 4);
    PutLe(out, 1, 2);
    PutLe(out, 24, 2);
    PutLe(out, 0, 4);
    PutLe(out, stride * h, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const Rgb& p = px[static_cast<size_t>(y) * w + x];
            out += static_cast<char>(p.b);
            out += static_cast<char>(p.g);
            out += static_cast<char>(p.r);
        }
        out.append(stride - static_cast<uint32_t>(w) * 3, '\0');
    }
    FILE* f = std::fopen(argv[2], "wb");
    if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size()) Fail("cannot write bmp");
    std::fclose(f);
    return 0;
}

int CmdMakeJpeg(int argc, char** argv) {
    if (argc < 6) Usage("make-jpeg PATH W H PICTURE [QUALITY]");
    int w = static_cast<int>(ParseNumber(argv[3])), h = static_cast<int>(ParseNumber(argv[4]));
    int quality = argc >= 7 ? static_cast<int>(ParseNumber(argv[6])) : 95;
    auto px = Pixels(argv[5], w, h);
    FILE* f = std::fopen(argv[2], "wb");
    if (!f) Fail("cannot write jpeg");
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(&px[static_cast<size_t>(cinfo.next_scanline) * w]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    return 0;
}

// --- a window of our own ----------------------------------------------------

LRESULT CALLBACK HoldProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// hold-window TITLE: a hidden top-level window with that title, until it
// receives WM_CLOSE.
int CmdHoldWindow(int argc, char** argv) {
    if (argc < 3) Usage("hold-window TITLE");
    WNDCLASSA wc{};
    wc.lpfnWndProc = HoldProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QmProbeHold";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("QmProbeHold", argv[2], WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) Fail("CreateWindow failed");
    std::printf("hwnd=0x%llx\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    std::fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// --- A stand-in for the shell's notification area -----------------------------

// What Wine's shell32 sends the taskbar (WM_COPYDATA, dwData the NIM_ action):
// the record in a fixed layout, then the icon's bits, whose size comes first.
struct WineNotifyData {
    LONG hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uVersion;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
    GUID guidItem;
    UINT width;
    UINT height;
    UINT planes;
    UINT bpp;
};

LRESULT CALLBACK FakeTrayProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        if (cds->cbData >= sizeof(WineNotifyData)) {
            const auto* d = static_cast<const WineNotifyData*>(cds->lpData);
            std::printf("action=%lu uid=%u flags=0x%x version=%u width=%u height=%u\n",
                        static_cast<unsigned long>(cds->dwData), d->uID, d->uFlags,
                        d->uVersion, (d->uFlags & NIF_ICON) ? d->width : 0,
                        (d->uFlags & NIF_ICON) ? d->height : 0);
            std::fflush(stdout);
        }
        return TRUE;
    }
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// fake-tray [--timeout MS]: a topmost window of the taskbar's class, so the
// icons that programs started now add come here (Shell_NotifyIcon sends to
// the first such window): prints one line per record received, for as long
// as the timeout (default 10000) or until WM_CLOSE.
int CmdFakeTray(int argc, char** argv) {
    DWORD timeout = 10000;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--timeout") timeout = static_cast<DWORD>(ParseNumber(argv[i + 1]));
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = FakeTrayProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0,
                                0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) Fail("CreateWindow failed");
    if (FindWindowW(L"Shell_TrayWnd", nullptr) != hwnd) Fail("another taskbar comes first");
    std::printf("hwnd=0x%llx\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    std::fflush(stdout);
    SetTimer(hwnd, 1, timeout, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == hwnd) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// One line per monitor, as the program's own EnumDisplayMonitors sees them.
BOOL CALLBACK PrintMonitor(HMONITOR monitor, HDC, LPRECT r, LPARAM) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(monitor, &info);
    std::printf("rect=%ld,%ld,%ld,%ld primary=%d\n", r->left, r->top, r->right, r->bottom,
                (info.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
    return TRUE;
}

// --- GUI object counts ------------------------------------------------------

// Runs qm_count.dll's CountGuiObjects inside process PID: loads the DLL
// there, finds where it landed, starts a thread at the function, then
// unloads it. False, with the reason on stderr, when any step fails.
bool CountInProcess(DWORD pid, DWORD& gdi, DWORD& user) {
    auto failed = [](const char* why) {
        std::fprintf(stderr, "qm_probe: no count from inside: %s\n", why);
        return false;
    };
    char dll[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(nullptr, dll, MAX_PATH);
    char* slash = std::strrchr(dll, '\\');
    if (len == 0 || len >= MAX_PATH || !slash ||
        std::strlen("qm_count.dll") >= static_cast<size_t>(dll + MAX_PATH - slash - 1))
        return failed("path of qm_count.dll too long");
    std::strcpy(slash + 1, "qm_count.dll");
    HMODULE local = LoadLibraryA(dll);
    if (!local) return failed("qm_count.dll does not load");
    // A thread must never start at a guessed address: in the program that
    // is a crash.
    const auto* proc = reinterpret_cast<const char*>(GetProcAddress(local, "CountGuiObjects"));
    if (!proc) {
        FreeLibrary(local);
        return failed("qm_count.dll exports no CountGuiObjects");
    }
    const auto offset = proc - reinterpret_cast<const char*>(local);
    FreeLibrary(local);

    enum class Ran { NotStarted, StillRunning, Done };
    auto run_remote = [](HANDLE process, const void* start, void* arg, DWORD& code) {
        HANDLE thread = CreateRemoteThread(
            process, nullptr, 0,
            reinterpret_cast<LPTHREAD_START_ROUTINE>(const_cast<void*>(start)), arg, 0, nullptr);
        if (!thread) return Ran::NotStarted;
        Ran ran = Ran::StillRunning;
        if (WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code))
            ran = Ran::Done;
        CloseHandle(thread);
        return ran;
    };
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                     PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
                                 FALSE, pid);
    if (!process) return failed("cannot open the process");
    void* remote_name =
        VirtualAllocEx(process, nullptr, MAX_PATH, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    DWORD code = 0;
    const char* why = nullptr;
    HMODULE remote = nullptr;
    if (!remote_name || !WriteProcessMemory(process, remote_name, dll, MAX_PATH, nullptr)) {
        why = "cannot write into the process";
    } else if (run_remote(process, reinterpret_cast<void*>(GetProcAddress(kernel, "LoadLibraryA")),
                          remote_name, code) != Ran::Done) {
        why = "LoadLibraryA did not finish in the process";
    } else {
        HMODULE modules[1024];
        DWORD bytes = 0;
        if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
            for (DWORD i = 0; i < bytes / sizeof modules[0] && i < 1024; ++i) {
                char name[MAX_PATH] = {};
                if (GetModuleBaseNameA(process, modules[i], name, MAX_PATH) &&
                    lstrcmpiA(name, "qm_count.dll") == 0)
                    remote = modules[i];
            }
        }
        if (!remote) why = "qm_count.dll is not among the process's modules";
    }
    bool counted = false;
    if (remote) {
        switch (run_remote(process, reinterpret_cast<const char*>(remote) + offset, nullptr,
                           code)) {
        case Ran::Done: {
            gdi = code & 0xFFFF;
            user = code >> 16;
            counted = true;
            DWORD ignored = 0;
            run_remote(process, reinterpret_cast<void*>(GetProcAddress(kernel, "FreeLibrary")),
                       remote, ignored);
            break;
        }
        case Ran::StillRunning:
            // Its code must stay mapped while it runs: no FreeLibrary.
            why = "the count did not finish in 30 s; qm_count.dll stays loaded";
            break;
        case Ran::NotStarted:
            why = "cannot start a thread in the process";
            break;
        }
    }
    if (remote_name) VirtualFreeEx(process, remote_name, 0, MEM_RELEASE);
    CloseHandle(process);
    return counted || failed(why);
}

// gui-resources PID: GetGuiResources on the process, or, where that is a
// stub, qm_count.dll's count from inside it ("via" says which).
int CmdGuiResources(int argc, char** argv) {
    if (argc < 3) Usage("gui-resources PID");
    const DWORD pid = static_cast<DWORD>(ParseNumber(argv[2]));
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!p) Fail("cannot open process");
    SetLastError(0);
    DWORD gdi = GetGuiResources(p, GR_GDIOBJECTS);
    DWORD user = GetGuiResources(p, GR_USEROBJECTS);
    DWORD err = GetLastError();
    CloseHandle(p);
    const char* via = "GetGuiResources";
    if (err != 0 || (gdi == 0 && user == 0)) {
        if (CountInProcess(pid, gdi, user)) {
            err = 0;
            via = "handle-scan";
        }
    }
    std::printf("gdi=%lu user=%lu error=%lu via=%s\n", static_cast<unsigned long>(gdi),
                static_cast<unsigned long>(user), static_cast<unsigned long>(err), via);
    return 0;
}

// modules PID: the full path of every module loaded in a process, one
// "path=" line each; shows which Common Controls its manifest gave it.
int CmdModules(int argc, char** argv) {
    if (argc < 3) Usage("modules PID");
    const DWORD pid = static_cast<DWORD>(ParseNumber(argv[2]));
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!p) Fail("cannot open process");
    HMODULE modules[512];
    DWORD bytes = 0;
    const BOOL ok = EnumProcessModulesEx(p, modules, sizeof modules, &bytes, LIST_MODULES_ALL);
    const DWORD count = ok ? std::min<DWORD>(bytes, sizeof modules) / sizeof(HMODULE) : 0;
    for (DWORD i = 0; i < count; ++i) {
        char path[MAX_PATH];
        if (GetModuleFileNameExA(p, modules[i], path, MAX_PATH) != 0) {
            std::printf("path=%s\n", path);
        }
    }
    CloseHandle(p);
    if (!ok) Fail("cannot list the modules");
    return 0;
}

// --- the popup menu ---------------------------------------------------------

// menu HWND: the items of an open popup menu (#32768 window). Wine keeps a
// menu's data in its owner process, so this works only where the system
// shares menus between processes; "error=" says when it could not.
int CmdMenu(int argc, char** argv) {
    if (argc < 3) Usage("menu HWND");
    HWND hwnd = ParseHwnd(argv[2]);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, kMnGetHMenu, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    HMENU menu = reinterpret_cast<HMENU>(result);
    int count = menu ? GetMenuItemCount(menu) : -1;
    std::printf("hmenu=0x%llx count=%d\n", static_cast<unsigned long long>(result), count);
    if (count < 0) {
        std::printf("error=unreadable\n");
        return 1;
    }
    UINT def = GetMenuDefaultItem(menu, TRUE, 0);
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        std::printf("item=%d id=%u grayed=%d separator=%d default=%d text=%s\n", i,
                    GetMenuItemID(menu, i), (state & (MF_GRAYED | MF_DISABLED)) ? 1 : 0,
                    (state & MF_SEPARATOR) ? 1 : 0, def == static_cast<UINT>(i) ? 1 : 0, text);
    }
    return 0;
}

// --- everything else --------------------------------------------------------

void Post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!PostMessageA(hwnd, msg, wp, lp)) Fail("PostMessage failed");
}

int Run(int argc, char** argv) {
    if (argc < 2) Usage("no command");
    const std::string cmd = argv[1];
    std::vector<const char*> rest;

    if (cmd == "windows") {
        for (HWND hwnd : TopLevelWindows()) PrintWindow(hwnd);
        return 0;
    }
    if (cmd == "find") {
        Filter f = ParseFilter(argc, argv, 2, rest);
        auto found = Find(f);
        for (HWND hwnd : found) PrintWindow(hwnd);
        if (found.empty()) Fail("no such window");
        return 0;
    }
    if (cmd == "wait") {
        Filter f = ParseFilter(argc, argv, 2, rest);
        std::vector<HWND> found;
        if (!PollUntil(f.timeoutMs, [&] { return !(found = Find(f)).empty(); }))
            Fail("timed out waiting for the window");
        for (HWND hwnd : found) PrintWindow(hwnd);
        return 0;
    }
    if (cmd == "wait-gone") {
        Filter f = ParseFilter(argc, argv, 2, rest);
        if (!PollUntil(f.timeoutMs, [&] { return Find(f).empty(); }))
            Fail("timed out waiting for the window to go");
        return 0;
    }
    if (cmd == "wait-hwnd-gone") {  // wait-hwnd-gone HWND [--timeout MS]
        Filter f = ParseFilter(argc, argv, 2, rest);
        if (rest.empty()) Usage("wait-hwnd-gone HWND");
        HWND hwnd = ParseHwnd(rest[0]);
        if (!PollUntil(f.timeoutMs, [&] { return !IsWindow(hwnd); }))
            Fail("timed out waiting for the window to go");
        return 0;
    }
    if (cmd == "children") {  // children HWND: every control of a dialog
        if (argc < 3) Usage("children HWND");
        HWND parent = ParseHwnd(argv[2]);
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            std::printf("id=%d class=%s enabled=%d visible=%d style=0x%lx text=%s\n",
                        GetDlgCtrlID(c), ClassOf(c).c_str(), IsWindowEnabled(c) ? 1 : 0,
                        IsWindowVisible(c) ? 1 : 0,
                        static_cast<unsigned long>(GetWindowLongA(c, GWL_STYLE)),
                        OneLine(WindowText(c)).c_str());
        }
        return 0;
    }
    if (cmd == "text") {  // text HWND [ID]
        if (argc < 3) Usage("text HWND [ID]");
        HWND hwnd = ParseHwnd(argv[2]);
        if (argc >= 4) hwnd = Control(hwnd, argv[3]);
        std::printf("text=%s\n", OneLine(WindowText(hwnd)).c_str());
        return 0;
    }
    if (cmd == "settext") {  // settext HWND ID TEXT
        if (argc < 5) Usage("settext HWND ID TEXT");
        HWND c = Control(ParseHwnd(argv[2]), argv[3]);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]), SMTO_ABORTIFHUNG,
                            5000, &ignored);
        return 0;
    }
    if (cmd == "checked") {
        if (argc < 4) Usage("checked HWND ID");
        std::printf("checked=%u\n", IsDlgButtonChecked(ParseHwnd(argv[2]),
                                                        static_cast<int>(ParseNumber(argv[3]))));
        return 0;
    }
    if (cmd == "cursel") {  // cursel HWND ID: a drop-down list's selected index
        if (argc < 4) Usage("cursel HWND ID");
        std::printf("cursel=%ld\n", static_cast<long>(SendMessageA(
                                         Control(ParseHwnd(argv[2]), argv[3]), CB_GETCURSEL, 0, 0)));
        return 0;
    }
    if (cmd == "select") {  // select HWND ID INDEX: picks an item of a drop-down list
        if (argc < 5) Usage("select HWND ID INDEX");
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(Control(ParseHwnd(argv[2]), argv[3]), CB_SETCURSEL,
                            static_cast<WPARAM>(ParseNumber(argv[4])), 0, SMTO_ABORTIFHUNG, 5000,
                            &ignored);
        return 0;
    }
    if (cmd == "enabled") {  // enabled HWND [ID]
        if (argc < 3) Usage("enabled HWND [ID]");
        HWND hwnd = ParseHwnd(argv[2]);
        if (argc >= 4) hwnd = Control(hwnd, argv[3]);
        std::printf("enabled=%d\n", IsWindowEnabled(hwnd) ? 1 : 0);
        return 0;
    }
    if (cmd == "style") {  // style HWND [ID]
        if (argc < 3) Usage("style HWND [ID]");
        HWND hwnd = ParseHwnd(argv[2]);
        if (argc >= 4) hwnd = Control(hwnd, argv[3]);
        std::printf("style=0x%lx exstyle=0x%lx\n",
                    static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_STYLE)),
                    static_cast<unsigned long>(GetWindowLongA(hwnd, GWL_EXSTYLE)));
        return 0;
    }
    if (cmd == "udpos") {
        if (argc < 4) Usage("udpos HWND ID");
        HWND c = Control(ParseHwnd(argv[2]), argv[3]);
        // The error flag would be an address in our process, so ask for the
        // position alone; the range comes with it to judge it.
        LRESULT pos = SendMessageA(c, UDM_GETPOS32, 0, 0);
        LRESULT range = SendMessageA(c, UDM_GETRANGE, 0, 0);
        std::printf("pos=%ld min=%d max=%d\n", static_cast<long>(pos),
                    static_cast<int>(static_cast<short>(HIWORD(range))),
                    static_cast<int>(static_cast<short>(LOWORD(range))));
        return 0;
    }
    if (cmd == "gui-thread") {  // gui-thread HWND: the input state of its thread
        if (argc < 3) Usage("gui-thread HWND");
        HWND hwnd = ParseHwnd(argv[2]);
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) {
            Fail("no thread information");
        }
        std::printf("active=%p focus=%p capture=%p menu-owner=%p flags=0x%lx foreground=%p\n",
                    static_cast<void*>(info.hwndActive), static_cast<void*>(info.hwndFocus),
                    static_cast<void*>(info.hwndCapture), static_cast<void*>(info.hwndMenuOwner),
                    static_cast<unsigned long>(info.flags),
                    static_cast<void*>(GetForegroundWindow()));
        return 0;
    }
    if (cmd == "wait-ready") {  // wait-ready HWND [--timeout MS]: a dialog box
                                // takes input: shown, enabled, the active window
                                // of its thread with the focus inside it, and
                                // that thread answering in a message loop
        Filter f = ParseFilter(argc, argv, 2, rest);
        if (rest.empty()) Usage("wait-ready HWND");
        HWND hwnd = ParseHwnd(rest[0]);
        const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
        const bool ready = PollUntil(f.timeoutMs, [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            DWORD_PTR result = 0;
            return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
                   GetGUIThreadInfo(thread, &info) && info.hwndActive == hwnd &&
                   info.hwndFocus != nullptr &&
                   (info.hwndFocus == hwnd || IsChild(hwnd, info.hwndFocus)) &&
                   info.hwndCapture == nullptr && (info.flags & GUI_INMENUMODE) == 0 &&
                   SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result);
        });
        if (!ready) Fail("timed out waiting for the window to take input");
        return 0;
    }
    if (cmd == "click") {  // click HWND ID: BM_CLICK, posted (it may open a box)
        if (argc < 4) Usage("click HWND ID");
        Post(Control(ParseHwnd(argv[2]), argv[3]), BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == "command") {  // command HWND ID: a posted WM_COMMAND
        if (argc < 4) Usage("command HWND ID");
        Post(ParseHwnd(argv[2]), WM_COMMAND, static_cast<WPARAM>(ParseNumber(argv[3])), 0);
        return 0;
    }
    if (cmd == "close") {
        if (argc < 3) Usage("close HWND");
        Post(ParseHwnd(argv[2]), WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == "post" || cmd == "send") {  // post|send HWND MSG WPARAM LPARAM
        if (argc < 6) Usage("post|send HWND MSG WPARAM LPARAM");
        HWND hwnd = ParseHwnd(argv[2]);
        UINT msg = static_cast<UINT>(ParseNumber(argv[3]));
        WPARAM wp = static_cast<WPARAM>(ParseNumber(argv[4]));
        LPARAM lp = static_cast<LPARAM>(ParseNumber(argv[5]));
        if (cmd == "post") {
            Post(hwnd, msg, wp, lp);
            return 0;
        }
        DWORD_PTR result = 0;
        // Timed: what the window took to handle it, the probe's start left out.
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        if (!SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, 60000, &result))
            Fail("SendMessage timed out");
        QueryPerformanceCounter(&end);
        std::printf("result=%lld ms=%.1f\n", static_cast<long long>(result),
                    1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
        return 0;
    }
    if (cmd == "sync") {  // sync HWND: returns once the window's thread has
                          // handled everything sent to it before
        if (argc < 3) Usage("sync HWND");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(ParseHwnd(argv[2]), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result))
            Fail("window did not answer");
        return 0;
    }
    if (cmd == "key" || cmd == "char") {  // key HWND VK | char HWND C
        if (argc < 4) Usage("key HWND VK | char HWND C");
        HWND hwnd = ParseHwnd(argv[2]);
        if (cmd == "char") {
            Post(hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(argv[3][0])), 1);
        } else {
            WPARAM vk = static_cast<WPARAM>(ParseNumber(argv[3]));
            Post(hwnd, WM_KEYDOWN, vk, 1);
            Post(hwnd, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
        }
        return 0;
    }
    if (cmd == "menu") return CmdMenu(argc, argv);
    if (cmd == "taskbar-created") {  // taskbar-created HWND: what a new shell
                                     // broadcasts when its taskbar is up
        if (argc < 3) Usage("taskbar-created HWND");
        UINT msg = RegisterWindowMessageA("TaskbarCreated");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(ParseHwnd(argv[2]), msg, 0, 0, SMTO_ABORTIFHUNG, 10000, &result))
            Fail("SendMessage timed out");
        std::printf("message=0x%x result=%lld\n", msg, static_cast<long long>(result));
        return 0;
    }
    if (cmd == "tray-delete") {  // tray-delete HWND UID: takes an icon off the
                                 // notification area, as a crashed shell would lose it
        if (argc < 4) Usage("tray-delete HWND UID");
        NOTIFYICONDATAA nid{};
        nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
        nid.hWnd = ParseHwnd(argv[2]);
        nid.uID = static_cast<UINT>(ParseNumber(argv[3]));
        BOOL ok = Shell_NotifyIconA(NIM_DELETE, &nid);
        std::printf("deleted=%d\n", ok ? 1 : 0);
        return ok ? 0 : 1;
    }
    if (cmd == "gui-resources") return CmdGuiResources(argc, argv);
    if (cmd == "modules") return CmdModules(argc, argv);
    if (cmd == "cursor") {  // cursor: the pointer's screen position
        POINT pt{};
        GetCursorPos(&pt);
        std::printf("x=%ld y=%ld\n", pt.x, pt.y);
        return 0;
    }
    if (cmd == "screen") {  // screen: the desktop's size, for the icon's place
        RECT r{};
        GetWindowRect(GetDesktopWindow(), &r);
        HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
        RECT t{};
        if (tray) GetWindowRect(tray, &t);
        std::printf("width=%ld height=%ld tray=%ld,%ld,%ld,%ld\n", r.right - r.left,
                    r.bottom - r.top, t.left, t.top, t.right, t.bottom);
        return 0;
    }
    if (cmd == "monitors") {  // monitors: each monitor's rectangle
        EnumDisplayMonitors(nullptr, nullptr, PrintMonitor, 0);
        return 0;
    }
    if (cmd == "redraw") {  // redraw HWND: repaint a window and its children
        if (argc < 3) Usage("redraw HWND");
        RedrawWindow(ParseHwnd(argv[2]), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 0;
    }
    if (cmd == "list-dir") {  // list-dir PATTERN: names in the system's search order
        if (argc < 3) Usage("list-dir PATTERN");
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(argv[2], &fd);
        if (h == INVALID_HANDLE_VALUE) return 0;
        do {
            std::printf("name=%s\n", fd.cFileName);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
        return 0;
    }
    if (cmd == "windows-dir") {
        char dir[MAX_PATH] = {};
        GetWindowsDirectoryA(dir, MAX_PATH);
        std::printf("path=%s\n", dir);
        return 0;
    }
    if (cmd == "reg") return CmdReg(argc, argv);
    if (cmd == "wait-reg") return CmdWaitReg(argc, argv);
    if (cmd == "reg-set") return CmdRegSet(argc, argv);
    if (cmd == "reg-delete") return CmdRegDelete(argc, argv);
    if (cmd == "make-bmp") return CmdMakeBmp(argc, argv);
    if (cmd == "make-jpeg") return CmdMakeJpeg(argc, argv);
    if (cmd == "hold-window") return CmdHoldWindow(argc, argv);
    if (cmd == "fake-tray") return CmdFakeTray(argc, argv);
    Usage("unknown command");
}

}  // namespace

int main(int argc, char** argv) {
    int rc = Run(argc, argv);
    std::fflush(stdout);
    return rc;
}
