// Damaged, disguised and unusual picture files, made here at test time:
// whatever they hold, the conversion ends (no crash, no hang, no leak under
// the sanitizer build), tells the user in the boxes the program has, and a
// failed conversion leaves the previous wallpaper file exactly as it was.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "frame/main_frame.h"
#include "imaging/jpeg_file.h"
#include "imaging/wallpaper_bmp.h"
#include "platform/headless/headless_platform.h"
#include "tests/support/jpeg_variants.h"
#include "tests/support/picture_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm {
namespace {

using Box = HeadlessPlatform::Box;
using test::JpegKind;

const std::string kOldWallpaper = "the previous wallpaper, byte for byte";

std::uint32_t Le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<unsigned char>(s[at + i]);
    }
    return v;
}

struct Outcome {
    std::string result;       // MakeWallpaperBmp's path, "" on failure
    std::vector<Box> boxes;   // every box the conversion showed
    std::string wallpaper;    // the wallpaper file afterwards
    bool fatal = false;       // a "JPEG Fatal Error" box was among them
    bool outOfMemory = false;
    int warnings = 0;
};

class HostileFiles : public ::testing::Test {
protected:
    ScopedHeadless headless;
    test::TempDir dir;
    CMainFrame frame;
    std::string wallpaperPath;

    HeadlessPlatform& platform() { return headless.platform; }

    void SetUp() override {
        std::filesystem::create_directory(dir.path() / "windows");
        platform().windowsDirectory = dir.file("windows");
        wallpaperPath = platform().windowsDirectory + "/" + kWallpaperFileName;
    }

    // One conversion of these bytes, over a fresh copy of the old wallpaper.
    Outcome Convert(const std::string& bytes, const std::string& name = "picture.jpg") {
        dir.write("windows/" + std::string(kWallpaperFileName), kOldWallpaper);
        platform().boxes.clear();
        Outcome o;
        o.result = frame.MakeWallpaperBmp(dir.write(name, bytes));
        o.boxes = platform().boxes;
        o.wallpaper = test::ReadFile(wallpaperPath);
        for (const Box& b : o.boxes) {
            o.fatal = o.fatal || b.caption == "JPEG Fatal Error";
            o.outOfMemory = o.outOfMemory || b.text == "JpegFile :\nOut of memory";
            o.warnings += b.caption == "JPEG Error" ? 1 : 0;
        }
        EXPECT_FALSE(std::filesystem::exists(wallpaperPath + ".tmp"));
        return o;
    }

    // The rules every outcome keeps, whatever the input.
    void ExpectConsistent(const Outcome& o) {
        for (const Box& b : o.boxes) {
            if (b.caption == "JPEG Error") {
                EXPECT_EQ(b.style, BoxIcon::None);
                EXPECT_TRUE(b.ownerIsActiveWindow);
            } else if (b.caption == "JPEG Fatal Error") {
                EXPECT_EQ(b.style, BoxIcon::Error);
                EXPECT_FALSE(b.ownerIsActiveWindow);
            } else {
                EXPECT_EQ(b.caption, "Quillmere");
                EXPECT_EQ(b.text, "JpegFile :\nOut of memory");
                EXPECT_EQ(b.style, BoxIcon::Error);
            }
        }
        EXPECT_LE(o.warnings, 1) << "only the first warning of a decode is shown";
        if (o.fatal) {
            EXPECT_EQ(o.boxes.back().caption, "JPEG Fatal Error") << "nothing follows a fatal error";
        }
        if (o.fatal || o.outOfMemory) {
            EXPECT_EQ(o.result, "");
            EXPECT_EQ(o.wallpaper, kOldWallpaper) << "a failed conversion must keep the old file";
        } else {
            EXPECT_EQ(o.result, wallpaperPath);
            ExpectWholeBmp(o.wallpaper);
        }
    }

    static void ExpectWholeBmp(const std::string& bmp, std::uint32_t width = 0, std::uint32_t height = 0) {
        ASSERT_GE(bmp.size(), 54u);
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        const std::uint32_t w = Le32(bmp, 18), h = Le32(bmp, 22);
        if (width != 0) {
            EXPECT_EQ(w, width);
            EXPECT_EQ(h, height);
        }
        EXPECT_EQ(bmp.size(), 54 + std::uint64_t{(w * 24 + 31) / 32 * 4} * h);
        EXPECT_EQ(Le32(bmp, 2), bmp.size());
    }

    void ExpectFailedWith(const Outcome& o, const std::string& caption, const std::string& text) {
        ExpectConsistent(o);
        EXPECT_EQ(o.result, "");
        ASSERT_FALSE(o.boxes.empty());
        EXPECT_EQ(o.boxes.back().caption, caption);
        EXPECT_EQ(o.boxes.back().text, text);
    }
};

// --- Damaged streams ----------------------------------------------------------

TEST_F(HostileFiles, StreamsCutAtManyPointsEitherFailCleanlyOrGiveTheWholePicture) {
    for (JpegKind kind : {JpegKind::Baseline, JpegKind::Progressive}) {
        const std::string whole = test::EncodeJpeg(test::MakeRgbPattern(48, 32), 48, 32, kind);
        int failed = 0, converted = 0;
        for (std::size_t cut = 0; cut < whole.size(); cut += whole.size() / 60 + 1) {
            SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " cut at " << cut);
            const Outcome o = Convert(whole.substr(0, cut));
            ExpectConsistent(o);
            ASSERT_FALSE(o.boxes.empty()) << "a cut stream always says so";
            if (o.fatal) {
                ++failed;
            } else {
                ++converted;
                ExpectWholeBmp(o.wallpaper, 48, 32);
                ASSERT_EQ(o.boxes.size(), 1u);
                EXPECT_EQ(o.boxes[0].text, "Premature end of JPEG file");
            }
            // The buffer decode agrees about what can be decoded.
            platform().boxes.clear();
            std::uint32_t w = 0, h = 0;
            std::unique_ptr<std::uint8_t[]> pixels(JpegFile::DecodeToRgb(dir.file("picture.jpg"), w, h));
            EXPECT_EQ(pixels == nullptr, o.fatal);
        }
        EXPECT_GT(failed, 0);
        EXPECT_GT(converted, 0);
    }
}

TEST_F(HostileFiles, RandomBitFlipsNeverBreakTheRules) {
    const std::string whole = test::EncodeJpeg(test::MakeRgbPattern(40, 24), 40, 24, JpegKind::Baseline, 80);
    int tried = 0;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const std::string bytes = test::FlipBits(whole, seed, 1 + static_cast<int>(seed % 8));
        // A flip in the frame header can declare a picture of gigabytes,
        // which would be written out in full: not what this test is about.
        if (test::DeclaredPixels(bytes) > (1u << 20)) {
            continue;
        }
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        ExpectConsistent(Convert(bytes));
        ++tried;
    }
    EXPECT_GT(tried, 250);
}

TEST_F(HostileFiles, EmptyAndHeaderOnlyFilesAreFatal) {
    ExpectFailedWith(Convert(""), "JPEG Fatal Error", "Empty input file");

    const std::string whole = test::EncodeJpeg(test::MakeRgbPattern(16, 16), 16, 16);
    const std::size_t sos = whole.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    const Outcome headerOnly = Convert(whole.substr(0, sos));
    ExpectFailedWith(headerOnly, "JPEG Fatal Error", "Invalid JPEG file structure: missing SOS marker");
    ASSERT_EQ(headerOnly.boxes.size(), 2u);
    EXPECT_EQ(headerOnly.boxes[0].text, "Premature end of JPEG file");
}

// --- Sizes ------------------------------------------------------------------------

TEST_F(HostileFiles, DeclaredSizesThatCannotBeHeldAreOutOfMemoryAndThinOnesWork) {
    const Outcome huge = Convert(test::HandMadeJpeg(0xC0, 8, 65500, 65500));
    ExpectFailedWith(huge, "Quillmere", "JpegFile :\nOut of memory");
    EXPECT_EQ(huge.boxes.size(), 1u);

    // One pixel wide and 65500 high: small enough to convert, however
    // little data follows the header.
    const Outcome tall = Convert(test::HandMadeJpeg(0xC0, 8, 1, 65500));
    ExpectConsistent(tall);
    EXPECT_FALSE(tall.fatal);
    ExpectWholeBmp(tall.wallpaper, 1, 65500);
    const Outcome wide = Convert(test::HandMadeJpeg(0xC0, 8, 65500, 1));
    ExpectConsistent(wide);
    ExpectWholeBmp(wide.wallpaper, 65500, 1);

    // The buffer decode refuses the huge one too, before allocating.
    platform().boxes.clear();
    std::uint32_t w = 1, h = 1;
    EXPECT_EQ(JpegFile::DecodeToRgb(dir.write("huge.jpg", test::HandMadeJpeg(0xC0, 8, 65500, 65500)), w, h),
              nullptr);
    EXPECT_EQ(w, 0u);
    ASSERT_EQ(platform().boxes.size(), 1u);
    EXPECT_EQ(platform().boxes[0].text, "JpegFile :\nOut of memory");
}

#ifdef __linux__
// The most this process has been resident since the last call, in KiB: the
// peak is reset each time (/proc/self/clear_refs).
long PeakResidentKbSinceLast() {
    std::ifstream status("/proc/self/status");
    long peak = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            peak = std::stol(line.substr(6));
        }
    }
    std::ofstream("/proc/self/clear_refs") << "5";
    return peak;
}
#endif

// A small progressive file whose frame header claims a huge picture. The
// library buffers every coefficient of a progressive picture at the start
// of the decode, 12.9 GB for this one, before the first line comes out:
// refused before that, at once and with nearly nothing held.
TEST_F(HostileFiles, ProgressiveFilesDeclaringHugePicturesAreRefusedBeforeBuffering) {
    const std::string small =
        test::EncodeJpeg(test::MakeRgbPattern(64, 64), 64, 64, JpegKind::Progressive);
    platform().freeSpace = std::uint64_t{1} << 40;  // room for anything: only the sizes refuse
#ifdef __linux__
    PeakResidentKbSinceLast();
#endif
    // No BMP can hold it.
    const std::string huge = test::WithDeclaredSize(small, 65500, 65500);
    ASSERT_EQ(test::DeclaredPixels(huge), 65500ull * 65500);
    const Outcome o = Convert(huge);
    ExpectFailedWith(o, "Quillmere", "JpegFile :\nOut of memory");
    EXPECT_EQ(o.boxes.size(), 1u);
    // A BMP holds this one (1.2 GB), but its coefficients are more than a
    // decode may hold: the library refuses it, in its own words.
    const Outcome overCap = Convert(test::WithDeclaredSize(small, 20000, 20000));
    ExpectFailedWith(overCap, "JPEG Fatal Error", "Backing store not supported");
    EXPECT_EQ(overCap.boxes.size(), 1u);
    // The whole-picture decode holds its 1.2 GB buffer in the same budget.
    platform().boxes.clear();
    std::uint32_t w = 1, h = 1;
    EXPECT_EQ(JpegFile::DecodeToRgb(dir.write("over.jpg", test::WithDeclaredSize(small, 20000, 20000)), w, h),
              nullptr);
    ASSERT_EQ(platform().boxes.size(), 1u);
    EXPECT_EQ(platform().boxes[0].text, "JpegFile :\nOut of memory");
#ifdef __linux__
    EXPECT_LT(PeakResidentKbSinceLast(), 512 * 1024) << "the refusals came after buffering";
#endif
    // A declared size within the cap still converts, however little data.
    const Outcome tall = Convert(test::WithDeclaredSize(small, 64, 20000));
    ExpectConsistent(tall);
    EXPECT_FALSE(tall.fatal);
    ExpectWholeBmp(tall.wallpaper, 64, 20000);
}

// --- Coding processes -----------------------------------------------------------

TEST_F(HostileFiles, TwelveBitPrecisionIsRefusedByTheLibrary) {
    ExpectFailedWith(Convert(test::HandMadeJpeg(0xC1, 12, 8, 8)), "JPEG Fatal Error",
                     "Unsupported JPEG data precision 12");
}

TEST_F(HostileFiles, ArithmeticCodingAndRestartMarkersGiveTheSamePicture) {
    const std::vector<std::uint8_t> pixels = test::MakeRgbPattern(37, 21, 3);
    std::string plain;
    ASSERT_TRUE(test::EncodeJpegWith(pixels, 37, 21, {}, plain));
    const Outcome reference = Convert(plain);
    ASSERT_EQ(reference.result, wallpaperPath);

    // Entropy coding and restart intervals are lossless layers over the
    // same coefficients: the picture must come out identical.
    std::string restart;
    ASSERT_TRUE(test::EncodeJpegWith(pixels, 37, 21, {1, false, 90}, restart));
    ASSERT_NE(restart.find("\xFF\xD0"), std::string::npos);
    const Outcome withRestarts = Convert(restart);
    EXPECT_TRUE(withRestarts.boxes.empty());
    EXPECT_EQ(withRestarts.wallpaper, reference.wallpaper);

    std::string arithmetic;
    if (test::EncodeJpegWith(pixels, 37, 21, {0, true, 90}, arithmetic)) {
        ASSERT_NE(arithmetic.find("\xFF\xC9"), std::string::npos);
        const Outcome o = Convert(arithmetic);
        EXPECT_TRUE(o.boxes.empty());
        EXPECT_EQ(o.wallpaper, reference.wallpaper);
    } else {
        // A library without arithmetic coding must refuse it cleanly.
        ExpectConsistent(Convert(test::HandMadeJpeg(0xC9, 8, 8, 8)));
    }
    // A hand-made arithmetic header with almost no data: decodes or fails,
    // by the rules.
    ExpectConsistent(Convert(test::HandMadeJpeg(0xC9, 8, 8, 8)));

    // A restart stream cut in its data warns and still fills the picture.
    const std::size_t data = restart.rfind("\xFF\xDA") + 14;  // past the scan header
    const Outcome cut = Convert(restart.substr(0, data + (restart.size() - data) / 2));
    ExpectConsistent(cut);
    EXPECT_FALSE(cut.fatal);
    ExpectWholeBmp(cut.wallpaper, 37, 21);
}

TEST_F(HostileFiles, FourComponentFilesConvertWithoutComplaint) {
    for (JpegKind kind : {JpegKind::Cmyk, JpegKind::Ycck, JpegKind::AdobeInvertedCmyk}) {
        SCOPED_TRACE(int(kind));
        const Outcome o = Convert(test::EncodeJpeg(test::MakeRgbPattern(19, 7), 19, 7, kind));
        EXPECT_TRUE(o.boxes.empty());
        ExpectWholeBmp(o.wallpaper, 19, 7);
    }
}

// Two samples a pixel are no colours the conversion knows: different
// pictures must not all come out as the same black file, nor the whole-
// picture decode hand back lines it never wrote.
TEST_F(HostileFiles, TwoComponentFilesAreRefusedAsAConversionTheLibraryLacks) {
    for (std::uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        const std::string bytes =
            test::EncodeJpeg(test::MakeRgbPattern(24, 16, seed), 24, 16, JpegKind::TwoComponent);
        const Outcome o = Convert(bytes);
        ExpectFailedWith(o, "JPEG Fatal Error", "Unsupported color conversion request");
        EXPECT_EQ(o.boxes.size(), 1u);

        platform().boxes.clear();
        std::uint32_t width = 0, height = 0;
        std::unique_ptr<std::uint8_t[]> rgb(
            JpegFile::DecodeToRgb(dir.write("whole.jpg", bytes), width, height));
        EXPECT_EQ(rgb, nullptr);
        ASSERT_EQ(platform().boxes.size(), 1u);
        EXPECT_EQ(platform().boxes[0].caption, "JPEG Fatal Error");
        EXPECT_EQ(platform().boxes[0].text, "Unsupported color conversion request");
    }
}

TEST_F(HostileFiles, StreamWithOnlyMetadataHasNoImage) {
    ExpectFailedWith(Convert(test::MetadataOnlyJpeg()), "JPEG Fatal Error",
                     "JPEG datastream contains no image");
}

// --- Disguised files ----------------------------------------------------------------

TEST_F(HostileFiles, BmpNamedJpgIsNotAJpegAndKeepsTheOldWallpaper) {
    const std::string bmp = test::BmpHeader(4, 4) + std::string(48, '\x55');
    const Outcome o = Convert(bmp, "disguised.JPG");
    ExpectFailedWith(o, "JPEG Fatal Error", "Not a JPEG file: starts with 0x42 0x4d");

    // Through a change: the index moves, nothing reaches the desktop.
    frame.Display = 0;
    frame.m_ImageList = {dir.file("disguised.JPG")};
    frame.m_LastIndex = 0;
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    EXPECT_EQ(frame.m_CurrentIndex, 0);
    EXPECT_TRUE(platform().wallpaperCalls.empty());
}

TEST_F(HostileFiles, JpegNamedBmpIsMeasuredByItsBytesAndHandedOverAsItIs) {
    const std::string jpeg = test::EncodeJpeg(test::MakeRgbPattern(8, 8), 8, 8);
    const std::string path = dir.write("disguised.bmp", jpeg);
    dir.write("windows/" + std::string(kWallpaperFileName), kOldWallpaper);
    frame.Display = 2;
    frame.m_ImageList = {path};
    frame.m_LastIndex = 0;
    ASSERT_EQ(frame.ChangeWallpaper(0), 1);

    const auto w = static_cast<std::int32_t>(Le32(jpeg, 18));
    const auto h = static_cast<std::int32_t>(Le32(jpeg, 22));
    EXPECT_EQ(platform().DesktopString("TileWallpaper"), (301 > w || 301 > h) ? "1" : "0");
    ASSERT_EQ(platform().wallpaperCalls.size(), 1u);
    EXPECT_EQ(platform().wallpaperCalls[0], path);
    EXPECT_TRUE(platform().boxes.empty()) << "a BMP is never decoded";
    EXPECT_EQ(test::ReadFile(wallpaperPath), kOldWallpaper);
}

// --- What lies at the names ---------------------------------------------------------

// The temporary is made anew: one a crash left behind is replaced, not
// refused (a planted link: Faults.ALinkAtTheTemporarysNameIsNotWrittenThrough).
TEST_F(HostileFiles, AStaleTemporaryIsReplaced) {
    const std::string jpeg = test::EncodeJpeg(test::MakeRgbPattern(8, 8), 8, 8);
    dir.write("windows/" + std::string(kWallpaperFileName) + ".tmp", "stale, from a crash");
    const Outcome stale = Convert(jpeg);
    EXPECT_EQ(stale.result, wallpaperPath);
    ExpectWholeBmp(stale.wallpaper, 8, 8);
}

#ifndef _WIN32
// FIFOs named as pictures: opening one to read would wait for a writer
// that never comes, with the program's one thread. They are not listed,
// and a reader handed one refuses it at once.
TEST_F(HostileFiles, AFifoNamedAsAPictureIsNeitherListedNorWaitedFor) {
    std::filesystem::create_directory(dir.path() / "pics");
    const std::string picture = dir.write("pics/a.bmp", test::BmpHeader(4, 4) + std::string(48, 'x'));
    const std::string fifoBmp = dir.file("pics/x.bmp"), fifoJpg = dir.file("pics/y.jpg");
    ASSERT_EQ(::mkfifo(fifoBmp.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(fifoJpg.c_str(), 0600), 0);
    // A reader waiting on either is let go (its writing end opens only
    // while one waits), and that is noted: the test ends either way.
    std::atomic<bool> waitedOn{false}, over{false};
    std::thread release([&] {
        while (!over) {
            for (const std::string& fifo : {fifoBmp, fifoJpg}) {
                if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                    waitedOn = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    frame.Directory = dir.file("pics");
    EXPECT_EQ(frame.BuildImageList(), 1);
    EXPECT_EQ(frame.m_ImageList, std::vector<std::string>{picture});

    dir.write("windows/" + std::string(kWallpaperFileName), kOldWallpaper);
    EXPECT_EQ(frame.MakeWallpaperBmp(fifoJpg), "");
    ASSERT_FALSE(platform().boxes.empty());
    EXPECT_EQ(platform().boxes.back().text, "JPEG :\nCan't open " + fifoJpg + "\n");
    // Auto-Tile measures a BMP by its header: none to be had, centred.
    frame.Display = 2;
    frame.m_ImageList = {fifoBmp};
    frame.m_LastIndex = 0;
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    EXPECT_EQ(platform().DesktopString("TileWallpaper"), "0");
    over = true;
    release.join();
    EXPECT_FALSE(waitedOn) << "a reader waited on a FIFO";
}
#endif

TEST_F(HostileFiles, ShortAndOddBmpHeadersGiveASafeLayout) {
    struct Case {
        std::string bytes;
        const char* tile;
    };
    const std::string header = test::BmpHeader(640, 480);
    const Case cases[] = {
        {"", "0"},                      // no size known: centred
        {"B", "0"},
        {header.substr(0, 25), "0"},
        {header.substr(0, 26), "0"},    // exactly the size fields: 640 x 480
        {test::BmpHeader(0, 0), "1"},   // zero sizes are below any threshold
        {test::BmpHeader(640, -480), "1"},
        {test::BmpHeader(-640, 480), "1"},
        {test::BmpHeader(INT32_MIN, INT32_MIN), "1"},
        {test::BmpHeader(INT32_MAX, INT32_MAX), "0"},
    };
    frame.Display = 2;
    frame.m_LastIndex = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes.size() << " bytes");
        platform().desktop.clear();
        platform().wallpaperCalls.clear();
        frame.m_ImageList = {dir.write("odd.bmp", c.bytes)};
        frame.m_CurrentIndex = -1;
        ASSERT_EQ(frame.ChangeWallpaper(0), 1);
        EXPECT_EQ(platform().DesktopString("TileWallpaper"), c.tile);
        EXPECT_EQ(platform().DesktopString("WallpaperStyle"), "2");
        EXPECT_EQ(platform().wallpaperCalls.size(), 1u);
    }
    EXPECT_TRUE(platform().boxes.empty());
}

// --- PNG and WebP -------------------------------------------------------------------

// A small PNG whose picture data is the given zlib stream.
std::string PngWithData(std::uint32_t width, std::uint32_t height, const std::string& idat,
                        const std::string& beforeData = "", bool interlaced = false) {
    return test::PngHead(width, height, 8, 2, interlaced) + beforeData + test::PngChunk("IDAT", idat) +
           test::PngChunk("IEND", "");
}

// Each damaged or hostile file ends in its library's box (or the box for a
// picture too big to hold) and leaves the old wallpaper as it was, or, for
// a bomb whose picture itself is whole, converts; the next picture of the
// rotation is shown all the same. None buffers what it declares: the peak
// memory of the whole table stays far below any of the sizes declared.
TEST_F(HostileFiles, DamagedAndHostilePngAndWebpFilesAreRefusedInTheirLibrarysWords) {
    const std::vector<std::uint8_t> rgb = test::MakeRgbPattern(24, 16, 4);
    const std::string png = test::EncodePng(rgb, 24, 16, false);
    const std::size_t iend = png.find("IEND") - 4;  // the IDAT's CRC ends here
    std::string badCrc = png;
    badCrc[iend - 1] = static_cast<char>(badCrc[iend - 1] ^ 0x10);
    const std::string unknownCritical =
        png.substr(0, 33) + test::PngChunk("QuIL", "data") + png.substr(33);
    // Half a gigabyte of zeros for a 24 x 16 picture, whose lines need 1,168
    // bytes; and the same behind a compressed text chunk.
    const std::string zeros = test::DeflatedZeros(std::uint64_t{512} << 20);
    const std::string textBomb = test::PngChunk("zTXt", std::string("Comment\0\0", 9) + zeros);
    const std::string webp = test::EncodeWebp(rgb, 24, 16, false, false);
    std::string vp8xHuge = std::string("RIFF") + std::string(4, '\0') + "WEBPVP8X" +
                           std::string("\x0a\0\0\0\0\0\0\0", 8);
    for (std::uint32_t side : {99999u, 99999u}) {  // canvas - 1, 24 bits each
        vp8xHuge += std::string{static_cast<char>(side), static_cast<char>(side >> 8),
                                static_cast<char>(side >> 16)};
    }
    vp8xHuge += webp.substr(12);
    const std::string riffSize = {static_cast<char>(vp8xHuge.size() - 8), static_cast<char>((vp8xHuge.size() - 8) >> 8),
                                  '\0', '\0'};
    vp8xHuge.replace(4, 4, riffSize);
    const std::string webpBits = test::FlipBits(webp, 7, 40);

    struct Case {
        const char* name;
        std::string bytes;
        const char* caption;  // "" when the picture converts
        const char* text;
    };
    const Case cases[] = {
        {"cut.png", png.substr(0, png.size() - 30), "PNG Error", nullptr},
        {"cut-in-header.png", png.substr(0, 20), "PNG Error", nullptr},
        {"bad-crc.png", badCrc, "PNG Error", "IDAT: CRC error"},
        {"unknown-critical.png", unknownCritical, "PNG Error", "QuIL: unhandled critical chunk"},
        {"not-a.png", test::EncodeJpeg(rgb, 24, 16), "PNG Error", "Not a PNG file"},
        {"empty.png", "", "PNG Error", nullptr},
        {"100000x100000.png", PngWithData(100000, 100000, ""), "PNG Error",
         "Image width exceeds user limit in IHDR\nImage height exceeds user limit in IHDR\n"
         "Invalid IHDR data"},
        {"65535x65535.png", PngWithData(65535, 65535, ""), "Quillmere", "PngFile :\nOut of memory"},
        {"interlaced-20000x20000.png", PngWithData(20000, 20000, "", "", true), "Quillmere",
         "PngFile :\nOut of memory"},
        {"bomb.png", PngWithData(24, 16, zeros), "", nullptr},
        {"text-bomb.png", png.substr(0, 33) + textBomb + png.substr(33), "", nullptr},
        {"cut.webp", webp.substr(0, webp.size() / 2), "WebP Error", nullptr},
        {"empty.webp", "", "WebP Error", "Not enough data: the file is cut short"},
        {"not-a.webp", png, "WebP Error", "Bitstream error: not a WebP file, or a damaged one"},
        {"100000x100000.webp", vp8xHuge, "WebP Error", nullptr},
        {"flipped.webp", webpBits, nullptr, nullptr},  // anything, by the rules
    };
    platform().freeSpace = std::uint64_t{1} << 40;  // only the sizes refuse
#ifdef __linux__
    PeakResidentKbSinceLast();
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = Convert(c.bytes, c.name);
        for (const Box& b : o.boxes) {
            if (b.caption == "Quillmere") {
                EXPECT_EQ(b.style, BoxIcon::Error);
                EXPECT_NE(b.text.find("File :\nOut of memory"), std::string::npos) << b.text;
            } else {
                EXPECT_TRUE(b.caption == "PNG Error" || b.caption == "WebP Error") << b.caption;
                EXPECT_EQ(b.style, BoxIcon::Error);
                EXPECT_FALSE(b.text.empty());
            }
        }
        if (c.caption == nullptr) {
            if (!o.result.empty()) {
                ExpectWholeBmp(o.wallpaper, 24, 16);
            } else {
                EXPECT_EQ(o.wallpaper, kOldWallpaper);
                EXPECT_EQ(o.boxes.size(), 1u);
            }
            continue;
        }
        if (std::string(c.caption).empty()) {
            EXPECT_TRUE(o.boxes.empty());
            EXPECT_EQ(o.result, wallpaperPath);
            ExpectWholeBmp(o.wallpaper, 24, 16);
            continue;
        }
        EXPECT_EQ(o.result, "");
        EXPECT_EQ(o.wallpaper, kOldWallpaper) << "a failed conversion must keep the old file";
        ASSERT_EQ(o.boxes.size(), 1u);
        EXPECT_EQ(o.boxes[0].caption, c.caption);
        if (c.text != nullptr) {
            EXPECT_EQ(o.boxes[0].text, c.text);
        }
    }
#ifdef __linux__
    EXPECT_LT(PeakResidentKbSinceLast(), 256 * 1024) << "a refusal came after buffering";
#endif

    // In the rotation: the damaged picture's box, then the next picture.
    frame.Display = 0;
    frame.m_ImageList = {dir.write("bad.png", badCrc), dir.write("good.webp", webp)};
    frame.m_LastIndex = 1;
    frame.m_CurrentIndex = -1;
    platform().boxes.clear();
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    EXPECT_TRUE(platform().wallpaperCalls.empty());
    ASSERT_EQ(platform().boxes.size(), 1u);
    EXPECT_EQ(platform().boxes[0].caption, "PNG Error");
    EXPECT_EQ(frame.ChangeWallpaper(0), 1);
    EXPECT_EQ(platform().wallpaperCalls, std::vector<std::string>{wallpaperPath});
}

}  // namespace
}  // namespace qm
