#include "Arguments.h"

#include "platform/FileName.h"

#include <climits>
#include <string_view>
#include <unistd.h>

QStringList DecodeArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << DecodeFileName(std::string_view(argv[i]));
    return args;
}

QString AbsoluteArgument(const QString& argument) {
    if (argument.isEmpty() || argument.startsWith(QLatin1Char('/'))) return argument;
    // The folder's own bytes (QDir would decode them its own way), and no resolving of ".."
    // against links: the system does that when the folder is opened.
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return argument;
    return DecodeFileName(std::string_view(cwd)) + QLatin1Char('/') + argument;
}
