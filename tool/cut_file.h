// Cutting files out of the selected disk of the process-wide reader.

#ifndef D88CUT_TOOL_CUT_FILE_H_
#define D88CUT_TOOL_CUT_FILE_H_

#include <array>
#include <cstdint>
#include <cstdio>

#include "reader/d88_reader.h"
#include "tool/cut_catalogue.h"

using SectorBuffer = std::array<std::uint8_t, kSectorBufferSize>;

// The tool's one reader and one sector buffer, alive for the whole process.
// The buffer keeps its bytes from one read to the next, across disks and
// across runs; only the bytes a read reports as delivered are ever used.
extern D88Reader imageReader;
extern SectorBuffer sectorBuffer;

// Reads `offset + size` bytes of consecutive sectors from (c, h, r, n) of
// `track` on, and writes the `size` bytes past `offset` to the file `name`
// (created or replaced whole), announced by "cutting ... NAME" on `out`.
//
// - Nothing delivered: false; nothing printed, no file.
// - Fewer bytes delivered than asked for: the file gets only the bytes that
//   arrived past `offset`, a warning goes to `err`, and the result is false.
// - The file cannot be written: a line with the system's reason goes to
//   `err`, an existing file is left as it was, and the result is false.
// - A request that does not fit the sector buffer, or a null or empty name:
//   false, nothing read or printed.
bool CutFile(const char* name, std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
             std::int32_t n, std::int32_t offset, std::int32_t size, std::FILE* out = stdout,
             std::FILE* err = stderr);

// Cuts every entry of `table` up to its sector-0 entry, in order, with the
// sector size code the catalogue uses; a failed entry does not stop the
// table.
void CutTable(const CutEntry* table, std::FILE* out, std::FILE* err);

#endif  // D88CUT_TOOL_CUT_FILE_H_
