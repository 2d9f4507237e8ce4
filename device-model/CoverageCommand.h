// The coverage command: which rows of the shipped hook table install on a build of the host app.
#pragma once

#include <string>
#include <vector>

namespace device::coverage {

// Runs `duskwell-device coverage` with the arguments after the command's name. Prints the report
// (a table, or JSON with --json) and returns 0 when every row installs, 1 when some do not, and 2
// when an input cannot be read, with a message naming the file and the reason.
int CoverageCommand(const std::vector<std::string> &args, const std::string &defaultDylib, const std::string &defaultFilter);

}  // namespace device::coverage
