#pragma once

#include <filesystem>
#include <string>

namespace qm::test {

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    // Full path of a file inside, as a string.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes to a file inside and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);

}  // namespace qm::test
