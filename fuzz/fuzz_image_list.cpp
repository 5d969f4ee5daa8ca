// BuildImageList over folders of arbitrary names (length, bytes, case,
// multibyte sequences), served by the headless directory listing, with
// files appearing or the folder vanishing between the passes; then a few
// changes over the result.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "frame/main_frame.h"
#include "fuzz/fuzz_support.h"

namespace {

bool EndsWithNoCase(const std::string& name, const std::string& ext) {
    if (name.size() < ext.size()) {
        return false;
    }
    for (std::size_t i = 0; i < ext.size(); ++i) {
        char c = name[name.size() - ext.size() + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != ext[i]) {
            return false;
        }
    }
    return true;
}

// The endings the list takes, each searched as "*" + ending.
constexpr const char* kEndings[] = {".bmp", ".jpg", ".jpeg", ".png", ".webp"};

bool IsPicture(const std::string& name) {
    return std::any_of(std::begin(kEndings), std::end(kEndings),
                       [&](const char* e) { return EndsWithNoCase(name, e); });
}

std::string MakeName(FuzzedDataProvider& in) {
    static const char* const kTails[] = {".bmp", ".jpg",  ".BMP", ".Jpg",  ".jpeg", ".bmpx",
                                         ".gif", "bmp",   ".jpe", "",      ".jPg",  ".bitmap",
                                         ".png", ".WebP", ".PNG", ".webpx", "webp", ".JPEG"};
    std::string name = in.ConsumeRandomLengthString(300);
    if (in.ConsumeBool()) {
        name += kTails[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kTails) - 1)];
    }
    if (in.ConsumeBool()) {
        name += "\x82\xa0";  // a double-byte character in the ANSI code pages of the East
    }
    std::erase(name, '\0');  // no file system stores these
    return name.empty() ? std::string("x") : name;
}

std::vector<qm::FindEntry> MakeEntries(FuzzedDataProvider& in, std::size_t most) {
    std::vector<qm::FindEntry> entries(in.ConsumeIntegralInRange<std::size_t>(0, most));
    for (auto& e : entries) {
        e.isDirectory = in.ConsumeIntegralInRange<int>(0, 7) == 0;
        e.name = MakeName(in);
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    FuzzedDataProvider in(data, size);
    ScopedHeadless headless;
    HeadlessPlatform& platform = headless.platform;
    platform.windowsDirectory = fuzz::ScratchDir();
    CMainFrame frame;
    frame.Directory = in.ConsumeRandomLengthString(300);
    std::erase(frame.Directory, '\0');
    frame.Random = in.ConsumeBool() ? 1 : 0;
    frame.Display = in.ConsumeIntegralInRange<int>(0, 2);
    const std::string folder = frame.Directory.empty() ? "/" : frame.Directory;

    const std::vector<FindEntry> entries = MakeEntries(in, 40);
    const std::vector<FindEntry> late = MakeEntries(in, 6);
    const int betweenPasses = in.ConsumeIntegralInRange<int>(0, 2);  // none, files appear, folder goes
    platform.listings[folder] = entries;
    platform.beforeFind = [&](const std::string& pattern) {
        if (!pattern.ends_with("*.*") || betweenPasses == 0) {
            return true;
        }
        if (betweenPasses == 2) {
            return false;
        }
        auto& listed = platform.listings[folder];
        listed.insert(listed.end(), late.begin(), late.end());
        return true;
    };

    // A list from before: a rebuild that finds nothing keeps its entries.
    frame.m_ImageList = {"old-a.bmp", "old-b.bmp"};
    frame.m_CurrentIndex = 1;

    const int result = frame.BuildImageList();

    // Each ending is counted only when its search pattern fits the path.
    int count = 0;
    std::vector<std::string> wanted;
    for (const FindEntry& e : entries) {
        if (e.isDirectory) {
            continue;
        }
        for (const char* ending : kEndings) {
            const bool fits = frame.Directory.size() + 2 + std::strlen(ending) < kMaxPath;
            count += fits && EndsWithNoCase(e.name, ending) ? 1 : 0;
        }
        if (IsPicture(e.name)) {
            wanted.push_back(frame.Directory + "/" + e.name);
        }
    }
    if (count == 0) {
        if (result != 0 || frame.m_LastIndex != -1 || frame.m_ImageList.size() != 2 ||
            frame.m_CurrentIndex != 1) {
            fuzz::Fail("a rebuild without candidates disturbed the old list");
        }
        return 0;
    }
    if (frame.m_ImageList.size() != static_cast<std::size_t>(count)) {
        fuzz::Fail("array not sized to the count");
    }
    if (betweenPasses == 2 || frame.Directory.size() + 1 + 3 >= kMaxPath) {
        if (result != 0 || frame.m_LastIndex != -1) {
            fuzz::Fail("a failed collecting pass left a list");
        }
        for (const std::string& e : frame.m_ImageList) {
            if (!e.empty()) {
                fuzz::Fail("a failed collecting pass stored an entry");
            }
        }
        return 0;
    }
    if (betweenPasses == 1) {
        for (const FindEntry& e : late) {
            if (!e.isDirectory && IsPicture(e.name)) {
                wanted.push_back(frame.Directory + "/" + e.name);
            }
        }
    }
    if (wanted.size() > static_cast<std::size_t>(count)) {
        wanted.resize(static_cast<std::size_t>(count));
    }
    if (result != 1 || frame.m_LastIndex + 1 != static_cast<std::int32_t>(wanted.size())) {
        fuzz::Fail("wrong number of entries");
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (frame.m_ImageList[i] != wanted[i]) {
            fuzz::Fail("entry differs", frame.m_ImageList[i]);
        }
    }
    if (frame.m_CurrentIndex != (frame.Random ? frame.m_LastIndex : -1)) {
        fuzz::Fail("wrong current index after the rebuild");
    }

    // A few changes: the indices stay inside the list, and only entries of
    // the list (BMPs as they are) reach the desktop.
    const int changes = in.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < changes; ++i) {
        const bool previous = in.ConsumeBool();
        const int r = frame.ChangeWallpaper(previous ? 1 : 0);
        if (r != (frame.m_LastIndex >= 0 ? 1 : 0)) {
            fuzz::Fail("wrong change result");
        }
        if (frame.m_LastIndex >= 0 &&
            (frame.m_CurrentIndex < 0 || frame.m_CurrentIndex > frame.m_LastIndex ||
             frame.m_PreviousIndex < 0 || frame.m_PreviousIndex > frame.m_LastIndex)) {
            fuzz::Fail("index outside the list");
        }
    }
    for (const std::string& call : platform.wallpaperCalls) {
        bool fromList = false;
        for (std::int32_t i = 0; i <= frame.m_LastIndex; ++i) {
            fromList = fromList || call == frame.m_ImageList[static_cast<std::size_t>(i)];
        }
        if (!fromList || call.size() > 255) {
            fuzz::Fail("the desktop got a path that is not a BMP entry", call);
        }
    }
    return 0;
}
