// LoadSettings (and the SaveSettings that follows it) over a profile whose
// eleven values are missing, numbers, strings or raw bytes of any length.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/main_frame.h"
#include "fuzz/fuzz_support.h"

namespace {

using qm::HeadlessPlatform;

constexpr const char* kNames[] = {"Directory", "AutoChange", "Display", "Height", "Width",
                                  "Random",    "Stretch",    "Time",    "When",   "Subfolders",
                                  "EachMonitor"};
constexpr int kCount = 11;
constexpr int kDefaults[] = {0, 1, 2, 301, 301, 0, 1, 20, 0, 0, 0};

std::int32_t* Field(qm::CMainFrame& f, int i) {
    std::int32_t* fields[] = {nullptr,   &f.AutoChange, &f.Display, &f.Height, &f.Width,
                              &f.Random, &f.Stretch,    &f.Time,    &f.When,   &f.Subfolders,
                              &f.EachMonitor};
    return fields[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    FuzzedDataProvider in(data, size);
    ScopedHeadless headless;
    HeadlessPlatform& platform = headless.platform;
    platform.currentDirectory = in.ConsumeRandomLengthString(300);
    auto& section = platform.profile["Config"];
    for (const char* name : kNames) {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                break;
            case 1:
                section[name] = in.ConsumeIntegral<std::uint32_t>();
                break;
            case 2:
                section[name] = in.ConsumeRandomLengthString(600);
                break;
            default:
                section[name] = HeadlessPlatform::Binary{in.ConsumeBytes<std::uint8_t>(
                    in.ConsumeIntegralInRange<std::size_t>(0, 16))};
                break;
        }
    }
    const auto stored = section;  // as found, before the constructor saves

    CMainFrame frame;

    // Stored numbers are taken as they are; anything else is the default.
    for (int i = 1; i < kCount; ++i) {
        auto it = stored.find(kNames[i]);
        const std::uint32_t* n = it == stored.end() ? nullptr : std::get_if<std::uint32_t>(&it->second);
        const std::int32_t want = n ? static_cast<std::int32_t>(*n) : kDefaults[i];
        if (*Field(frame, i) != want) {
            fuzz::Fail("number field not as stored", kNames[i]);
        }
    }
    auto dir = stored.find("Directory");
    const std::string* s = dir == stored.end() ? nullptr : std::get_if<std::string>(&dir->second);
    if (frame.Directory != (s ? *s : platform.currentDirectory)) {
        fuzz::Fail("Directory not as stored");
    }

    // The constructor wrote all eleven back with their proper types, in order.
    const std::vector<std::string> order = {"AutoChange", "Stretch", "Display",   "Height",
                                            "Width",      "When",    "Random",    "Time",
                                            "Directory",  "Subfolders", "EachMonitor"};
    if (platform.profileWrites != order) {
        fuzz::Fail("writes out of order");
    }
    for (int i = 0; i < kCount; ++i) {
        const auto& v = platform.profile["Config"].at(kNames[i]);
        if (i == 0 ? !std::holds_alternative<std::string>(v) : !std::holds_alternative<std::uint32_t>(v)) {
            fuzz::Fail("saved value of the wrong type", kNames[i]);
        }
    }
    // And what was saved loads back exactly.
    CMainFrame again;
    for (int i = 1; i < kCount; ++i) {
        if (*Field(again, i) != *Field(frame, i)) {
            fuzz::Fail("record did not survive a save and load", kNames[i]);
        }
    }
    if (again.Directory != frame.Directory) {
        fuzz::Fail("Directory did not survive a save and load");
    }
    if (!platform.boxes.empty()) {
        fuzz::Fail("loading settings showed a box");
    }
    return 0;
}
