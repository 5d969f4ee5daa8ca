#include "platform/wallpaper_directory.h"

namespace qm {

std::string ChooseWallpaperDirectory(const std::string& windowsDirectory,
                                     const std::function<bool(const std::string&)>& canWrite,
                                     const std::function<std::string()>& makeOwnFolder) {
    if (!windowsDirectory.empty() && canWrite(windowsDirectory)) {
        return windowsDirectory;
    }
    // A standard user on Vista and later: the shared Windows directory is
    // closed, and a write there would fail or land in a private copy that
    // the desktop never reads.
    const std::string own = makeOwnFolder();
    if (!own.empty() && canWrite(own)) {
        return own;
    }
    return windowsDirectory;
}

}  // namespace qm
