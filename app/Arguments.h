#pragma once
// The command line.
#include <QString>
#include <QStringList>

// The arguments after the program's name; each one's bytes carried losslessly.
QStringList DecodeArguments(int argc, char** argv);
