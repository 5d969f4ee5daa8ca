#include "imaging/side_by_side.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "imaging/jpeg_decode.h"
#include "platform/platform.h"

namespace qm {

namespace {

// What a job on a worker thread has to tell the user, held for the thread
// that started it: the boxes, in order. Nothing else of the shell is asked
// for by a decode; the rest does nothing.
class HeldBoxes final : public ShellServices {
public:
    int AppMessageBox(const std::string& text, BoxIcon icon) override {
        boxes_.push_back({true, false, text, {}, icon});
        return 0;
    }
    int MessageBox(bool ownerIsActiveWindow, const std::string& text, const std::string& caption,
                   BoxIcon icon) override {
        boxes_.push_back({false, ownerIsActiveWindow, text, caption, icon});
        return 0;
    }
    std::string LoadString(unsigned) override { return {}; }
    bool FindTopLevelWindow(const char*) override { return false; }
    bool ClaimSingleInstance(const char*) override { return false; }
    bool CreateFrameWindow(const std::string&, FrameEvents&) override { return false; }
    void HideFrameWindow() override {}
    void CloseFrameWindow() override {}
    int RunMessageLoop() override { return 0; }
    void SetTimer(unsigned, std::uint32_t) override {}
    void KillTimer(unsigned) override {}
    void AddTrayIcon(const TrayIconData&) override {}
    void DeleteTrayIcon(const TrayIconData&) override {}
    bool TrackPopupMenu(unsigned) override { return false; }
    int RunModalDialog(unsigned, DialogEvents&) override { return 0; }

    // Shows the held boxes through the program's own shell.
    void Tell(ShellServices& shell) const {
        for (const Box& box : boxes_) {
            if (box.app) {
                shell.AppMessageBox(box.text, box.icon);
            } else {
                shell.MessageBox(box.owner, box.text, box.caption, box.icon);
            }
        }
    }

private:
    struct Box {
        bool app, owner;
        std::string text, caption;
        BoxIcon icon;
    };
    std::vector<Box> boxes_;
};

}  // namespace

void RunSideBySide(std::size_t count, bool together, const std::function<void(std::size_t)>& job) {
    if (!together || count < 2) {
        for (std::size_t i = 0; i < count; ++i) {
            job(i);
        }
        return;
    }
    const std::size_t threads = std::min<std::size_t>(count, std::max(2u, std::thread::hardware_concurrency()));
    // 64 bits of address space hold every decode at the whole cap.
    const std::size_t shares = sizeof(void*) < 8 ? threads : 1;
    Platform& platform = CurrentPlatform();
    std::vector<HeldBoxes> held(count);
    std::vector<char> again(count, 0);  // refused for memory under a share
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            Platform own{platform.profile, platform.system, platform.desktop, held[i]};
            const ThreadPlatform here(own);
            const jpeg::CapShare share(shares);
            try {
                job(i);
            } catch (const std::bad_alloc&) {
                jpeg::ReportOutOfMemory();
            }
            again[i] = share.Refused() ? 1 : 0;
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t k = 1; k < threads; ++k) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: this one does the rest
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (again[i] != 0) {
            job(i);  // alone, with the whole cap; it tells the user itself
        } else {
            held[i].Tell(platform.shell);
        }
    }
}

}  // namespace qm
