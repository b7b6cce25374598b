// Writing one output file of the tool, all or nothing.
//
// The bytes go to a new temporary file ".d88cut-XXXXXX" in the current
// directory, which is renamed over `name` only once it is completely written
// and closed. An existing file of that name is thus either replaced whole or
// left exactly as it was, and a symbolic link of that name is replaced
// rather than written through. This is the tool's only platform-specific
// code.

#ifndef D88CUT_TOOL_OUTPUT_FILE_H_
#define D88CUT_TOOL_OUTPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Prefix of the temporary files; no output name of the tool starts with it.
inline constexpr char kTemporaryPrefix[] = ".d88cut-";

// Writes `size` bytes from `data` to the file `name`, creating or replacing
// it. On failure returns false with the system's reason in `reason`, and no
// temporary file is left behind.
bool WriteOutputFile(const char* name, const std::uint8_t* data, std::size_t size,
                     std::string& reason);

#endif  // D88CUT_TOOL_OUTPUT_FILE_H_
