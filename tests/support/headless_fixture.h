// A test with the headless platform installed and a scratch folder for the
// pictures it makes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/headless/headless_platform.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_images.h"

namespace qm::test {

class HeadlessFixture : public ::testing::Test {
protected:
    ScopedHeadless headless;
    TempDir dir;
    HeadlessPlatform& platform() { return headless.platform; }

    // A JPEG of the test pattern in the scratch folder; its full path.
    std::string Jpeg(const std::string& name, int w, int h) {
        const std::string path = dir.file(name);
        WriteJpeg(path, w, h);
        return path;
    }
};

}  // namespace qm::test
