// The application manifest: Quillmere.exe carries it where Windows looks
// (type 24, id 1) and is marked terminal-server aware; and the system
// applies it. This test program compiles the same resource script, so it
// starts under the same manifest: the side-by-side Common Controls 6 and DPI
// awareness must be in force here, which they are not without it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/win32/windows_api.h"
#include "tests/support/temp_dir.h"

#include <commctrl.h>

namespace qm {
namespace {

std::string ModuleFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\'));
}

// The manifest resource of a module, or "" when it has none.
std::string ManifestOf(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (found == nullptr) {
        return {};
    }
    const void* data = LockResource(LoadResource(module, found));
    return std::string(static_cast<const char*>(data), SizeofResource(module, found));
}

TEST(Win32ManifestTest, ProgramCarriesTheManifestAndIsTerminalServerAware) {
    // The test program sits in tests/ beside the program's build folder.
    const std::string exe = ModuleFolder() + "\\..\\Quillmere.exe";
    HMODULE program =
        LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr) << exe;
    const std::string manifest = ManifestOf(program);
    FreeLibrary(program);

    ASSERT_FALSE(manifest.empty()) << "no type 24, id 1 resource in " << exe;
    // The very manifest whose effect the next test sees in this program.
    EXPECT_EQ(manifest, ManifestOf(GetModuleHandleA(nullptr)));

    // IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, read from the file.
    const std::string pe = test::ReadFile(exe);
    ASSERT_GT(pe.size(), 0x40u);
    std::uint32_t header = 0;
    pe.copy(reinterpret_cast<char*>(&header), 4, 0x3C);
    ASSERT_LT(header + 24u + 72u, pe.size());
    // The characteristics sit 70 bytes into the optional header, in the
    // 32-bit and the 64-bit layout alike.
    std::uint16_t characteristics = 0;
    pe.copy(reinterpret_cast<char*>(&characteristics), 2, header + 24 + 70);
    EXPECT_NE(characteristics & 0x8000, 0) << std::hex << characteristics;
}

// A setting of the process's activation context, "" when unset.
std::wstring ContextSetting(const wchar_t* schema, const wchar_t* name) {
    wchar_t value[64] = {};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, nullptr, schema, name, value, 64, &written)) {
        return {};
    }
    return value;
}

TEST(Win32ManifestTest, SystemAppliesItToTheRunningProgram) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    // The Common Controls the process uses are the side-by-side version 6,
    // not the system folder's version 5.
    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, MAX_PATH), 0u);
    std::string lower(path);
    for (char& c : lower) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    EXPECT_NE(lower.find("\\winsxs\\"), std::string::npos) << path;
    EXPECT_NE(lower.find("common-controls_6595b64144ccf1df_6."), std::string::npos) << path;

    // No elevation asked for, so none and no file virtualization given.
    // (Null with no flags: the process's own context, made from the
    // manifest.)
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, RunlevelInformationInActivationContext,
                             &level, sizeof level, nullptr));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(level.UiAccess, 0u);

    // Declared for Vista, 7, 8, 8.1 and 10/11, in that order. The record
    // as Windows 10 and Wine fill it: mingw-w64's header still has the
    // shorter element of older systems, without MaxVersionTested.
    struct OsElement {
        GUID Id;
        ACTCTX_COMPATIBILITY_ELEMENT_TYPE Type;
        ULONGLONG MaxVersionTested;
    };
    struct {
        DWORD ElementCount;
        OsElement Elements[8];
    } compat = {};
    ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, CompatibilityInformationInActivationContext,
                             &compat, sizeof compat, nullptr));
    const char* expected[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
    ASSERT_EQ(compat.ElementCount, 5u);
    for (DWORD i = 0; i < compat.ElementCount; ++i) {
        const OsElement& e = compat.Elements[i];
        EXPECT_EQ(e.Type, ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS);
        char text[40];
        std::snprintf(text, sizeof text,
                      "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                      static_cast<unsigned long>(e.Id.Data1), e.Id.Data2, e.Id.Data3,
                      e.Id.Data4[0], e.Id.Data4[1], e.Id.Data4[2], e.Id.Data4[3],
                      e.Id.Data4[4], e.Id.Data4[5], e.Id.Data4[6], e.Id.Data4[7]);
        EXPECT_STREQ(text, expected[i]);
    }

    // DPI awareness as declared. (Wine makes every process aware whatever
    // it declares, so the setting itself is what can be checked here.)
    EXPECT_EQ(ContextSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                             L"dpiAware"),
              L"true");
    EXPECT_EQ(ContextSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                             L"dpiAwareness"),
              L"PerMonitorV2, system");
    EXPECT_TRUE(IsProcessDPIAware());
}

}  // namespace
}  // namespace qm
