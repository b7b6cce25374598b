// What d88cut recognises and what it cuts.
//
// The two disks of the set are told apart by a text at a fixed place in the
// boot sector (track 0, sector 1). Each disk has a table of runs of
// consecutive 256-byte sectors; each run becomes one file in the current
// directory. Sectors are numbered 1..16 on every track, and a run that passes
// sector 16 goes on at sector 1 of the next track index (head 1 of the same
// cylinder, then head 0 of the next).

#ifndef D88CUT_TOOL_CUT_CATALOGUE_H_
#define D88CUT_TOOL_CUT_CATALOGUE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reader/d88_format.h"

// Every sector read of the tool lands in one buffer of this many bytes.
inline constexpr std::int32_t kSectorBufferSize = 327680;

// All sectors are read with size code 1.
inline constexpr std::int32_t kSizeCode = 1;
inline constexpr std::int32_t kSectorBytes = d88::kSectorSizeBase << kSizeCode;

// The sector range that steps a run from one track to the next.
inline constexpr std::int32_t kFirstSector = 1;
inline constexpr std::int32_t kLastSector = 16;

inline constexpr std::int32_t kBootTrack = 0;
inline constexpr std::int32_t kBootSector = 1;

// Track index = 2 x cylinder + head.
constexpr std::int32_t CylinderOf(std::int32_t track) { return track >> 1; }
constexpr std::int32_t HeadOf(std::int32_t track) { return track & 1; }

// A text compared as raw bytes, without a terminator, at `position` in the
// boot sector.
struct DiskMark {
  std::int32_t position;
  std::string_view text;

  constexpr std::int32_t End() const { return position + static_cast<std::int32_t>(text.size()); }
};

// Tested in this order: a boot sector that carries both marks is Disk A.
inline constexpr DiskMark kDiskAMark{2, "A DISK"};
inline constexpr DiskMark kDiskBMark{233, "1986/11B DISK for QUELM"};

static_assert(kDiskAMark.position >= 0 && kDiskAMark.End() <= kSectorBytes,
              "the Disk A mark lies inside the boot sector");
static_assert(kDiskBMark.position >= 0 && kDiskBMark.End() <= kSectorBytes,
              "the Disk B mark lies inside the boot sector");

inline constexpr std::size_t kOutputNameSize = 260;

// One file of a disk: `offset + size` bytes are read from sector `sector`
// of track index `track` on, and the last `size` of them are written to
// `name`. A sector of 0 ends a table.
struct CutEntry {
  std::int32_t track;
  std::int32_t sector;
  std::int32_t offset;
  std::int32_t size;
  char name[kOutputNameSize];  // relative to the current directory
};

inline constexpr CutEntry kDiskATable[] = {
    {0, 6, 0, 12 * kSectorBytes, "DRIVER"},  // track 0 R6..16, track 1 R1
    {23, 1, 0, 28 * kSectorBytes, "MAIN"},   // track 23 R1..16, track 24 R1..12
    {14, 3, 0, 7 * kSectorBytes, "OP"},      // track 14 R3..9
    {19, 1, 0, 29 * kSectorBytes, "ED"},     // track 19 R1..16, track 20 R1..13
    {0, 0, 0, 0, ""},
};

inline constexpr CutEntry kDiskBTable[] = {
    {45, 14, 0, 8 * kSectorBytes, "PLANET"},  // track 45 R14..16, track 46 R1..5
    {48, 6, 0, 2 * kSectorBytes, "DEMO2"},    // track 48 R6..7
    {0, 0, 0, 0, ""},
};

// True if the table ends with its one sector-0 entry, every run before it
// fits the sector buffer and starts on a sector of the range, and every name
// is a NUL-terminated, non-empty text.
template <std::size_t kEntries>
constexpr bool IsSoundTable(const CutEntry (&table)[kEntries]) {
  for (std::size_t i = 0; i < kEntries; ++i) {
    const CutEntry& entry = table[i];
    const bool last = i + 1 == kEntries;
    if ((entry.sector == 0) != last) return false;
    if (entry.name[kOutputNameSize - 1] != '\0') return false;
    if (last) break;
    if (entry.track < 0 || entry.track >= d88::kTrackCount) return false;
    if (entry.sector < kFirstSector || entry.sector > kLastSector) return false;
    if (entry.offset < 0 || entry.size <= 0) return false;
    if (entry.offset > kSectorBufferSize - entry.size) return false;
    if (entry.name[0] == '\0') return false;
  }
  return true;
}

static_assert(IsSoundTable(kDiskATable), "Disk A runs fit the sector buffer");
static_assert(IsSoundTable(kDiskBTable), "Disk B runs fit the sector buffer");

// A disk of the set: what tells it, what d88cut says when it finds one (in
// Shift_JIS, with an ASCII full stop), and what is cut from it.
struct DiskKind {
  const char* label;  // "Disk A"
  DiskMark mark;
  const char* announcement;
  const CutEntry* table;
};

// In the order they are tested: a boot sector that carries both marks is
// Disk A.
inline constexpr DiskKind kDiskKinds[] = {
    // "Disk A を認識しました."
    {"Disk A", kDiskAMark, "Disk A \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n",
     kDiskATable},
    // "Disk B を認識しました."
    {"Disk B", kDiskBMark, "Disk B \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n",
     kDiskBTable},
};

// The disk whose mark lies within the `delivered` bytes that the boot sector
// read put at `boot`, or nullptr. Bytes past them are left from earlier
// reads and must not count.
const DiskKind* RecogniseBootSector(const std::uint8_t* boot, std::int32_t delivered);

// How many bytes d88cut writes of a run of `offset + size` bytes that
// delivered `delivered`: those past the offset, at most `size`.
constexpr std::int32_t BytesToWrite(std::int32_t offset, std::int32_t size, std::int32_t delivered) {
  const std::int32_t wanted = offset + size;
  const std::int32_t arrived = delivered < wanted ? delivered : wanted;
  return arrived > offset ? arrived - offset : 0;
}

struct SectorAddress {
  std::int32_t track;
  std::int32_t sector;
};

// The sector `index` sectors into the entry's run (0: its first), stepped as
// the reader steps a run through the sector range.
constexpr SectorAddress RunSector(const CutEntry& entry, std::int32_t index) {
  SectorAddress at{entry.track, entry.sector};
  for (std::int32_t i = 0; i < index; ++i) {
    if (at.sector == kLastSector) {
      ++at.track;
      at.sector = kFirstSector;
    } else {
      ++at.sector;
    }
  }
  return at;
}

// Sectors a run of the entry reads, the last perhaps in part.
constexpr std::int32_t RunSectorCount(const CutEntry& entry) {
  return (entry.offset + entry.size + kSectorBytes - 1) / kSectorBytes;
}

#endif  // D88CUT_TOOL_CUT_CATALOGUE_H_
