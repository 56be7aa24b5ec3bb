#include "platform/FileName.h"

#include "base/Cp1252.h"

#include <QStringList>
#include <climits>
#include <unistd.h>

namespace {
constexpr char16_t kEscapeBase = 0xDC80;

bool IsEscape(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at p (0 when invalid), and its code point.
int Utf8Sequence(const unsigned char* p, size_t left, char32_t& cp) {
    const unsigned char b0 = p[0];
    int len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else
        return 0;
    if (left < static_cast<size_t>(len)) return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}
} // namespace

QString DecodeFileName(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        char32_t cp;
        const int len = Utf8Sequence(p + i, n - i, cp);
        if (len == 0) {
            out.append(QChar(static_cast<char16_t>(kEscapeBase + (p[i] - 0x80))));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10))));
            out.append(QChar(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))));
        } else {
            out.append(QChar(static_cast<char16_t>(cp)));
        }
        i += static_cast<size_t>(len);
    }
    return out;
}

QByteArray EncodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name.at(i).unicode();
        char32_t cp = c;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            const char16_t lo = name.at(i + 1).unicode();
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        } else if (IsEscape(c)) {
            out.append(static_cast<char>(0x80 + (c - kEscapeBase)));
            continue;
        }
        if (cp < 0x80) {
            out.append(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.append(static_cast<char>(0xC0 | (cp >> 6)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(static_cast<char>(0xE0 | (cp >> 12)));
            out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.append(static_cast<char>(0xF0 | (cp >> 18)));
            out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

QString DisplayFileName(const QString& name) {
    QString out = name;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out.at(i).unicode();
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out.at(i + 1).unicode() >= 0xDC00 &&
            out.at(i + 1).unicode() <= 0xDFFF) {
            ++i; // a real pair
        } else if (IsEscape(c)) {
            out[i] = QChar(Cp1252ToChar(static_cast<std::uint8_t>(0x80 + (c - kEscapeBase))));
        }
    }
    return out;
}

#include <sys/stat.h>

bool IsDirectory(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeFileName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

bool IsExistingFile(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeFileName(path).constData(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

QString AbsoluteFileName(const QString& name) {
    const QChar slash = QLatin1Char('/');
    if (name.isEmpty() || name.startsWith(slash)) return name;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return name;
    QStringList parts = DecodeFileName(std::string_view(cwd)).split(slash, Qt::SkipEmptyParts);
    for (const QString& part : name.split(slash, Qt::SkipEmptyParts))
        if (part != QStringLiteral(".")) parts.append(part);
    return slash + parts.join(slash);
}
