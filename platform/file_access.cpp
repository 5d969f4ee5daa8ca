#include "platform/file_access.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm {

bool SeekTo(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

#ifdef _WIN32

std::FILE* OpenFileToRead(const std::string& path) {
    // A folder's search lists no pipes or devices here.
    return std::fopen(path.c_str(), "rb");
}

std::FILE* CreateNewFile(const std::string& path) {
    // DeleteFile removes a link itself, not what it points to; CREATE_NEW
    // then fails if anything took the name meanwhile.
    DeleteFileA(path.c_str());
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
    }
    return file;
}

#else

std::FILE* OpenFileToRead(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; what is opened is then checked before it is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* file = flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1
                          ? nullptr
                          : ::fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

std::FILE* CreateNewFile(const std::string& path) {
    // unlink removes a planted link itself; O_EXCL and O_NOFOLLOW then
    // refuse anything that took the name since, a link above all.
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

#endif

}  // namespace qm
