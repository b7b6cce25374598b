// The d88cut run: command line, recognition of each disk image, cutting.

#ifndef D88CUT_TOOL_DRIVER_H_
#define D88CUT_TOOL_DRIVER_H_

#include <cstdio>

// Runs d88cut on the argument vector (argv[0] the program name, argv[1] the
// D88 file) with the current directory as the place for output files.
// Progress goes to `out`, errors to `err`. Returns the exit status: 1 for a
// wrong argument count or an image file that cannot be opened, otherwise 0.
// May be called any number of times in one process.
int RunD88Cut(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

#endif  // D88CUT_TOOL_DRIVER_H_
