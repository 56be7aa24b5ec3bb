#include "player/AudioTypes.h"

namespace {

struct TExtension {
    QLatin1StringView Extension;
    TAudioFormat Format;
};
// ".oga" and ".opus" are Ogg like ".ogg": what the stream holds is read from its first page.
constexpr TExtension kExtensions[] = {
    {QLatin1StringView(".mp3"), TAudioFormat::Mp3},
    {QLatin1StringView(".wma"), TAudioFormat::Wma},
    {QLatin1StringView(".flac"), TAudioFormat::Flac},
    {QLatin1StringView(".ogg"), TAudioFormat::Ogg},
    {QLatin1StringView(".oga"), TAudioFormat::Ogg},
    {QLatin1StringView(".opus"), TAudioFormat::Ogg},
    {QLatin1StringView(".m4a"), TAudioFormat::Mp4},
    {QLatin1StringView(".wav"), TAudioFormat::Wav},
};

// Only ASCII letters are folded: no locale may turn another letter into an "i" or "a".
bool SameExtension(QStringView ext, QLatin1StringView want) {
    if (ext.size() != want.size()) return false;
    for (qsizetype i = 0; i < ext.size(); ++i) {
        char16_t c = ext[i].unicode();
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
        if (c != static_cast<unsigned char>(want[i].toLatin1())) return false;
    }
    return true;
}

bool Taken(TAudioFormat f, TAudioTypes types) {
    switch (f) {
    case TAudioFormat::None:
        return false;
    case TAudioFormat::Mp3:
        return true;
    case TAudioFormat::Wma:
        return types.Wma;
    default:
        return types.Other;
    }
}

} // namespace

TAudioFormat AudioFormatOf(QStringView name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || name.indexOf(QLatin1Char('/'), dot) >= 0) return TAudioFormat::None;
    const QStringView ext = name.mid(dot);
    for (const TExtension& e : kExtensions)
        if (SameExtension(ext, e.Extension)) return e.Format;
    return TAudioFormat::None;
}

bool IsAudioName(QStringView name, TAudioTypes types) {
    return Taken(AudioFormatOf(name), types);
}

TAudioTypes LeftOutTypes(QStringView name, TAudioTypes types) {
    const TAudioFormat f = AudioFormatOf(name);
    if (f == TAudioFormat::None || f == TAudioFormat::Mp3 || Taken(f, types)) return {};
    return f == TAudioFormat::Wma ? TAudioTypes{.Wma = true} : TAudioTypes{.Other = true};
}

QStringList AudioMimeTypes(TAudioTypes types) {
    QStringList out{QStringLiteral("audio/mpeg")};
    if (types.Wma) out << QStringLiteral("audio/x-ms-wma");
    if (types.Other)
        out << QStringLiteral("audio/flac") << QStringLiteral("audio/ogg")
            << QStringLiteral("audio/x-vorbis+ogg") << QStringLiteral("audio/x-opus+ogg")
            << QStringLiteral("audio/mp4") << QStringLiteral("audio/x-wav");
    return out;
}
