// The profile file: where it lives, what is written, and what is read from
// values a person or another program left in it.
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/qt/qt_profile.h"
#include "res/resource.h"

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

TEST(QtProfile, KeepsFolderNamesThatAreNotUtf8AsTheirBytes) {
    QtProfileStore profile;
    profile.SetRegistryKey("Brandle Software", "Quillmere");
    const QString file = profile.FileName();
    QDir().mkpath(QFileInfo(file).path());
    // Written by hand, or by a program under a Latin-1 locale.
    const std::string latin1 = "/home/me/pics-\xe9";
    Rewrite(file, "[Config]\nDirectory=" + latin1 + "\nTime=5\n");
    EXPECT_EQ(profile.GetProfileString("Config", "Directory", ""), latin1);

    // Saved again, and read back by this and by a later run.
    profile.WriteProfileString("Config", "Directory", latin1);
    EXPECT_EQ(profile.GetProfileString("Config", "Directory", ""), latin1);
    EXPECT_EQ(QtProfileStore().GetProfileString("Config", "Directory", ""), "");
    QtProfileStore later;
    later.SetRegistryKey("Brandle Software", "Quillmere");
    EXPECT_EQ(later.GetProfileString("Config", "Directory", ""), latin1);
    EXPECT_EQ(later.GetProfileInt("Config", "Time", 20), 5);

    // A UTF-8 name stays plain text in the file, as before.
    const std::string utf8 = "/home/me/pics-\xc3\xa9";
    profile.WriteProfileString("Config", "Directory", utf8);
    EXPECT_EQ(later.GetProfileString("Config", "Directory", ""), utf8);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("\nDirectory=" + QByteArray::fromStdString(utf8) + "\n"));
    QFile::remove(file);
}

// One stray quote makes the INI reader fold every line after it, the
// folder's included, into one value; written back so, the damage would
// stay. The file is kept aside, the user told once, and the run starts from
// the defaults.
TEST(QtProfile, AFileThatDoesNotReadAsWrittenIsKeptAsideAndDefaultsUsed) {
    QtProfileStore probe;
    probe.SetRegistryKey("Brandle Software", "Quillmere");
    const QString file = probe.FileName();
    QDir().mkpath(QFileInfo(file).path());
    const std::string damaged =
        "[Config]\nAutoChange=1\nDisplay=\"2\nHeight=5\nDirectory=/home/me/pics\nTime=7\n";
    Rewrite(file, damaged);

    std::vector<std::pair<unsigned, std::string>> told;
    QtProfileStore profile;
    profile.SetNotice([&](unsigned id, const std::string& detail) { told.emplace_back(id, detail); });
    profile.SetRegistryKey("Brandle Software", "Quillmere");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, unsigned{IDS_PROFILE_SET_ASIDE});
    EXPECT_EQ(told[0].second, (file + QStringLiteral(".bad")).toStdString());
    QFile kept(file + QStringLiteral(".bad"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll().toStdString(), damaged);
    // Defaults, not the folded values; and what is written now reads back.
    EXPECT_EQ(profile.GetProfileInt("Config", "Display", 2), 2);
    EXPECT_EQ(profile.GetProfileString("Config", "Directory", "cwd"), "cwd");
    profile.WriteProfileString("Config", "Directory", "/home/me/pics");
    profile.WriteProfileInt("Config", "Time", 7);

    // A sound file, written by us or by hand, is taken as it is.
    QtProfileStore later;
    later.SetNotice([&](unsigned id, const std::string& detail) { told.emplace_back(id, detail); });
    later.SetRegistryKey("Brandle Software", "Quillmere");
    EXPECT_EQ(later.GetProfileString("Config", "Directory", ""), "/home/me/pics");
    Rewrite(file, "; by hand\n[Config]\nTime = 9\nDirectory=\"/a \\\"b\\\"\"\n\n");
    QtProfileStore byHand;
    byHand.SetNotice([&](unsigned id, const std::string& detail) { told.emplace_back(id, detail); });
    byHand.SetRegistryKey("Brandle Software", "Quillmere");
    EXPECT_EQ(byHand.GetProfileInt("Config", "Time", 20), 9);
    EXPECT_EQ(byHand.GetProfileString("Config", "Directory", ""), "/a \"b\"");
    EXPECT_EQ(told.size(), 1u);
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".bad"));
}

}  // namespace
}  // namespace qm
