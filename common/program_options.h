// --help and --version, which every program and benchmark of the package
// answers before it does anything else.
#pragma once

#include "common/program_version.h"

#include <cstdio>
#include <cstring>

// With --help (or -h) among the arguments prints `usage`, with --version
// "<name> <version>", on standard output, and returns true: the caller then
// exits with 0. False when neither was asked for.
inline bool answer_help_or_version(int argc, char** argv, const char* name, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", name, program_version);
            return true;
        }
    }
    return false;
}

// Whether argument `index` is there and is `option`: a program's mode ("--headless").
inline bool argument_is(int argc, char** argv, int index, const char* option)
{
    return index < argc && std::strcmp(argv[index], option) == 0;
}
