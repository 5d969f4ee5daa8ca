#include "platform/qt/qt_profile.h"

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QFile>
#include <QSettings>
#include <QStringList>

#include "platform/qt/file_names.h"

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

}  // namespace

QtProfileStore::QtProfileStore() = default;
QtProfileStore::~QtProfileStore() = default;

void QtProfileStore::SetRegistryKey(const char* company, const char* appName) {
    // The native format on Linux is this INI file, named <app>.conf; the
    // INI format would name it <app>.ini.
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QString::fromUtf8(company), QString::fromUtf8(appName));
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
