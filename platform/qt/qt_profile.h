// The profile as an INI file through QSettings:
// $XDG_CONFIG_HOME/<company>/<app>.conf, one [section] per profile section,
// values named as in the registry. Numbers are written as decimal integers.
// The file has no value types: a number reads back as its text, and text
// that is a plain decimal integer reads as a number. Text is kept in the
// file-name encoding; bytes that encoding cannot spell (a folder named
// under another locale) are kept as bytes, QSettings' @ByteArray(...).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QString>
#include <QVariant>

#include "platform/system.h"

class QSettings;

namespace qm {

class QtProfileStore : public ProfileStore {
public:
    QtProfileStore();
    ~QtProfileStore() override;
    QtProfileStore(const QtProfileStore&) = delete;
    QtProfileStore& operator=(const QtProfileStore&) = delete;

    // Until SetRegistryKey names the profile there is none: reads give the
    // defaults and writes are not kept.
    std::string GetProfileString(const char* section, const char* entry,
                                 const std::string& defaultValue) override;
    // A missing, empty or non-numeric value, or one outside 32 bits, gives
    // the default, as a missing or mistyped registry value does.
    int GetProfileInt(const char* section, const char* entry, int defaultValue) override;
    void WriteProfileInt(const char* section, const char* entry, int value) override;
    void WriteProfileString(const char* section, const char* entry,
                            const std::string& value) override;
    // A file that does not read back as written (one stray quote makes the
    // INI reader fold the lines after it into one value) is copied aside
    // as <file>.bad and the run starts from the defaults; the user is told
    // once, through the notice. When it cannot be copied, it is left alone
    // and nothing is written this run.
    void SetRegistryKey(const char* company, const char* appName) override;
    // The user's box for the above: a string id and the file's path.
    void SetNotice(std::function<void(unsigned stringId, const std::string& detail)> notice) {
        notice_ = std::move(notice);
    }

    // The profile's file; empty until named.
    QString FileName() const;

private:
    // The stored text of a value; false when missing.
    bool Read(const char* section, const char* entry, QString& text);
    // The value as stored; invalid when missing.
    QVariant Value(const char* section, const char* entry);
    void Write(const char* section, const char* entry, const QVariant& value);

    std::unique_ptr<QSettings> settings_;
    std::function<void(unsigned, const std::string&)> notice_;
};

}  // namespace qm
