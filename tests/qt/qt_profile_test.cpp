// The profile file: where it lives, what is written, and what is read from
// values a person or another program left in it.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/qt/qt_profile.h"

namespace qm {
namespace {

void Rewrite(const QString& file, const std::string& text) {
    std::ofstream out(file.toStdString(), std::ios::trunc);
    out << text;
}

TEST(QtProfile, LivesInTheConfigFolderAndReadsAsTheRegistryWould) {
    QtProfileStore profile;
    // Not named yet: nothing kept, defaults read.
    profile.WriteProfileInt("Config", "Time", 5);
    EXPECT_EQ(profile.GetProfileInt("Config", "Time", 20), 20);
    EXPECT_TRUE(profile.FileName().isEmpty());

    profile.SetRegistryKey("Brandle Software", "Quillmere");
    const QString file = profile.FileName();
    EXPECT_EQ(file, qEnvironmentVariable("XDG_CONFIG_HOME") +
                        QStringLiteral("/Brandle Software/Quillmere.conf"));
    profile.WriteProfileInt("Config", "Time", -7);
    profile.WriteProfileString("Config", "Directory", "/home/me/My Pictures, old @work");
    EXPECT_EQ(profile.GetProfileInt("Config", "Time", 20), -7);
    EXPECT_EQ(profile.GetProfileString("Config", "Directory", ""), "/home/me/My Pictures, old @work");
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(written.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Config]\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nTime=-7\n"))) << text.toStdString();

    // Edited by hand: numbers as text, blanks, nonsense, an unquoted comma.
    Rewrite(file,
            "[Config]\nTime= 12 \nWidth=\nHeight=abc\nRandom=4294967296\nDisplay=1.5\n"
            "Directory=/a,b\n");
    EXPECT_EQ(profile.GetProfileInt("Config", "Time", 20), 12);
    EXPECT_EQ(profile.GetProfileInt("Config", "Width", 301), 301);
    EXPECT_EQ(profile.GetProfileInt("Config", "Height", 301), 301);
    EXPECT_EQ(profile.GetProfileInt("Config", "Random", 0), 0);
    EXPECT_EQ(profile.GetProfileInt("Config", "Display", 2), 2);
    EXPECT_EQ(profile.GetProfileInt("Config", "Stretch", 1), 1);  // missing
    EXPECT_EQ(profile.GetProfileString("Config", "Directory", ""), "/a,b");
    EXPECT_EQ(profile.GetProfileString("Config", "Missing", "default"), "default");
    QFile::remove(file);
}

}  // namespace
}  // namespace qm
