// Text that may hold a file or folder name crosses between the program
// (bytes, as the file system keeps them) and Qt (QString) in the file-name
// encoding, as QFile::decodeName and QFile::encodeName convert. Bytes that
// encoding cannot spell (a name made under another locale) do not come back
// from the QString: whoever must keep them keeps the bytes beside it.
#pragma once

#include <string>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace qm {

inline QString FromFileNameEncoding(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

inline std::string ToFileNameEncoding(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

// True when the bytes come back unchanged through a QString.
inline bool SurvivesFileNameEncoding(const std::string& bytes) {
    return ToFileNameEncoding(FromFileNameEncoding(bytes)) == bytes;
}

}  // namespace qm
