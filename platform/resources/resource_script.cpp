#include "platform/resources/resource_script.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qm::rc {

namespace {

enum class Kind { Ident, Number, String, Punct, End };

struct Token {
    Kind kind = Kind::End;
    std::string text;  // identifier, decoded string, or punctuation
    std::int64_t number = 0;
    int line = 0;
};

[[noreturn]] void Fail(int line, const std::string& what) {
    throw ScriptError("resource script line " + std::to_string(line) + ": " + what);
}

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Splits text into tokens; preprocessor lines must already be blanked.
std::vector<Token> Tokenize(std::string_view text, int firstLine) {
    std::vector<Token> tokens;
    int line = firstLine;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') {
                ++i;
            }
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            std::size_t end = text.find("*/", i + 2);
            if (end == std::string_view::npos) {
                Fail(line, "unterminated comment");
            }
            for (std::size_t k = i; k < end; ++k) {
                line += text[k] == '\n';
            }
            i = end + 2;
        } else if (c == '"') {
            Token t{Kind::String, "", 0, line};
            ++i;
            for (;;) {
                if (i >= text.size() || text[i] == '\n') {
                    Fail(line, "unterminated string");
                }
                char s = text[i++];
                if (s == '"') {
                    if (i < text.size() && text[i] == '"') {  // "" stands for one quote
                        t.text += '"';
                        ++i;
                        continue;
                    }
                    break;
                }
                if (s == '\\' && i < text.size()) {
                    char e = text[i++];
                    switch (e) {
                    case 'n': t.text += '\n'; break;
                    case 't': t.text += '\t'; break;
                    case 'r': t.text += '\r'; break;
                    case 'a': t.text += '\b'; break;
                    case '0': t.text += '\0'; break;
                    case '\\': t.text += '\\'; break;
                    case '"': t.text += '"'; break;
                    default: Fail(line, std::string("unknown escape \\") + e);
                    }
                    continue;
                }
                t.text += s;
            }
            tokens.push_back(std::move(t));
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t start = i;
            while (i < text.size() && IsIdentChar(text[i])) {
                ++i;
            }
            std::string digits(text.substr(start, i - start));
            while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                                       digits.back() == 'U' || digits.back() == 'u')) {
                digits.pop_back();
            }
            char* end = nullptr;
            long long value = std::strtoll(digits.c_str(), &end, 0);
            if (digits.empty() || *end != '\0') {
                Fail(line, "bad number " + std::string(text.substr(start, i - start)));
            }
            tokens.push_back({Kind::Number, digits, value, line});
        } else if (IsIdentStart(c)) {
            std::size_t start = i;
            while (i < text.size() && IsIdentChar(text[i])) {
                ++i;
            }
            tokens.push_back({Kind::Ident, std::string(text.substr(start, i - start)), 0, line});
        } else if (std::string_view(",|+-()~{}").find(c) != std::string_view::npos) {
            tokens.push_back({Kind::Punct, std::string(1, c), 0, line});
            ++i;
        } else {
            Fail(line, std::string("unexpected character '") + c + "'");
        }
    }
    tokens.push_back({Kind::End, "", 0, line});
    return tokens;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const std::map<std::string, std::int64_t>& defines)
        : toks_(std::move(tokens)), defines_(defines) {}

    const Token& Peek() const { return toks_[pos_]; }
    const Token& Next() {
        const Token& t = toks_[pos_];
        if (t.kind != Kind::End) {
            ++pos_;
        }
        return t;
    }
    bool AtEnd() const { return Peek().kind == Kind::End; }
    bool PeekIdent(std::string_view word) const {
        return Peek().kind == Kind::Ident && Peek().text == word;
    }
    bool PeekPunct(char p) const { return Peek().kind == Kind::Punct && Peek().text[0] == p; }
    bool PeekBegin() const { return PeekIdent("BEGIN") || PeekPunct('{'); }
    bool PeekEnd() const { return PeekIdent("END") || PeekPunct('}'); }

    void ExpectPunct(char p) {
        if (!PeekPunct(p)) {
            Fail(Peek().line, std::string("expected '") + p + "', found '" + Peek().text + "'");
        }
        Next();
    }
    void SkipComma() {
        if (PeekPunct(',')) {
            Next();
        }
    }
    void ExpectBegin() {
        if (!PeekBegin()) {
            Fail(Peek().line, "expected BEGIN, found '" + Peek().text + "'");
        }
        Next();
    }
    std::string ExpectString() {
        if (Peek().kind != Kind::String) {
            Fail(Peek().line, "expected a string, found '" + Peek().text + "'");
        }
        return Next().text;
    }

    // expr := unary { ('|' | '+' | '-') unary }
    std::int64_t Expression() {
        std::int64_t value = Unary();
        while (PeekPunct('|') || PeekPunct('+') || PeekPunct('-')) {
            char op = Next().text[0];
            std::int64_t rhs = Unary();
            value = op == '|' ? (value | rhs) : op == '+' ? value + rhs : value - rhs;
        }
        return value;
    }

    std::int64_t Unary() {
        const Token& t = Next();
        switch (t.kind) {
        case Kind::Number:
            return t.number;
        case Kind::Ident:
            return Lookup(t);
        case Kind::Punct:
            if (t.text == "-") {
                return -Unary();
            }
            if (t.text == "~") {
                return ~Unary();
            }
            if (t.text == "(") {
                std::int64_t v = Expression();
                ExpectPunct(')');
                return v;
            }
            break;
        default:
            break;
        }
        Fail(t.line, "expected a number or symbol, found '" + t.text + "'");
    }

    std::int64_t Lookup(const Token& t) const {
        if (auto it = defines_.find(t.text); it != defines_.end()) {
            return it->second;
        }
        const auto& builtins = BuiltinSymbols();
        if (auto it = builtins.find(t.text); it != builtins.end()) {
            return it->second;
        }
        Fail(t.line, "unknown symbol " + t.text);
    }

    // Skips a BEGIN ... END block with whatever it nests.
    void SkipBlock() {
        ExpectBegin();
        int depth = 1;
        while (depth > 0) {
            if (AtEnd()) {
                Fail(Peek().line, "missing END");
            }
            if (PeekBegin()) {
                ++depth;
            } else if (PeekEnd()) {
                --depth;
            }
            Next();
        }
    }

    // Load and memory options that may stand between a type and its body.
    void SkipMemoryOptions() {
        static const char* const kOptions[] = {"DISCARDABLE", "MOVEABLE", "PURE", "PRELOAD",
                                               "LOADONCALL", "FIXED", "IMPURE", "SHARED",
                                               "NONSHARED"};
        while (Peek().kind == Kind::Ident) {
            bool known = false;
            for (const char* o : kOptions) {
                known = known || Peek().text == o;
            }
            if (!known) {
                return;
            }
            Next();
        }
    }

    void ParseAll(Script& out) {
        while (!AtEnd()) {
            if (PeekIdent("LANGUAGE")) {
                SkipLanguage();
            } else if (PeekIdent("STRINGTABLE")) {
                Next();
                ParseStrings(out);
            } else {
                const Token name = Next();
                if (name.kind != Kind::Ident && name.kind != Kind::Number) {
                    Fail(name.line, "expected a resource name, found '" + name.text + "'");
                }
                const Token type = Next();
                if (type.kind != Kind::Ident && type.kind != Kind::Number) {
                    Fail(type.line, "expected a resource type, found '" + type.text + "'");
                }
                if (type.text == "MENU") {
                    int id = ResourceId(name);
                    SkipMemoryOptions();
                    out.menus[id] = ParseMenu();
                } else if (type.text == "DIALOG") {
                    int id = ResourceId(name);
                    SkipMemoryOptions();
                    out.dialogs[id] = ParseDialog();
                } else {
                    SkipOther();
                }
            }
        }
    }

private:
    int ResourceId(const Token& name) const {
        return static_cast<int>(name.kind == Kind::Number ? name.number : Lookup(name));
    }

    void SkipLanguage() {
        Next();
        Next();
        ExpectPunct(',');
        Next();
    }

    // A resource of a kind the backend has no use for: a file reference
    // (ICON "file") or a block with a header of its own (VERSIONINFO).
    void SkipOther() {
        SkipMemoryOptions();
        if (Peek().kind == Kind::String) {
            Next();
            return;
        }
        while (!PeekBegin()) {
            if (AtEnd()) {
                Fail(Peek().line, "resource without a body");
            }
            Next();
        }
        SkipBlock();
    }

    void ParseStrings(Script& out) {
        SkipMemoryOptions();
        while (PeekIdent("LANGUAGE") || PeekIdent("CHARACTERISTICS") || PeekIdent("VERSION")) {
            if (PeekIdent("LANGUAGE")) {
                SkipLanguage();
            } else {
                Next();
                Expression();
            }
        }
        ExpectBegin();
        while (!PeekEnd()) {
            if (AtEnd()) {
                Fail(Peek().line, "missing END of STRINGTABLE");
            }
            auto id = static_cast<unsigned>(Expression());
            SkipComma();
            out.strings[id] = ExpectString();
        }
        Next();
    }

    Menu ParseMenu() {
        Menu menu;
        ExpectBegin();
        while (!PeekEnd()) {
            if (!PeekIdent("POPUP")) {
                Fail(Peek().line, "expected POPUP in a menu, found '" + Peek().text + "'");
            }
            Next();
            Popup popup;
            popup.text = ExpectString();
            SkipItemOptions(nullptr);
            ExpectBegin();
            while (!PeekEnd()) {
                if (!PeekIdent("MENUITEM")) {
                    Fail(Peek().line, "expected MENUITEM, found '" + Peek().text + "'");
                }
                Next();
                MenuItem item;
                if (PeekIdent("SEPARATOR")) {
                    Next();
                    item.separator = true;
                } else {
                    item.text = ExpectString();
                    ExpectPunct(',');
                    item.id = static_cast<int>(Expression());
                    SkipItemOptions(&item);
                }
                popup.items.push_back(std::move(item));
            }
            Next();
            menu.popups.push_back(std::move(popup));
        }
        Next();
        return menu;
    }

    void SkipItemOptions(MenuItem* item) {
        for (;;) {
            SkipComma();
            if (PeekIdent("GRAYED") || PeekIdent("INACTIVE")) {
                if (item) {
                    item->grayed = true;
                }
            } else if (PeekIdent("CHECKED")) {
                if (item) {
                    item->checked = true;
                }
            } else if (!(PeekIdent("MENUBARBREAK") || PeekIdent("MENUBREAK") ||
                         PeekIdent("HELP"))) {
                return;
            }
            Next();
        }
    }

    Dialog ParseDialog() {
        Dialog d;
        d.x = static_cast<int>(Expression());
        ExpectPunct(',');
        d.y = static_cast<int>(Expression());
        ExpectPunct(',');
        d.cx = static_cast<int>(Expression());
        ExpectPunct(',');
        d.cy = static_cast<int>(Expression());
        while (!PeekBegin()) {
            const Token& t = Next();
            if (t.kind != Kind::Ident) {
                Fail(t.line, "expected a dialog statement, found '" + t.text + "'");
            }
            if (t.text == "STYLE") {
                d.style = static_cast<std::uint32_t>(Expression());
            } else if (t.text == "EXSTYLE") {
                Expression();
            } else if (t.text == "CAPTION") {
                d.caption = ExpectString();
            } else if (t.text == "FONT") {
                d.fontSize = static_cast<int>(Expression());
                ExpectPunct(',');
                d.fontName = ExpectString();
            } else if (t.text == "LANGUAGE") {
                Next();
                ExpectPunct(',');
                Next();
            } else {
                Fail(t.line, "unknown dialog statement " + t.text);
            }
        }
        Next();
        while (!PeekEnd()) {
            if (!PeekIdent("CONTROL")) {
                Fail(Peek().line,
                     "controls must be written as CONTROL statements, found '" + Peek().text + "'");
            }
            Next();
            Control c;
            if (Peek().kind == Kind::String) {
                c.text = Next().text;
            } else {
                c.hasOrdinal = true;
                c.ordinal = static_cast<int>(Expression());
            }
            ExpectPunct(',');
            c.id = static_cast<int>(Expression());
            ExpectPunct(',');
            c.className = ExpectString();
            ExpectPunct(',');
            c.style = static_cast<std::uint32_t>(Expression());
            ExpectPunct(',');
            c.x = static_cast<int>(Expression());
            ExpectPunct(',');
            c.y = static_cast<int>(Expression());
            ExpectPunct(',');
            c.cx = static_cast<int>(Expression());
            ExpectPunct(',');
            c.cy = static_cast<int>(Expression());
            if (PeekPunct(',')) {  // extended style
                Next();
                Expression();
            }
            d.controls.push_back(std::move(c));
        }
        Next();
        return d;
    }

    std::vector<Token> toks_;
    std::size_t pos_ = 0;
    const std::map<std::string, std::int64_t>& defines_;
};

// Takes the #define lines out of text (into defines) and blanks every
// preprocessor line, keeping the line count for messages.
std::string Preprocess(std::string_view text, std::map<std::string, std::int64_t>& defines) {
    std::string kept;
    int line = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        ++line;
        std::string_view l = text.substr(start, end - start);
        std::size_t first = l.find_first_not_of(" \t\r");
        if (first != std::string_view::npos && l[first] == '#') {
            std::string_view directive = l.substr(first + 1);
            directive.remove_prefix(std::min(directive.find_first_not_of(" \t"), directive.size()));
            if (directive.starts_with("define") && directive.size() > 6 &&
                (directive[6] == ' ' || directive[6] == '\t')) {
                std::string_view rest = directive.substr(6);
                rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
                std::size_t nameEnd = 0;
                while (nameEnd < rest.size() && IsIdentChar(rest[nameEnd])) {
                    ++nameEnd;
                }
                std::string name(rest.substr(0, nameEnd));
                std::string_view value = rest.substr(nameEnd);
                if (name.empty()) {
                    Fail(line, "bad #define");
                }
                // "(" glued to the name makes a function-like macro, which
                // names no identifier; a value like (-1) follows a blank.
                if (!value.starts_with("(")) {
                    std::vector<Token> toks = Tokenize(value, line);
                    if (toks.size() > 1) {  // a value, not just a flag macro
                        Parser p(std::move(toks), defines);
                        std::int64_t v = p.Expression();
                        if (!p.AtEnd()) {
                            Fail(line, "cannot read the value of " + name);
                        }
                        defines[name] = v;
                    }
                }
            }
            kept.append(l.size(), ' ');
        } else {
            kept.append(l);
        }
        kept += '\n';
        if (end == text.size()) {
            break;
        }
        start = end + 1;
    }
    return kept;
}

}  // namespace

const std::map<std::string, std::int64_t, std::less<>>& BuiltinSymbols() {
    static const std::map<std::string, std::int64_t, std::less<>> table = {
        // Window styles.
        {"WS_OVERLAPPED", 0x00000000},
        {"WS_POPUP", 0x80000000},
        {"WS_CHILD", 0x40000000},
        {"WS_MINIMIZE", 0x20000000},
        {"WS_VISIBLE", 0x10000000},
        {"WS_DISABLED", 0x08000000},
        {"WS_CLIPSIBLINGS", 0x04000000},
        {"WS_CLIPCHILDREN", 0x02000000},
        {"WS_MAXIMIZE", 0x01000000},
        {"WS_CAPTION", 0x00C00000},
        {"WS_BORDER", 0x00800000},
        {"WS_DLGFRAME", 0x00400000},
        {"WS_VSCROLL", 0x00200000},
        {"WS_HSCROLL", 0x00100000},
        {"WS_SYSMENU", 0x00080000},
        {"WS_THICKFRAME", 0x00040000},
        {"WS_GROUP", 0x00020000},
        {"WS_TABSTOP", 0x00010000},
        {"WS_MINIMIZEBOX", 0x00020000},
        {"WS_MAXIMIZEBOX", 0x00010000},
        // Dialog styles.
        {"DS_3DLOOK", 0x0004},
        {"DS_SETFONT", 0x0040},
        {"DS_MODALFRAME", 0x0080},
        {"DS_CENTER", 0x0800},
        // Buttons.
        {"BS_PUSHBUTTON", 0x0},
        {"BS_DEFPUSHBUTTON", 0x1},
        {"BS_CHECKBOX", 0x2},
        {"BS_AUTOCHECKBOX", 0x3},
        {"BS_RADIOBUTTON", 0x4},
        {"BS_3STATE", 0x5},
        {"BS_AUTO3STATE", 0x6},
        {"BS_GROUPBOX", 0x7},
        {"BS_AUTORADIOBUTTON", 0x9},
        {"BS_LEFTTEXT", 0x20},
        // Statics.
        {"SS_LEFT", 0x0},
        {"SS_CENTER", 0x1},
        {"SS_RIGHT", 0x2},
        {"SS_ICON", 0x3},
        {"SS_NOPREFIX", 0x80},
        // Edit boxes.
        {"ES_LEFT", 0x0},
        {"ES_CENTER", 0x1},
        {"ES_RIGHT", 0x2},
        {"ES_MULTILINE", 0x4},
        {"ES_AUTOVSCROLL", 0x40},
        {"ES_AUTOHSCROLL", 0x80},
        {"ES_READONLY", 0x800},
        {"ES_NUMBER", 0x2000},
        // Up-down controls.
        {"UDS_WRAP", 0x1},
        {"UDS_SETBUDDYINT", 0x2},
        {"UDS_ALIGNRIGHT", 0x4},
        {"UDS_ALIGNLEFT", 0x8},
        {"UDS_AUTOBUDDY", 0x10},
        {"UDS_ARROWKEYS", 0x20},
        {"UDS_HORZ", 0x40},
        {"UDS_NOTHOUSANDS", 0x80},
        // Combo boxes.
        {"CBS_SIMPLE", 0x1},
        {"CBS_DROPDOWN", 0x2},
        {"CBS_DROPDOWNLIST", 0x3},
        {"CBS_AUTOHSCROLL", 0x40},
        {"CBS_SORT", 0x100},
        {"CBS_HASSTRINGS", 0x200},
        // Dialog command ids.
        {"IDOK", 1},
        {"IDCANCEL", 2},
    };
    return table;
}

Script Parse(std::string_view script, const std::vector<std::string_view>& headers) {
    Script out;
    for (std::string_view h : headers) {
        Preprocess(h, out.defines);
    }
    std::string body = Preprocess(script, out.defines);
    Parser parser(Tokenize(body, 1), out.defines);
    parser.ParseAll(out);
    return out;
}

const Script& EmbeddedScript() {
    static const Script script = Parse(EmbeddedScriptText(), {EmbeddedHeaderText()});
    return script;
}

}  // namespace qm::rc
