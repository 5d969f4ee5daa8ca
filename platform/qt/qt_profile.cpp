#include "platform/qt/qt_profile.h"

#include <cstdint>

#include <QSettings>
#include <QStringList>

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
    if (!settings_) {
        return false;
    }
    // Picks up what another process wrote since, as the registry would.
    settings_->sync();
    const QVariant value = settings_->value(Key(section, entry));
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

void QtProfileStore::Write(const char* section, const char* entry, const QString& text) {
    if (!settings_) {
        return;
    }
    settings_->setValue(Key(section, entry), text);
    // On disk at once: a crash or a kill must not lose a saved setting.
    settings_->sync();
}

std::string QtProfileStore::GetProfileString(const char* section, const char* entry,
                                             const std::string& defaultValue) {
    QString text;
    if (!Read(section, entry, text)) {
        return defaultValue;
    }
    return text.toLocal8Bit().toStdString();
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
    Write(section, entry, QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size())));
}

}  // namespace qm
