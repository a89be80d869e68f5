// Running a child to its end and collecting what it writes on standard output.
#pragma once

#include <string>
#include <vector>

// Run argv (argv[0] searched on PATH) with its standard output in *out (at
// most 64 KiB kept); its standard error stays ours. Returns the exit status
// (128 + signal number when killed), 127 when it could not be started.
int process_run_capture(const std::vector<std::string>& argv, std::string* out);
