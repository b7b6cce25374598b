#include "tool/cut_file.h"

#include <cinttypes>
#include <cstddef>
#include <string>

#include "tool/output_file.h"

D88Reader imageReader;
SectorBuffer sectorBuffer{};

bool CutFile(const char* name, std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r,
             std::int32_t n, std::int32_t offset, std::int32_t size, std::FILE* out,
             std::FILE* err) {
  if (name == nullptr || name[0] == '\0') return false;
  if (offset < 0 || size < 0 || offset > kSectorBufferSize - size) return false;
  const std::int32_t wanted = offset + size;

  const std::int32_t got = imageReader.ReadSectors(track, c, h, r, n, sectorBuffer.data(), wanted);
  if (got <= 0) return false;
  std::fprintf(out, "cutting ... %s\n", name);

  // The buffer past `got` holds bytes of earlier reads, or of the short
  // sector that ended the run; none of them belong to this file.
  const std::int32_t usable = BytesToWrite(offset, size, got);
  const bool complete = usable == size;
  if (!complete) {
    std::fflush(out);  // keeps the lines in order where both streams meet
    std::fprintf(err, "d88cut: %s: only %" PRId32 " of %" PRId32 " bytes could be read\n", name,
                 usable, size);
  }

  std::string reason;
  if (!WriteOutputFile(name, sectorBuffer.data() + offset, static_cast<std::size_t>(usable),
                       reason)) {
    std::fflush(out);
    std::fprintf(err, "d88cut: cannot write %s: %s\n", name, reason.c_str());
    return false;
  }
  return complete;
}

void CutTable(const CutEntry* table, std::FILE* out, std::FILE* err) {
  for (const CutEntry* entry = table; entry->sector != 0; ++entry) {
    // The result only tells about this file; the table goes on regardless.
    CutFile(entry->name, entry->track, CylinderOf(entry->track), HeadOf(entry->track),
            entry->sector, kSizeCode, entry->offset, entry->size, out, err);
  }
}
