// Start at login on a freedesktop desktop: an autostart entry named
// quillmere.desktop. The user's folder ($XDG_CONFIG_HOME/autostart) takes
// precedence over the system's ($XDG_CONFIG_DIRS, each /autostart), and a
// user entry with Hidden=true switches a system one off.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>
#include <filesystem>

#include "platform/posix/posix_system.h"

namespace qm {

namespace {

constexpr const char* kEntryName = "quillmere.desktop";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::string Home() { return EnvOr("HOME", "/"); }

std::string UserAutostartFolder() {
    return EnvOr("XDG_CONFIG_HOME", Home() + "/.config") + "/autostart";
}

std::vector<std::string> SystemAutostartFolders() {
    std::vector<std::string> folders;
    std::stringstream dirs(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"));
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty()) folders.push_back(dir + "/autostart");
    }
    return folders;
}

struct Entry {
    bool found = false;
    bool hidden = false;
    std::string program;  // the first word of Exec, unquoted
};

// The first argument of an Exec line: in double quotes (inside which a
// backslash escapes the next character) or up to the first space.
std::string FirstArgument(const std::string& exec) {
    std::string arg;
    std::size_t i = 0;
    if (!exec.empty() && exec[0] == '"') {
        for (i = 1; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
            arg += exec[i];
        }
        return arg;
    }
    return exec.substr(0, exec.find(' '));
}

// A value of the [Desktop Entry] group: "\\s" and the other escapes of
// string values are undone for the backslash only, which paths need.
std::string Unescape(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == '\\') ++i;
        out += value[i];
    }
    return out;
}

Entry ReadEntry(const std::string& path) {
    Entry entry;
    std::ifstream in(path);
    if (!in) return entry;
    entry.found = true;
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        while (!value.empty() && value[0] == ' ') value.erase(0, 1);
        if (key == "Hidden") entry.hidden = value == "true";
        if (key == "Exec") entry.program = FirstArgument(Unescape(value));
    }
    return entry;
}

// The entry in force: the user's, or else the first system folder's.
Entry EntryInForce(bool& userEntry) {
    Entry entry = ReadEntry(UserAutostartFolder() + "/" + kEntryName);
    userEntry = entry.found;
    if (entry.found) return entry;
    for (const auto& folder : SystemAutostartFolders()) {
        entry = ReadEntry(folder + "/" + kEntryName);
        if (entry.found) return entry;
    }
    return entry;
}

// Exec quoting: the path in double quotes, with ", `, $ and \ escaped, and
// the backslashes doubled again as a string value needs; % doubled for the
// field codes.
std::string ExecValue(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
        if (c == '\\') quoted += "\\\\\\";
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

bool WriteEntry(const std::string& text) {
    std::error_code ec;
    const std::string folder = UserAutostartFolder();
    std::filesystem::create_directories(folder, ec);
    const std::string path = folder + "/" + kEntryName;
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) return false;
        out << text;
        out.close();
        if (!out) {
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
}

}  // namespace

std::string PosixSystem::ProgramPath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

LoginStart PosixSystem::GetLoginStart() {
    bool userEntry = false;
    Entry entry = EntryInForce(userEntry);
    if (!entry.found || entry.hidden) return LoginStart::None;
    return entry.program == ProgramPath() ? LoginStart::ThisProgram : LoginStart::OtherCopy;
}

bool PosixSystem::SetLoginStart(bool start) {
    if (start) {
        const std::string program = ProgramPath();
        if (program.empty()) return false;
        return WriteEntry(
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Quillmere\n"
            "Comment=Changes the desktop wallpaper from a folder of pictures\n"
            "Exec=" + ExecValue(program) + "\n"
            "Icon=quillmere\n"
            "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n");
    }
    // Off: no user entry, or, where a system entry would still start the
    // program, a user entry that hides it.
    bool systemEntry = false;
    for (const auto& folder : SystemAutostartFolders()) {
        Entry entry = ReadEntry(folder + "/" + kEntryName);
        if (entry.found && !entry.hidden) systemEntry = true;
    }
    if (systemEntry) {
        return WriteEntry("[Desktop Entry]\nType=Application\nName=Quillmere\nHidden=true\n");
    }
    std::error_code ec;
    std::filesystem::remove(UserAutostartFolder() + "/" + kEntryName, ec);
    return !ec;
}

}  // namespace qm
