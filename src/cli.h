// The command line: options and the three positional arguments.
//
// Contract: an argument that is exactly an option's name is that option
// wherever it stands, until "--"; everything else is positional, in order.
// A missing positional argument reads as the empty string; extra ones are
// ignored. Nothing here touches a file.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

struct CommandLine {
  bool help = false;
  bool version = false;
  bool aligned = false;
  std::string table;   // argument 1
  std::string data;    // argument 2
  std::string script;  // argument 3
};

// `args` are the arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

void PrintHelp(Console& out);
void PrintVersion(Console& out);
