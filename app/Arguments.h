#pragma once
// The command line. One place makes a relative folder argument absolute: for this copy's own
// start and for the hand-over to a running copy, which works in another current folder.
#include <QString>
#include <QStringList>

// The arguments after the program's name; each one's bytes carried losslessly.
QStringList DecodeArguments(int argc, char** argv);
// A relative argument joined to the current folder; an absolute or empty one unchanged.
QString AbsoluteArgument(const QString& argument);
