#pragma once
// The command line.
#include <QString>
#include <QStringList>

// The arguments after the program's name; each one's bytes carried losslessly.
QStringList DecodeArguments(int argc, char** argv);

// What the command line asks for: the text to print instead of starting (--help, --version),
// else the one argument the program takes (the first) and the ones it leaves.
struct TCommandLine {
    QString Print;
    QStringList Args;
    QStringList Ignored;
};
// "--help" (or "-h") and "--version" anywhere before a "--" print; the settings file named in
// the help is settingsFile.
TCommandLine ParseCommandLine(const QStringList& args, const QString& version,
                              const QString& settingsFile);
