// The Qt tests' main: a QApplication (offscreen unless told otherwise) and
// a configuration folder of their own, so no test reaches the user's.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    std::string folder = (std::filesystem::temp_directory_path() / "qm-qt-tests-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        return 2;
    }
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // No session bus: nothing here may reach the user's session.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    int code = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        code = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(folder);
    return code;
}
