#include "tests/desktops/session_tools.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>

#include "tests/support/test_images.h"

namespace qm::test {

int ServicePid(const char* name) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (bus == nullptr) {
        return 0;
    }
    const QDBusReply<uint> pid = bus->servicePid(QString::fromLatin1(name));
    return pid.isValid() ? static_cast<int>(pid.value()) : 0;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

bool ApplyAndWait(desktops::WallpaperDesktop& desktop, const std::string& path,
                  desktops::Layout layout, std::string& why) {
    std::optional<bool> shown;
    desktop.Apply(path, layout, [&](bool ok, const std::string& words) {
        shown = ok;
        why = words;
    });
    // The answer never comes inside Apply, and always comes within the
    // desktop's time to answer.
    if (shown) {
        why = "answered inside Apply";
        return false;
    }
    if (!WaitUntil([&] { return shown.has_value(); }, 30000)) {
        why = "no answer";
        return false;
    }
    return *shown;
}

std::string RunProgram(const std::vector<std::string>& argv, int* status) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string out;
    std::array<char, 4096> buf;
    ssize_t n;
    while ((n = read(pipeFds[0], buf.data(), buf.size())) > 0) {
        out.append(buf.data(), static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (status != nullptr) {
        *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    }
    if (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

std::string Bmp(int width, int height, const std::function<std::uint32_t(int x, int y)>& pixel) {
    std::string bytes = BmpHeader(width, height);
    const int pad = (4 - width * 3 % 4) % 4;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t rgb = pixel(x, y);
            bytes += static_cast<char>(rgb & 0xff);
            bytes += static_cast<char>((rgb >> 8) & 0xff);
            bytes += static_cast<char>((rgb >> 16) & 0xff);
        }
        bytes.append(static_cast<std::size_t>(pad), '\0');
    }
    return bytes;
}

std::uint32_t Quadrant(int x, int y) {
    static const std::uint32_t colours[4] = {0xd02020, 0x20a040, 0x2040d0, 0xe0c020};
    return colours[(x < 20 ? 0 : 1) + (y < 15 ? 0 : 2)];
}

std::uint32_t Banded(int x, int y) {
    static const std::uint32_t colours[8] = {0xc02020, 0x20c020, 0x2020c0, 0xc0c020,
                                             0xc020c0, 0x20c0c0, 0x808080, 0xf08000};
    return colours[std::clamp(x / 10, 0, 3) + (y < 10 ? 0 : 4)];
}

std::string PictureFor(desktops::Layout layout) {
    if (layout == desktops::Layout::Spanned) {
        // Made for the whole 320x240 screen, as a composed picture is.
        return Bmp(320, 240, [](int x, int y) { return Quadrant(x % 40, y % 30); });
    }
    return layout == desktops::Layout::Filled || layout == desktops::Layout::Fitted
               ? Bmp(40, 20, Banded)
               : Bmp(40, 30, Quadrant);
}

std::string WrongPixels(const QImage& screen, desktops::Layout layout) {
    if (screen.size() != QSize(320, 240)) {
        return "no 320x240 screen";
    }
    using Place = std::pair<int, int>;
    std::vector<Place> places;
    std::function<std::uint32_t(int, int)> expected;
    switch (layout) {
        case desktops::Layout::Centred:
            places = {{140, 105}, {159, 119}, {160, 120}, {179, 134}};
            expected = [](int x, int y) { return Quadrant(x - 140, y - 105); };
            break;
        case desktops::Layout::Tiled:
        case desktops::Layout::Spanned:  // made for the screen: from its top left on
            places = {{0, 0}, {39, 29}, {45, 20}, {300, 230}, {319, 239}};
            expected = [](int x, int y) { return Quadrant(x % 40, y % 30); };
            break;
        case desktops::Layout::Stretched:
            places = {{8, 8}, {311, 8}, {8, 231}, {311, 231}, {100, 50}};
            expected = [](int x, int y) { return Quadrant(x / 8, y / 8); };
            break;
        case desktops::Layout::Filled:
            // 12 times, 480 wide: 80 columns cut off on either side.
            places = {{10, 60}, {70, 60}, {250, 180}, {310, 180}};
            expected = [](int x, int y) { return Banded((x + 80) / 12, y / 12); };
            break;
        case desktops::Layout::Fitted:
            // 8 times, 160 high: bars of 40 rows above and below.
            places = {{20, 70}, {100, 170}, {220, 70}, {300, 170}};
            expected = [](int x, int y) { return Banded(x / 8, (y - 40) / 8); };
            for (auto [x, y] : {Place{160, 15}, Place{160, 225}, Place{5, 5}, Place{314, 234}}) {
                const std::uint32_t got = screen.pixel(x, y) & 0xffffffu;
                for (int i = 0; i < 8; ++i) {
                    if (got == Banded(i % 4 * 10, i / 4 * 10)) {
                        return "the picture in the bar at " + std::to_string(x) + "," +
                               std::to_string(y);
                    }
                }
            }
            break;
    }
    std::string wrong;
    for (auto [x, y] : places) {
        const std::uint32_t got = screen.pixel(x, y) & 0xffffffu;
        if (got != expected(x, y)) {
            wrong += std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(got) +
                     " for " + std::to_string(expected(x, y)) + "; ";
        }
    }
    return wrong;
}

}  // namespace qm::test
