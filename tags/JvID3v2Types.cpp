#include "tags/JvID3v2Types.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

TJvID3Version VersionFromMajor(std::uint8_t major) {
    switch (major) {
    case 0:
    case 1:
        return iveLowerThan2_2;
    case 2:
        return ive2_2;
    case 3:
        return ive2_3;
    case 4:
        return ive2_4;
    default:
        return iveHigherThan2_4;
    }
}

namespace {

constexpr TJvID3FrameDef kFrames[] = {
    {fiAlbum, "TAL", "TALB", fcText},
    {fiBPM, "TBP", "TBPM", fcText},
    {fiCopyright, "TCR", "TCOP", fcText},
    {fiDate, "TDA", "TDAT", fcText},
    {fiEncodedBy, "TEN", "TENC", fcText},
    {fiFileType, "TFT", "TFLT", fcText},
    {fiTime, "TIM", "TIME", fcText},
    {fiContentGroup, "TT1", "TIT1", fcText},
    {fiTitle, "TT2", "TIT2", fcText},
    {fiSubTitle, "TT3", "TIT3", fcText},
    {fiInitialKey, "TKE", "TKEY", fcText},
    {fiMediaType, "TMT", "TMED", fcText},
    {fiMood, "", "TMOO", fcText},
    {fiOrigAlbum, "TOT", "TOAL", fcText},
    {fiOrigFileName, "TOF", "TOFN", fcText},
    {fiFileOwner, "", "TOWN", fcText},
    {fiBand, "TP2", "TPE2", fcText},
    {fiConductor, "TP3", "TPE3", fcText},
    {fiMixArtist, "TP4", "TPE4", fcText},
    {fiPartInSet, "TPA", "TPOS", fcText},
    {fiProducedNotice, "", "TPRO", fcText},
    {fiPublisher, "TPB", "TPUB", fcText},
    {fiTrackNum, "TRK", "TRCK", fcText},
    {fiRecordingDates, "TRD", "TRDA", fcText},
    {fiNetRadioStation, "TRN", "TRSN", fcText},
    {fiNetRadioOwner, "TRO", "TRSO", fcText},
    {fiAlbumSortOrder, "", "TSOA", fcText},
    {fiPerformerSortOrder, "", "TSOP", fcText},
    {fiTitleSortOrder, "", "TSOT", fcText},
    {fiISRC, "TRC", "TSRC", fcText},
    {fiEncoderSettings, "", "TSSE", fcText},
    {fiSetSubTitle, "TSS", "TSST", fcText},
    {fiPlaylistDelay, "TDY", "TDLY", fcNumber},
    {fiSongLen, "TLE", "TLEN", fcNumber},
    {fiOrigYear, "TOR", "TORY", fcNumber},
    {fiSize, "TSI", "TSIZ", fcNumber},
    {fiYear, "TYE", "TYER", fcNumber},
    {fiEncodingTime, "", "TDEN", fcTimestamp},
    {fiOrigReleaseTime, "", "TDOR", fcTimestamp},
    {fiRecordingTime, "", "TDRC", fcTimestamp},
    {fiReleaseTime, "", "TDRL", fcTimestamp},
    {fiTaggingTime, "", "TDTG", fcTimestamp},
    {fiComposer, "TCM", "TCOM", fcSimpleList},
    {fiContentType, "TCO", "TCON", fcSimpleList},
    {fiLyricist, "TXT", "TEXT", fcSimpleList},
    {fiLanguage, "TLA", "TLAN", fcSimpleList},
    {fiOrigLyricist, "TOL", "TOLY", fcSimpleList},
    {fiOrigArtist, "TOA", "TOPE", fcSimpleList},
    {fiLeadArtist, "TP1", "TPE1", fcSimpleList},
    {fiInvolvedPeople, "IPL", "IPLS", fcDoubleList},
    {fiInvolvedPeople2, "", "TIPL", fcDoubleList},
    {fiMusicianCreditList, "", "TMCL", fcDoubleList},
    {fiComment, "COM", "COMM", fcContent},
    {fiUnsyncedLyrics, "ULT", "USLT", fcContent},
    {fiPicture, "PIC", "APIC", fcPicture},
    {fiUserText, "TXX", "TXXX", fcUser},
    {fiWWWUser, "WXX", "WXXX", fcURLUser},
    {fiWWWCommercialInfo, "WCM", "WCOM", fcURL},
    {fiWWWCopyright, "WCP", "WCOP", fcURL},
    {fiWWWAudioFile, "WAF", "WOAF", fcURL},
    {fiWWWArtist, "WAR", "WOAR", fcURL},
    {fiWWWAudioSource, "WAS", "WOAS", fcURL},
    {fiWWWRadioPage, "WRA", "WORS", fcURL},
    {fiWWWPayment, "WPY", "WPAY", fcURL},
    {fiWWWPublisher, "WPB", "WPUB", fcURL},
    {fiGeneralObject, "GEO", "GEOB", fcGeneralObj},
    {fiOwnership, "", "OWNE", fcOwnership},
    {fiTermsOfUse, "", "USER", fcTermsOfUse},
    {fiAudioCrypto, "CRA", "AENC", fcAudioEncryption},
    {fiPlayCounter, "CNT", "PCNT", fcPlayCounter},
    {fiPopularimeter, "POP", "POPM", fcPopularimeter},
    {fiCDID, "MCI", "MCDI", fcBinary},
    {fiAudioSeekPoint, "", "ASPI", fcSkip},
    {fiCommercial, "", "COMR", fcSkip},
    {fiCryptoReg, "", "ENCR", fcSkip},
    {fiEqualization2, "", "EQU2", fcSkip},
    {fiEqualization, "EQU", "EQUA", fcSkip},
    {fiEventTiming, "ETC", "ETCO", fcSkip},
    {fiGroupingReg, "", "GRID", fcSkip},
    {fiLinkedInfo, "LNK", "LINK", fcSkip},
    {fiMPEGLookup, "MLL", "MLLT", fcSkip},
    {fiPositionsync, "", "POSS", fcSkip},
    {fiPrivate, "", "PRIV", fcSkip},
    {fiBufferSize, "BUF", "RBUF", fcSkip},
    {fiVolumeAdj2, "", "RVA2", fcSkip},
    {fiVolumeAdj, "RVA", "RVAD", fcSkip},
    {fiReverb, "REV", "RVRB", fcSkip},
    {fiSeekFrame, "", "SEEK", fcSkip},
    {fiSignature, "", "SIGN", fcSkip},
    {fiSyncedLyrics, "SLT", "SYLT", fcSkip},
    {fiSyncedTempo, "STC", "SYTC", fcSkip},
    {fiUniqueFileID, "UFI", "UFID", fcSkip},
    {fiMetaCrypto, "CRM", "", fcSkip},
    {fiMetaCompression, "CDM", "", fcSkip},
};
static_assert(std::size(kFrames) == fiFrameIDCount - fiAlbum, "one row per known frame");

struct TNameEntry {
    std::uint32_t Key;
    TJvID3FrameID ID;
    bool operator<(const TNameEntry& o) const { return Key < o.Key; }
};

std::uint32_t NameKey(std::string_view name) {
    std::uint32_t k = 0;
    for (char c : name)
        k = (k << 8) | static_cast<std::uint8_t>(c);
    return k;
}

// Sorted identifier lists, built on first use.
const std::vector<TNameEntry>& SortedNames(bool v22) {
    static const auto build = [](bool short_) {
        std::vector<TNameEntry> list;
        for (const auto& d : kFrames) {
            const char* n = short_ ? d.ID22 : d.ID23;
            if (*n) list.push_back({NameKey(n), d.ID});
        }
        std::sort(list.begin(), list.end());
        return list;
    };
    static const std::vector<TNameEntry> l22 = build(true), l23 = build(false);
    return v22 ? l22 : l23;
}

constexpr std::array<const char*, kGenreCount> kGenres = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // the customary extension
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Trash Metal", "Anime", "JPop", "SynthPop"};

} // namespace

const TJvID3FrameDef* FrameDefs(std::size_t& count) {
    count = std::size(kFrames);
    return kFrames;
}

TJvID3FrameClass FrameClassOf(TJvID3FrameID id) {
    if (id < fiAlbum || id >= fiFrameIDCount) return fcSkip;
    return kFrames[id - fiAlbum].Class;
}

bool ClassHasEncoding(TJvID3FrameClass c) {
    switch (c) {
    case fcText:
    case fcNumber:
    case fcTimestamp:
    case fcSimpleList:
    case fcDoubleList:
    case fcContent:
    case fcPicture:
    case fcUser:
    case fcURLUser:
    case fcGeneralObj:
    case fcOwnership:
    case fcTermsOfUse:
        return true;
    default:
        return false;
    }
}

TJvID3FrameID FrameIDFromName(std::string_view name) {
    bool allZero = true;
    for (char c : name)
        allZero = allZero && c == 0;
    if (name.empty() || allZero) return fiPaddingFrame;
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return fiErrorFrame;
    if (name.size() != 3 && name.size() != 4) return fiUnknownFrame;
    const auto& list = SortedNames(name.size() == 3);
    const TNameEntry key{NameKey(name), fiUnknownFrame};
    const auto it = std::lower_bound(list.begin(), list.end(), key);
    return it != list.end() && it->Key == key.Key ? it->ID : fiUnknownFrame;
}

std::string_view GenreName(int n) {
    if (n < 0 || n >= kGenreCount) return {};
    return kGenres[static_cast<std::size_t>(n)];
}

namespace {
std::u16string Widen(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}
// A whole number of at most six digits, else -1.
int SmallNumber(std::u16string_view s) {
    if (s.empty() || s.size() > 6) return -1;
    int n = 0;
    for (const char16_t c : s) {
        if (c < u'0' || c > u'9') return -1;
        n = n * 10 + (c - u'0');
    }
    return n;
}
} // namespace

std::u16string GenreOfContentType(std::u16string_view s) {
    std::u16string_view number = s, refinement;
    if (!s.empty() && s[0] == u'(') {
        const std::size_t close = s.find(u')');
        if (close == std::u16string_view::npos) return std::u16string(s);
        number = s.substr(1, close - 1);
        refinement = s.substr(close + 1);
    }
    const int n = SmallNumber(number);
    if (n < 0 || GenreName(n).empty()) return std::u16string(s);
    // More references after the first one refine nothing.
    if (!refinement.empty() && refinement[0] != u'(') return std::u16string(refinement);
    return Widen(GenreName(n));
}

std::int32_t TrackOfText(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    std::int64_t n = 0;
    std::size_t digits = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i, ++digits) {
        n = n * 10 + (s[i] - u'0');
        if (n > 0x7FFFFFFF) return 0;
    }
    while (i < s.size() && s[i] == u' ')
        ++i;
    if (digits == 0 || (i < s.size() && s[i] != u'/')) return 0;
    return static_cast<std::int32_t>(n);
}
