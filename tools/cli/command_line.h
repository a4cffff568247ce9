// The command line as UTF-8 strings, the encoding of every path in the tool.
#pragma once

#include <string>
#include <vector>

namespace pocketmidi::cli {

// argv as given on POSIX systems; on Windows the command line is taken again
// in UTF-16 from the system, as main's argv holds it in the ANSI code page,
// which cannot name every file.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace pocketmidi::cli
