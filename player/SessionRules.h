#pragma once
// The session's decisions as pure functions: which commands are enabled, how a file's name
// reads in the lists, where a resumed file starts.
#include <QString>
#include <cstdint>

// The enabled states of the commands the session decides, and the two indicator labels ("RPT",
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

// What the session holds when it decides.
struct TCommandInput {
    int FolderIndex = -1; // selected in edFolder, -1 none
    int FileIndex = -1;   // selected in edFile
    int FolderCount = 0;  // items of edFolder
    int FileCount = 0;    // items of edFile
    bool Random = false;
    bool Repeat = false;
    bool PlayerIsPlaying = false; // playing or paused
    bool AllPlayed = false;       // random order has played every file
    int edFolderTag = 0;          // -1 while the list is dropped down
    int edFileTag = 0;
    TCommandStates Last; // the states as they are: the move commands keep them while dropped
};

TCommandStates DecideCommandStates(const TCommandInput& in);

// Underscores to spaces, then runs of spaces to one; no trimming ("My__Song_" reads "My Song ").
QString CleanDisplayName(const QString& s);

// Where a file resumes, in ms, from the position saved at the last close: that position, or 0
// (the file's beginning) when it is within the last 5 s of the file, beyond its length, or the
// length is unknown.
int ResumePosition(int saved, int duration);
