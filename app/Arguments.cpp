#include "Arguments.h"

#include "platform/FileName.h"

#include <string_view>

QStringList DecodeArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << DecodeFileName(std::string_view(argv[i]));
    return args;
}
