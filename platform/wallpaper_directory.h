// Where the wallpaper file may be written: the one rule every backend
// follows, so that the headless tests exercise the same choice the Windows
// program makes.
#pragma once

#include <functional>
#include <string>

namespace qm {

// The program's own folder inside the user's local application data.
inline constexpr const char* kOwnDataFolderName = "Quillmere";
// The file a backend makes, and removes, to learn whether a folder takes
// files.
inline constexpr const char* kWriteProbeName = "Quillmere write probe.tmp";

// The Windows directory when canWrite says the user may create files in
// it (Windows before Vista, the per-user Windows directory of a terminal
// session). Otherwise the program's own folder, which makeOwnFolder makes
// when missing ("" when it cannot be had). When neither can be written, the
// Windows directory: saving fails there with the usual message.
std::string ChooseWallpaperDirectory(const std::string& windowsDirectory,
                                     const std::function<bool(const std::string&)>& canWrite,
                                     const std::function<std::string()>& makeOwnFolder);

}  // namespace qm
