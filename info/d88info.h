// The d88info run: command line, and the report of each file named.

#ifndef D88_INFO_D88INFO_H_
#define D88_INFO_D88INFO_H_

#include <cstdio>

// Runs d88info on the argument vector (argv[0] the program name). Reports go
// to `out`, errors to `err`. Returns the exit status: 0 when every file was
// reported, 1 when any could not be opened, 2 for a usage error.
int RunD88Info(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

#endif  // D88_INFO_D88INFO_H_
