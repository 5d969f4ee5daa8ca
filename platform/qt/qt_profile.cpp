#include "platform/qt/qt_profile.h"

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QStringList>

#include "platform/qt/file_names.h"
#include "res/resource.h"

namespace qm {

namespace {

QString Key(const char* section, const char* entry) {
    return QString::fromUtf8(section) + QLatin1Char('/') + QString::fromUtf8(entry);
}

// A plain signed decimal integer in 32 bits, blanks around it allowed.
bool ParseInt(const QString& text, int& value) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        return false;
    }
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == u'-' || c == u'+'))) {
            return false;
        }
    }
    bool ok = false;
    const qlonglong parsed = t.toLongLong(&ok, 10);
    if (!ok || parsed < INT32_MIN || parsed > INT32_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// The value of entry in [section] as the file's own bytes, when it is
// plain (no escapes, quotes or @ form) and not UTF-8. QSettings reads the
// file as UTF-8 and drops such bytes: a folder named under another locale,
// written by hand or by another program, would lose them.
std::optional<std::string> NonUtf8Value(const QString& fileName, const char* section,
                                        const char* entry) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray header = QByteArray("[") + section + ']';
    bool inSection = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inSection = line == header;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inSection || equals < 0 || line.left(equals).trimmed() != entry) {
            continue;
        }
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (value.contains('\\') || value.contains('"') || value.startsWith('@') ||
            QString::fromUtf8(value).toUtf8() == value) {
            return std::nullopt;
        }
        return value.toStdString();
    }
    return std::nullopt;
}

// Whether the INI reader took the file as it was written: every plain
// `name=` line of a section is a key it read. A stray quote makes it read
// the lines up to the next quote as one value, and the keys on them vanish.
bool ReadAsWritten(const QSettings& settings) {
    if (settings.status() != QSettings::NoError) {
        return false;
    }
    QFile file(settings.fileName());
    if (!file.exists()) {
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QStringList keys = settings.allKeys();
    QString section;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[') && line.endsWith(']')) {
            section = QString::fromUtf8(line.mid(1, line.size() - 2));
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) {
            continue;
        }
        const QByteArray name = line.left(equals).trimmed();
        bool plain = !name.isEmpty();
        for (const char c : name) {
            plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '_');
        }
        if (!plain) {
            continue;  // escaped names are the reader's to decode
        }
        const QString key = section.isEmpty() || section == QLatin1String("General")
                                ? QString::fromLatin1(name)
                                : section + QLatin1Char('/') + QString::fromLatin1(name);
        if (!keys.contains(key)) {
            return false;
        }
    }
    return true;
}

}  // namespace

QtProfileStore::QtProfileStore() = default;
QtProfileStore::~QtProfileStore() = default;

void QtProfileStore::SetRegistryKey(const char* company, const char* appName) {
    // The native format on Linux is this INI file, named <app>.conf; the
    // INI format would name it <app>.ini.
    const auto open = [&] {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QString::fromUtf8(company), QString::fromUtf8(appName));
    };
    settings_ = open();
    if (ReadAsWritten(*settings_)) {
        return;
    }
    // Written back as read, the damage would spread to every value after
    // it, the folder included: the file is kept for the user instead.
    const QString file = settings_->fileName();
    const QString kept = file + QStringLiteral(".bad");
    settings_.reset();
    QFile::remove(kept);
    const bool setAside = QFile::copy(file, kept) && QFile::remove(file);
    if (setAside) {
        settings_ = open();
    }
    if (notice_) {
        notice_(setAside ? IDS_PROFILE_SET_ASIDE : IDS_PROFILE_NOT_READ,
                ToFileNameEncoding(setAside ? kept : file));
    }
}

QString QtProfileStore::FileName() const { return settings_ ? settings_->fileName() : QString(); }

bool QtProfileStore::Read(const char* section, const char* entry, QString& text) {
    const QVariant value = Value(section, entry);
    if (!value.isValid()) {
        return false;
    }
    // An unquoted comma makes the INI reader return a list; it was text.
    if (value.typeId() == QMetaType::QStringList) {
        text = value.toStringList().join(QLatin1Char(','));
    } else {
        text = value.toString();
    }
    return true;
}

QVariant QtProfileStore::Value(const char* section, const char* entry) {
    if (!settings_) {
        return {};
    }
    // Picks up what another process wrote since, as the registry would.
    settings_->sync();
    return settings_->value(Key(section, entry));
}

void QtProfileStore::Write(const char* section, const char* entry, const QVariant& value) {
    if (!settings_) {
        return;
    }
    settings_->setValue(Key(section, entry), value);
    // On disk at once: a crash or a kill must not lose a saved setting.
    settings_->sync();
}

std::string QtProfileStore::GetProfileString(const char* section, const char* entry,
                                             const std::string& defaultValue) {
    // Bytes as they were written (a folder named in another encoding).
    const QVariant value = Value(section, entry);
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    QString text;
    if (!Read(section, entry, text)) {
        return defaultValue;
    }
    // The text has lost those bytes without a trace: the file tells.
    if (auto raw = NonUtf8Value(settings_->fileName(), section, entry)) {
        return *raw;
    }
    return ToFileNameEncoding(text);
}

int QtProfileStore::GetProfileInt(const char* section, const char* entry, int defaultValue) {
    QString text;
    int value = 0;
    if (!Read(section, entry, text) || !ParseInt(text, value)) {
        return defaultValue;
    }
    return value;
}

void QtProfileStore::WriteProfileInt(const char* section, const char* entry, int value) {
    Write(section, entry, QString::number(value));
}

void QtProfileStore::WriteProfileString(const char* section, const char* entry,
                                        const std::string& value) {
    // Text as text, so the file stays plain; a name the file-name encoding
    // cannot spell is kept as its bytes (@ByteArray), which a QString
    // would lose.
    if (SurvivesFileNameEncoding(value)) {
        Write(section, entry, FromFileNameEncoding(value));
    } else {
        Write(section, entry, QByteArray(value.data(), static_cast<qsizetype>(value.size())));
    }
}

}  // namespace qm
