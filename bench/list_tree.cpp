// list-tree ROOT [RUNS]: the image list of a tree of 100,000 pictures in
// 10,000 folders (10 x 10 x 100 folders, 10 files each; made under ROOT on
// the first run), built with "Include subfolders" through the POSIX folder
// search, RUNS times (default 5); prints each time and the median.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/main_frame.h"
#include "platform/headless/headless_platform.h"

namespace fs = std::filesystem;

namespace {

void MakeTree(const fs::path& root) {
    const char* endings[] = {".jpg", ".png", ".webp", ".bmp", ".JPEG"};
    int file = 0;
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 10; ++b) {
            for (int c = 0; c < 100; ++c) {
                const fs::path folder = root / ("year " + std::to_string(2000 + a)) /
                                        ("trip " + std::to_string(b)) / ("day " + std::to_string(c));
                fs::create_directories(folder);
                for (int f = 0; f < 10; ++f, ++file) {
                    std::ofstream(folder / ("picture " + std::to_string(f) + endings[file % 5]));
                }
            }
        }
    }
    std::ofstream(root / ".complete");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: list-tree ROOT [RUNS]\n");
        return 2;
    }
    const fs::path root = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (!fs::exists(root / ".complete")) {
        fs::remove_all(root);
        MakeTree(root);
    }
    qm::ScopedHeadless headless;
    qm::CMainFrame frame;
    frame.Directory = root.string();
    frame.Subfolders = 1;
    // Wall time, and the processor time of the process (user and system):
    // on a busy machine the two part.
    std::vector<double> times, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        frame.BuildImageList();
        cpu.push_back(double(std::clock() - c0) / CLOCKS_PER_SEC);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        std::printf("run %d: %d pictures in %.3f s (processor %.3f s)\n", i + 1, frame.m_LastIndex + 1,
                    times.back(), cpu.back());
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("list-tree: %d pictures in 10,000 folders, median %.3f s, processor %.3f s (goal < 2 s)\n",
                frame.m_LastIndex + 1, times[times.size() / 2], cpu[cpu.size() / 2]);
    return frame.m_LastIndex + 1 == 100000 ? 0 : 1;
}
