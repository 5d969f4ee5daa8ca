#include "tests/desktops/session_tools.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>

#include "tests/support/test_images.h"

namespace qm::test {

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

}  // namespace qm::test
