// Collecting the wallpaper candidates of the folder, and with Subfolders
// set, of every folder under it.
#include <algorithm>
#include <memory>

#include "frame/main_frame.h"
#include "imaging/picture_decode.h"
#include "platform/platform.h"

namespace qm {

namespace {

// The endings the list takes, as search masks.
constexpr const char* kImageMasks[] = {"*.bmp", "*.jpg", "*.jpeg", "*.png", "*.webp"};

// Directory + separator + mask, or false when it would not fit the
// platform's path buffer (MAX_PATH on Windows): a cut pattern would search
// some other folder.
bool FormPattern(const std::string& directory, const char* mask, std::string& pattern) {
    pattern = directory + CurrentPlatform().system.PathSeparator() + mask;
    return pattern.size() < CurrentPlatform().system.MaxPath();
}

int CountFiles(const std::string& directory, const char* mask) {
    std::string pattern;
    if (!FormPattern(directory, mask, pattern)) {
        return 0;
    }
    FindEntry entry;
    auto search = CurrentPlatform().system.FindFirst(pattern.c_str(), entry);
    if (!search) {
        return 0;
    }
    int count = 0;
    do {
        if (!entry.isDirectory) {
            ++count;
        }
    } while (search->FindNext(entry));
    return count;
}

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

// Every picture under `folder`, depth-first, each folder's entries in the
// platform's name order, files and folders alike. Links are never followed:
// no folder outside the tree, and no loop. A folder that cannot be read is
// left out; so is one whose search pattern would not fit MAX_PATH, which
// also bounds the depth.
void CollectTree(const std::string& folder, std::vector<std::string>& out) {
    SystemServices& system = CurrentPlatform().system;
    std::string pattern;
    if (!FormPattern(folder, "*", pattern)) {
        return;
    }
    FindEntry entry;
    auto search = system.FindFirst(pattern.c_str(), entry);
    if (!search) {
        return;
    }
    std::vector<FindEntry> entries;
    do {
        if (entry.isDirectory ? !entry.isLink && !IsDots(entry.name) : picture::IsPictureName(entry.name)) {
            entries.push_back(entry);
        }
    } while (search->FindNext(entry));
    search.reset();  // one open search at a time, however deep
    std::sort(entries.begin(), entries.end(), [&system](const FindEntry& a, const FindEntry& b) {
        return system.CompareNames(a.name.c_str(), b.name.c_str()) < 0;
    });
    const char separator = system.PathSeparator();
    for (const FindEntry& e : entries) {
        if (e.isDirectory) {
            CollectTree(folder + separator + e.name, out);
        } else {
            out.push_back(folder + separator + e.name);
        }
    }
}

}  // namespace

int CMainFrame::BuildImageList() {
    m_LastIndex = -1;

    if (Subfolders != 0) {
        std::vector<std::string> found;
        CollectTree(Directory, found);
        if (found.empty()) {
            return 0;
        }
        m_ImageList = std::move(found);
        m_LastIndex = static_cast<std::int32_t>(std::min<std::size_t>(m_ImageList.size(), INT32_MAX)) - 1;
        m_CurrentIndex = Random != 0 ? m_LastIndex : -1;
        return 1;
    }

    // The platform's pattern matching also sees short 8.3 aliases, so these
    // counts can exceed what the collecting pass keeps.
    int count = 0;
    for (const char* mask : kImageMasks) {
        count += CountFiles(Directory, mask);
    }
    if (count == 0) {
        return 0;
    }
    m_ImageList.assign(static_cast<std::size_t>(count), std::string());

    std::string pattern;
    if (!FormPattern(Directory, "*.*", pattern)) {
        return 0;
    }
    FindEntry entry;
    auto search = CurrentPlatform().system.FindFirst(pattern.c_str(), entry);
    if (!search) {
        return 0;
    }
    const char separator = CurrentPlatform().system.PathSeparator();
    do {
        if (entry.isDirectory || !picture::IsPictureName(entry.name)) {
            continue;
        }
        // Files that appeared after counting find no slot.
        if (m_LastIndex + 1 >= count) {
            continue;
        }
        ++m_LastIndex;
        m_ImageList[static_cast<std::size_t>(m_LastIndex)] = Directory + separator + entry.name;
    } while (search->FindNext(entry));

    // Random mode counts the last image as shown; sequential starts at 0.
    m_CurrentIndex = Random != 0 ? m_LastIndex : -1;
    return 1;
}

}  // namespace qm
