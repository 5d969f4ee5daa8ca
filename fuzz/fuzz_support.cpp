#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "imaging/jpeg_decode.h"

namespace qm::fuzz {

namespace {

std::string MakeScratch() {
    // Memory-backed when the machine has it: every input is a file write.
    std::error_code ec;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                      : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "qm-fuzz-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return tmpl;
}

void RemoveScratch() {
    std::error_code ec;
    std::filesystem::remove_all(ScratchDir(), ec);
}

}  // namespace

const std::string& ScratchDir() {
    // Never destroyed: the exit handler that removes the folder runs after
    // static destructors would have.
    static const std::string* dir = [] {
        auto* d = new std::string(MakeScratch());
        std::atexit(RemoveScratch);
        return d;
    }();
    return *dir;
}

std::string WriteScratch(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
        Fail("cannot write scratch file", path);
    }
    return path;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FINDING: %s %s\n", what, detail.c_str());
    std::abort();
}

void UseFuzzingMemoryCap() { jpeg::SetDecodeMemoryCap(kFuzzingMemoryCap); }

bool CheckConversionBoxes(const HeadlessPlatform& platform, int decodes) {
    int warnings = 0;
    bool fatal = false;
    for (const HeadlessPlatform::Box& box : platform.boxes) {
        if (box.caption == "JPEG Error") {
            if (box.style != BoxIcon::None || !box.ownerIsActiveWindow) {
                Fail("warning box with the wrong style", box.text);
            }
            ++warnings;
        } else if (box.caption == "PNG Error" || box.caption == "WebP Error") {
            if (box.style != BoxIcon::Error || box.ownerIsActiveWindow) {
                Fail("library box with the wrong style", box.text);
            }
            fatal = true;
        } else if (box.caption == "JPEG Fatal Error") {
            if (box.style != BoxIcon::Error || box.ownerIsActiveWindow) {
                Fail("fatal box with the wrong style", box.text);
            }
            fatal = true;
        } else if (box.caption == "Quillmere") {
            const bool plain = box.style == BoxIcon::None;
            const bool known =
                ((box.text == "JpegFile :\nOut of memory" || box.text == "PngFile :\nOut of memory" ||
                  box.text == "WebpFile :\nOut of memory") &&
                 box.style == BoxIcon::Error) ||
                (box.text.rfind("PNG :\nCan't open ", 0) == 0 && plain) ||
                (box.text.rfind("WebP :\nCan't open ", 0) == 0 && plain) ||
                (box.text == "Error: Can't save as BMP" && plain) ||
                (box.text == "fwrite error\nGiving up" && plain) ||
                (box.text.rfind("JPEG :\nCan't open ", 0) == 0 && plain);
            if (!known) {
                Fail("unexpected application box", box.text);
            }
        } else {
            Fail("box with an unknown caption", box.caption);
        }
        if (box.text.empty()) {
            Fail("box without text", box.caption);
        }
    }
    if (warnings > decodes) {
        Fail("more than one warning box for one decode");
    }
    return fatal;
}

}  // namespace qm::fuzz
