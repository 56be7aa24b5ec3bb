#pragma once
// File names on Linux are bytes. They are carried as QString losslessly: UTF-8 is decoded, and
// every byte that is not part of valid UTF-8 travels as the lone surrogate U+DC80 + byte, so a
// name read from disk can be opened again and stored unchanged.
#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

QString DecodeFileName(std::string_view bytes);
inline QString DecodeFileName(const QByteArray& bytes) {
    return DecodeFileName(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}
QByteArray EncodeFileName(const QString& name);
inline std::string EncodeFileNameStd(const QString& name) {
    const QByteArray b = EncodeFileName(name);
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
// For showing: each carried byte becomes its Windows-1252 character.
QString DisplayFileName(const QString& name);

// File-system tests on a lossless name (Qt's own file classes would decode the bytes
// differently).
bool IsDirectory(const QString& path);
bool IsExistingFile(const QString& path);

// A relative name joined to the working folder, bytes kept; "." segments dropped ("velodra ."
// names the folder itself), ".." kept (the folder a link leads to may have another parent). An
// absolute or empty name comes back unchanged.
QString AbsoluteFileName(const QString& name);
