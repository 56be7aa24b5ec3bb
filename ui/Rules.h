#pragma once
// The main window's decisions as pure functions: which commands are enabled, how names and
// rates read. The window gathers the input, decides, and applies only what changed.
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>

// The enabled states that UpdateCommandStates sets, and the two indicator labels ("RPT",
// "RND": lit white while their option is on). Every other command is always enabled; option
// commands keep their checked state by themselves.
struct TCommandStates {
    bool Play = false;
    bool Pause = false;
    bool Stop = false;
    bool PrevFolder = false;
    bool PrevFile = false;
    bool NextFile = false;
    bool NextFolder = false;
    bool FolderList = false; // edFolder
    bool FileList = false;   // edFile
    bool LoopLit = false;
    bool ShuffleLit = false;
    bool operator==(const TCommandStates&) const = default;
};

// What the window holds when it decides.
struct TCommandInput {
    int FolderIndex = -1; // selected in edFolder, -1 none
    int FileIndex = -1;   // selected in edFile
    int FolderCount = 0;  // items of edFolder
    int FileCount = 0;    // items of edFile
    bool Random = false;
    bool Repeat = false;
    bool PlayerIsPlaying = false; // playing or paused
    int edFolderTag = 0;          // -1 while the list is dropped down
    int edFileTag = 0;
    TCommandStates Last; // the states as they are: the move commands keep them while dropped
};

TCommandStates DecideCommandStates(const TCommandInput& in);

// Underscores to spaces, then runs of spaces to one; no trimming ("My__Song_" reads "My Song ").
QString CleanDisplayName(const QString& s);

// The sampling rate in kHz with one decimal in the user's locale, a zero decimal dropped:
// "44.1 kHz", "48 kHz", "96 kHz", "88.2 kHz".
QString SampleRateText(std::uint32_t hz);
// The display's rate line: "44.1 kHz  128 kbps"; empty when the bit rate is 0.
QString RateText(std::uint32_t sampleRateHz, std::uint32_t bitRateKbps);

// Where a window's frame goes so that it lies wholly in the work area: moved back from the right
// and bottom edges first, then from the left and top, so a frame larger than the area keeps its
// top-left corner inside. The top-left corner of the frame, unchanged when it already fits.
QPoint KeepFrameOnArea(const QRect& frame, const QRect& area);

// Where a file resumes, in ms, from the position saved at the last close: that position, or 0
// (the file's beginning) when it is within the last 5 s of the file, beyond its length, or the
// length is unknown.
int ResumePosition(int saved, int duration);
