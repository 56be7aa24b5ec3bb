#pragma once
// Enumerations and constant tables shared by the ID3 readers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum TJvID3Version { iveLowerThan2_2, ive2_2, ive2_3, ive2_4, iveHigherThan2_4 };
TJvID3Version VersionFromMajor(std::uint8_t major);

enum TJvID3Encoding : std::uint8_t {
    ienISO_8859_1 = 0,
    ienUTF_16 = 1,
    ienUTF_16BE = 2,
    ienUTF_8 = 3
};

enum TJvID3HeaderFlag {
    hfUnsynchronisation,
    hfExtendedHeader,
    hfExperimentalIndicator,
    hfFooterPresent
};
enum TJvID3HeaderExtendedFlag { hefTagIsAnUpdate, hefCRCDataPresent, hefTagRestrictions };
enum TJvID3FrameHeaderFlag {
    fhfOnTagAlterDiscardFrame,
    fhfOnFileAlterDiscardFrame,
    fhfReadOnly,
    fhfIsCompressed,
    fhfIsEncrypted,
    fhfContainsGroupInformation,
    fhfUnsynchronisationApplied,
    fhfDataLengthIndicator
};

// A small set of enumeration values, one bit each.
template <typename E> class TFlagSet {
public:
    void Include(E e) { Bits_ |= static_cast<std::uint32_t>(1u << static_cast<unsigned>(e)); }
    bool Has(E e) const { return (Bits_ >> static_cast<unsigned>(e)) & 1u; }
    bool Empty() const { return Bits_ == 0; }
    void Clear() { Bits_ = 0; }

private:
    std::uint32_t Bits_ = 0;
};

enum TJvID3FrameID : std::uint8_t {
    fiErrorFrame,
    fiPaddingFrame,
    fiUnknownFrame,
    // text frames
    fiAlbum,
    fiBPM,
    fiCopyright,
    fiDate,
    fiEncodedBy,
    fiFileType,
    fiTime,
    fiContentGroup,
    fiTitle,
    fiSubTitle,
    fiInitialKey,
    fiMediaType,
    fiMood,
    fiOrigAlbum,
    fiOrigFileName,
    fiFileOwner,
    fiBand,
    fiConductor,
    fiMixArtist,
    fiPartInSet,
    fiProducedNotice,
    fiPublisher,
    fiTrackNum,
    fiRecordingDates,
    fiNetRadioStation,
    fiNetRadioOwner,
    fiAlbumSortOrder,
    fiPerformerSortOrder,
    fiTitleSortOrder,
    fiISRC,
    fiEncoderSettings,
    fiSetSubTitle,
    // number frames
    fiPlaylistDelay,
    fiSongLen,
    fiOrigYear,
    fiSize,
    fiYear,
    // timestamp frames
    fiEncodingTime,
    fiOrigReleaseTime,
    fiRecordingTime,
    fiReleaseTime,
    fiTaggingTime,
    // simple lists
    fiComposer,
    fiContentType,
    fiLyricist,
    fiLanguage,
    fiOrigLyricist,
    fiOrigArtist,
    fiLeadArtist,
    // double lists
    fiInvolvedPeople,
    fiInvolvedPeople2,
    fiMusicianCreditList,
    fiComment,
    fiUnsyncedLyrics,
    fiPicture,
    fiUserText,
    fiWWWUser,
    fiWWWCommercialInfo,
    fiWWWCopyright,
    fiWWWAudioFile,
    fiWWWArtist,
    fiWWWAudioSource,
    fiWWWRadioPage,
    fiWWWPayment,
    fiWWWPublisher,
    fiGeneralObject,
    fiOwnership,
    fiTermsOfUse,
    fiAudioCrypto,
    fiPlayCounter,
    fiPopularimeter,
    fiCDID,
    // known frames without a class of their own
    fiAudioSeekPoint,
    fiCommercial,
    fiCryptoReg,
    fiEqualization2,
    fiEqualization,
    fiEventTiming,
    fiGroupingReg,
    fiLinkedInfo,
    fiMPEGLookup,
    fiPositionsync,
    fiPrivate,
    fiBufferSize,
    fiVolumeAdj2,
    fiVolumeAdj,
    fiReverb,
    fiSeekFrame,
    fiSignature,
    fiSyncedLyrics,
    fiSyncedTempo,
    fiUniqueFileID,
    fiMetaCrypto,
    fiMetaCompression,
    fiFrameIDCount
};

// How a frame's content is laid out.
enum TJvID3FrameClass : std::uint8_t {
    fcText,
    fcNumber,
    fcTimestamp,
    fcSimpleList,
    fcDoubleList,
    fcContent,
    fcPicture,
    fcUser,
    fcURLUser,
    fcURL,
    fcGeneralObj,
    fcOwnership,
    fcTermsOfUse,
    fcAudioEncryption,
    fcPlayCounter,
    fcPopularimeter,
    fcBinary,
    fcSkip
};

struct TJvID3FrameDef {
    TJvID3FrameID ID;
    const char* ID22; // "" when 2.2 has none
    const char* ID23; // 2.3 and 2.4; "" when only 2.2 has it
    TJvID3FrameClass Class;
};

// The known frames, one row each, indexed by TJvID3FrameID - fiAlbum.
const TJvID3FrameDef* FrameDefs(std::size_t& count);
TJvID3FrameClass FrameClassOf(TJvID3FrameID id);
// Whether a frame of this class begins with a text-encoding byte.
bool ClassHasEncoding(TJvID3FrameClass c);
// Classifies an identifier of 3 (2.2) or 4 (2.3, 2.4) bytes.
TJvID3FrameID FrameIDFromName(std::string_view name);

enum TJvID3PictureType : std::uint8_t {
    ptOther,
    ptFileIcon,
    ptOtherFileIcon,
    ptCoverFront,
    ptCoverBack,
    ptLeafletPage,
    ptMedia,
    ptLeadArtist,
    ptArtist,
    ptConductor,
    ptBand,
    ptComposer,
    ptLyricist,
    ptRecordingLocation,
    ptDuringRecording,
    ptDuringPerformance,
    ptMovieVideoScreenCapture,
    ptBrightColouredFish,
    ptIllustration,
    ptBandLogotype,
    ptPublisherLogotype
};
constexpr int kPictureTypeCount = 21;

constexpr int kGenreCount = 148;
// The name of genre number n, or empty for numbers past the list.
std::string_view GenreName(int n);

// A genre as a content-type text gives it: "(n)" and a bare number n as the name of genre n, a
// refinement after the reference ("(4)Eurodisco") as itself, any other text as it is.
std::u16string GenreOfContentType(std::u16string_view s);
// The number before any "/" ("3/12" is 3), blanks around it allowed; 0 when there is none.
std::int32_t TrackOfText(std::u16string_view s);
