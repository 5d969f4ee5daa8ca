// The long run: many changes over a folder of small pictures, in both
// orders and every display mode, with Previous, re-applies, re-layouts and
// rebuilds mixed in. Shared by bench/long_run.cpp (100,000 changes, memory
// figures) and a short leak test.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/test_images.h"

namespace qm::bench {

struct RunStats {
    long changes = 0;
    long previous = 0;
    long rebuilds = 0;
    long reapplies = 0;
    long relayouts = 0;
    long wallpaperCalls = 0;
    long boxes = 0;         // should stay 0: every picture is good
    long outOfList = 0;     // indices outside the list: should stay 0
};

// Twelve small JPEGs of every kind and six BMPs, in `folder` (which exists).
inline void MakePictureFolder(const std::string& folder) {
    using test::JpegKind;
    const JpegKind kinds[] = {JpegKind::Baseline, JpegKind::Progressive, JpegKind::Gray,
                              JpegKind::Cmyk,     JpegKind::Ycck,        JpegKind::Baseline};
    for (int i = 0; i < 12; ++i) {
        test::WriteJpeg(folder + "/p" + std::to_string(i) + (i % 3 ? ".jpg" : ".JPG"), 24 + i * 7,
                        16 + (i * 5) % 40, kinds[i % 6], 75);
    }
    for (int i = 0; i < 6; ++i) {
        const int w = 8 + i * 100, h = 8 + i * 60;
        std::string bmp = test::BmpHeader(w, h);
        bmp.append(std::size_t((w * 24 + 31) / 32 * 4) * h, '\x40');
        std::ofstream(folder + "/b" + std::to_string(i) + ".bmp", std::ios::binary) << bmp;
    }
}

// `changes` forward or Previous changes. The mode turns every 500 changes
// through sequential/random x center/tile/auto-tile; every 7th change is a
// Previous, every 97th is followed by a re-apply, every 211th by a
// re-layout, every 1,000th by a rebuild. `checkpoint` runs every 1,000.
inline RunStats RunChanges(CMainFrame& frame, HeadlessPlatform& platform, long changes,
                           const std::function<void(long)>& checkpoint = {}) {
    RunStats s;
    frame.BuildImageList();
    for (long i = 1; i <= changes; ++i) {
        const long phase = (i / 500) % 6;
        frame.Random = phase % 2;
        frame.Display = static_cast<std::int32_t>(phase / 2);
        const bool previous = i % 7 == 0;
        frame.ChangeWallpaper(previous ? 1 : 0);
        ++s.changes;
        s.previous += previous ? 1 : 0;
        if (i % 97 == 0) {
            frame.ReapplyWallpaper();
            ++s.reapplies;
        }
        if (i % 211 == 0) {
            (i % 2 ? frame.OnTileCurrent() : frame.OnCenterCurrent());
            ++s.relayouts;
        }
        if (i % 1000 == 0) {
            frame.BuildImageList();
            ++s.rebuilds;
        }
        if (frame.m_CurrentIndex > frame.m_LastIndex || frame.m_PreviousIndex > frame.m_LastIndex) {
            ++s.outOfList;
        }
        // The headless platform's records are the test's, not the
        // program's: drop them so they do not count as growth.
        s.wallpaperCalls += static_cast<long>(platform.wallpaperCalls.size());
        s.boxes += static_cast<long>(platform.boxes.size());
        platform.wallpaperCalls.clear();
        platform.boxes.clear();
        platform.profileWrites.clear();
        if (checkpoint && i % 1000 == 0) {
            checkpoint(i);
        }
    }
    return s;
}

}  // namespace qm::bench
