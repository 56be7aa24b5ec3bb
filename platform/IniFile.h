#pragma once
// The settings file: an INI text file with private-profile semantics over one file.
//
// The whole file is read once when the object is made and edited in memory; UpdateFile writes it
// back atomically (temporary file in the same folder, fsync, rename, fsync of the folder), so a
// crash or a full disk during a save leaves the previous complete file; the temporary file a
// killed save leaves behind goes with the next complete save.
//
// Reading:
//   - "[Name]" lines open sections, "key=value" lines inside a section are keys; every other
//     line (blank, comment, garbage) is kept as text and otherwise ignored.
//   - Section and key names match case-insensitively (ASCII letters) and ignore surrounding
//     blanks; the first matching key of the first matching section wins.
//   - A value is the raw bytes after the first "=" up to the end of the line (a CR before the LF
//     is dropped). Nothing is trimmed, so a folder name with leading or trailing blanks survives.
//   - A symbolic link is read through (it is the user's own; the save refuses it instead).
//   - A missing file gives every default. A directory, FIFO or device in its place, a file that
//     cannot be opened, or one larger than MaxFileSize also gives every default, and such a file
//     is then never overwritten by UpdateFile (it throws instead), because its content was not
//     seen and would be lost.
//
// Writing:
//   - WriteString replaces the value of an existing key in place; a new key is added after the
//     last key of its section (comments and blank lines after it stay after it); a new section
//     is appended at the end of the file.
//   - EraseSection removes every section of that name with all its lines.
//   - Every other byte of the file, including comments, blank lines, line endings and the order
//     of the other sections, stays exactly as it was.
//
// Strings go through the lossless file-name codec (platform/FileName.h), so a value read from a
// file, and a path whose name is not valid UTF-8, keep their exact bytes.
#include <QByteArray>
#include <QString>

class TIniFile {
public:
    // Larger files are not read: they cannot be ours, and reading them must stay cheap.
    static constexpr qsizetype MaxFileSize = 4 * 1024 * 1024;

    explicit TIniFile(QString fileName);

    const QString& FileName() const { return FName; }
    // False when something other than a readable file of at most MaxFileSize bytes is there;
    // true also when the file is missing.
    bool Readable() const { return FReadable; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    QByteArray ReadBytes(const QString& section, const QString& key, const QByteArray& def) const;
    // Decimal with an optional sign, blanks around it allowed; anything else (empty, "yes",
    // "0x10", out of the 32-bit range) gives the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // Read as an integer: non-zero is true, "2" is true, "yes" gives the default.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;

    void EraseSection(const QString& section);
    // A name or value that cannot live on one INI line (line breaks, "=" or "]" in names, empty
    // names) throws EVelodraError and changes nothing.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteBytes(const QString& section, const QString& key, const QByteArray& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // The text as it would be saved.
    const QByteArray& Text() const { return FText; }

    // Writes the text to the file atomically; throws EVelodraError on any failure, leaving the
    // old file untouched. Its message is "Could not write to 'path'." with the reason after two
    // carriage returns. The folder is created when missing (links among the folders are
    // followed). The file is only ever replaced in its folder, never written through a link:
    // a symbolic link in its place is refused, as is a text larger than MaxFileSize.
    void UpdateFile();

private:
    QString FName;
    QByteArray FText;
    bool FReadable = true;
    bool FTooLarge = false;
};

// $variable when it is set to an absolute path, else $HOME + fallback ("/.config"), with a
// trailing "/".
QString XdgFolder(const char* variable, const char* fallback);
// The folder of the settings file: $XDG_CONFIG_HOME, else $HOME/.config.
QString ConfigFolder();
// ConfigFolder + the executable's file name with its extension (if any) replaced by ".ini".
QString SettingsFileName();
