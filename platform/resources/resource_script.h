// A reader of the program's resource script (res/quillmere.rc with the
// identifiers of res/resource.h). The Windows build compiles the script with
// the resource compiler; the headless and Linux backends read the same text,
// so menus, dialog templates and strings have one description only.
//
// Understood: #define lines (decimal or hex values, parenthesised negative
// numbers), MENU, DIALOG and STRINGTABLE blocks, with every dialog control
// in the general CONTROL form. Skipped: other preprocessor lines, LANGUAGE,
// file resources (ICON "file") and any other block (VERSIONINFO with its
// nested BEGIN/END). Style expressions are `|` (or `+`) of numbers and
// symbols; an unknown symbol is an error.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qm::rc {

// Thrown on any text the reader does not understand; names the line.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MenuItem {
    std::string text;  // with its '&' access-key marks
    int id = 0;
    bool separator = false;
    bool grayed = false;  // GRAYED or INACTIVE
    bool checked = false;
};

struct Popup {
    std::string text;
    std::vector<MenuItem> items;
};

struct Menu {
    std::vector<Popup> popups;
};

struct Control {
    std::string text;      // "" when the text is an ordinal
    bool hasOrdinal = false;
    int ordinal = 0;       // e.g. the icon of an SS_ICON static
    int id = 0;
    std::string className;  // "Button", "Edit", "Static", "ComboBox", "msctls_updown32"
    std::uint32_t style = 0;  // as written (the compiler adds WS_CHILD | WS_VISIBLE)
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct Dialog {
    int x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t style = 0;
    std::string caption;
    int fontSize = 0;
    std::string fontName;
    std::vector<Control> controls;  // template order = tab order
};

struct Script {
    std::map<std::string, std::int64_t> defines;
    std::map<int, Menu> menus;
    std::map<int, Dialog> dialogs;
    std::map<unsigned, std::string> strings;
};

// Parses the script; `headers` are the texts of the files it includes for
// its identifiers (only their #define lines count). Throws ScriptError.
Script Parse(std::string_view script, const std::vector<std::string_view>& headers = {});

// The symbols a style or id expression may use besides #defines: the Win32
// window, dialog, button, static, edit, combo-box and up-down styles, IDOK, IDCANCEL.
const std::map<std::string, std::int64_t, std::less<>>& BuiltinSymbols();

// The texts of res/quillmere.rc and res/resource.h, built into the library.
std::string_view EmbeddedScriptText();
std::string_view EmbeddedHeaderText();

// The embedded script, parsed once.
const Script& EmbeddedScript();

}  // namespace qm::rc
