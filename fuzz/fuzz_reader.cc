// Fuzz target for D88Reader.
//
// The input is a D88 file. Its last fuzz::kParameterBytes bytes (sector data
// in any sensible image) also choose the arguments of the reads: a track index that
// may be out of range, a sector ID whose parts may lie outside a byte, buffer
// lengths that may be 0 or negative, and a sector range. Every image of the
// file is selected, out-of-range indexes are tried, and the reads run on a
// few of the images. Everything the interface promises is checked; a broken
// promise aborts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/reader_arguments.h"
#include "reader/d88_format.h"
#include "reader/d88_reader.h"

namespace {

using fuzz::Arguments;
using Bytes = std::vector<std::uint8_t>;

// Fills buffers before a read, so that bytes a read must not write show.
constexpr std::uint8_t kCanary = 0xA5;

// The tool's boot sector read.
constexpr std::int32_t kBootLength = d88::kSectorSizeBase << 1;

// A buffer of `length` canary bytes (none for a negative length), sized
// exactly so that AddressSanitizer sees any write past it.
Bytes CanaryBuffer(std::int32_t length) {
  return Bytes(static_cast<std::size_t>(std::max(length, 0)), kCanary);
}

bool UntouchedFrom(const Bytes& buffer, std::int32_t from) {
  const std::size_t start = std::min(static_cast<std::size_t>(std::max(from, 0)), buffer.size());
  if (start == buffer.size()) return true;
  // All bytes equal the first one when the range equals itself shifted by
  // one; memcmp, unlike a loop in this file, carries no coverage callbacks.
  const std::uint8_t* first = buffer.data() + start;
  const std::size_t rest = buffer.size() - start - 1;
  return *first == kCanary && std::memcmp(first, first + 1, rest) == 0;
}

// Bytes of one sector of size code n, or 0 where n names no sector size the
// reader can read.
std::int32_t SectorBytes(std::int32_t n) {
  constexpr std::int32_t kLargestShift = 24;  // beyond it 128 << n leaves 32 bits
  if (n < 0 || n >= kLargestShift) return 0;
  return d88::kSectorSizeBase << n;
}

void CheckReadSector(D88Reader& reader, std::int32_t track, std::int32_t c, std::int32_t h,
                     std::int32_t r, std::int32_t n, std::int32_t maxLength) {
  Bytes dest = CanaryBuffer(maxLength);
  const std::int32_t got = reader.ReadSector(track, c, h, r, n, dest.data(), maxLength);
  fuzz::Check(got >= 0 && got <= std::max(maxLength, 0), "ReadSector result within 0..maxLength");
  fuzz::Check(UntouchedFrom(dest, got), "ReadSector leaves dest past its result untouched");

  // Nothing is cached: the same read gives the same bytes again.
  Bytes again = CanaryBuffer(maxLength);
  fuzz::Check(reader.ReadSector(track, c, h, r, n, again.data(), maxLength) == got,
              "ReadSector repeats its result");
  fuzz::Check(again == dest, "ReadSector repeats its bytes");
}

void CheckReadSectors(D88Reader& reader, const Arguments& a) {
  Bytes dest = CanaryBuffer(a.total);
  const std::int32_t got = reader.ReadSectors(a.track, a.c, a.h, a.r, a.n, dest.data(), a.total);
  fuzz::Check(got >= 0 && got <= std::max(a.total, 0), "ReadSectors result within 0..total");

  const std::int32_t sectorBytes = SectorBytes(a.n);
  if (sectorBytes == 0) {
    fuzz::Check(got == 0 && UntouchedFrom(dest, 0), "ReadSectors reads nothing for an unreadable n");
    return;
  }
  fuzz::Check(got == a.total || got % sectorBytes == 0, "ReadSectors counts whole sectors only");
  // A short sector that stops the run may land after the counted bytes, but
  // no further than one sector.
  const std::int64_t reach = static_cast<std::int64_t>(got) + sectorBytes;
  fuzz::Check(UntouchedFrom(dest, static_cast<std::int32_t>(std::min<std::int64_t>(reach, a.total))),
              "ReadSectors writes at most one sector past its result");

  // The run's first sector is what ReadSector finds.
  const std::int32_t firstChunk = std::min(sectorBytes, a.total);
  if (got >= firstChunk && firstChunk > 0) {
    Bytes first = CanaryBuffer(firstChunk);
    fuzz::Check(reader.ReadSector(a.track, a.c, a.h, a.r, a.n, first.data(), firstChunk) == firstChunk,
                "ReadSectors' first sector is found by ReadSector");
    fuzz::Check(std::equal(first.begin(), first.end(), dest.begin()),
                "ReadSectors' first sector holds ReadSector's bytes");
  }
}

void CheckReadSectorIds(D88Reader& reader, std::int32_t track, std::int32_t length) {
  Bytes buf = CanaryBuffer(length);
  const std::int32_t got = reader.ReadSectorIds(track, buf.data(), length);
  fuzz::Check(got >= 0 && got <= std::max(length, 0), "ReadSectorIds result within 0..length");
  fuzz::Check(got % d88::kSectorIdSize == 0, "ReadSectorIds writes whole IDs");
  fuzz::Check(UntouchedFrom(buf, got), "ReadSectorIds leaves buf past its result untouched");
}

// What holds whether or not a disk is selected.
void CheckSelection(const D88Reader& reader, bool selected) {
  const char* name = reader.GetDiskName();
  fuzz::Check(name != nullptr, "GetDiskName gives a name");
  // memchr, not strlen: a name without its NUL must not be read past.
  fuzz::Check(std::memchr(name, '\0', d88::kNameLength + 1) != nullptr,
              "the disk name is NUL-terminated within its field");
  const std::int32_t mediaType = reader.GetMediaType();
  if (selected) {
    fuzz::Check(mediaType >= 0 && mediaType <= 0xFF, "a selected disk's media type is a byte");
  } else {
    fuzz::Check(mediaType == -1, "no disk selected: media type -1");
    fuzz::Check(name[0] == '\0', "no disk selected: empty name");
  }
}

// Reads that must yield nothing, with nothing written.
void CheckReadsYieldNothing(D88Reader& reader, const Arguments& a, const char* state) {
  constexpr std::int32_t kLength = 4 * kBootLength;
  Bytes dest = CanaryBuffer(kLength);
  fuzz::Check(reader.ReadSector(0, 0, 0, 1, 1, dest.data(), kLength) == 0, state);
  fuzz::Check(reader.ReadSector(a.track, a.c, a.h, a.r, a.n, dest.data(), kLength) == 0, state);
  fuzz::Check(reader.ReadSectors(0, 0, 0, 1, 1, dest.data(), kLength) == 0, state);
  fuzz::Check(reader.ReadSectorIds(0, dest.data(), kLength) == 0, state);
  fuzz::Check(UntouchedFrom(dest, 0), state);
}

void ReadDisk(D88Reader& reader, const Arguments& a) {
  const std::string name = reader.GetDiskName();
  const std::int32_t mediaType = reader.GetMediaType();

  reader.SetSectorRange(1, 16);
  CheckReadSector(reader, 0, 0, 0, 1, 1, kBootLength);
  CheckReadSector(reader, a.track, a.c, a.h, a.r, a.n, a.maxLength);
  CheckReadSectorIds(reader, a.track, a.idLength);
  CheckReadSectors(reader, a);
  reader.SetSectorRange(a.firstSector, a.lastSector);
  CheckReadSectors(reader, a);

  fuzz::Check(name == reader.GetDiskName() && mediaType == reader.GetMediaType(),
              "reads leave the selection as it was");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz::WriteInput(data, size);
  const Arguments a = fuzz::ParseArguments(data, size);

  // One reader for the whole process, as in the tool: each input reopens
  // it, and the check below shows that nothing of the last input is left.
  static D88Reader reader;
  CheckReadsYieldNothing(reader, a, "a reader without a file reads nothing");
  fuzz::Check(reader.Open(path), "Open succeeds on a readable file");
  const std::int32_t count = reader.GetDiskCount();
  fuzz::Check(count >= 0 && count <= d88::kMaxDisks, "disk count within 0..64");
  CheckSelection(reader, false);
  CheckReadsYieldNothing(reader, a, "no disk selected after Open: reads yield nothing");

  for (const std::int32_t outside : {-1, count, count + 1, d88::kMaxDisks}) {
    fuzz::Check(!reader.SelectDisk(outside), "SelectDisk out of range fails");
    CheckSelection(reader, false);
    CheckReadsYieldNothing(reader, a, "a failed selection reads nothing");
  }

  const std::int32_t chosen = count > 0 ? a.chosenDisk % count : 0;
  for (std::int32_t index = 0; index < count; ++index) {
    const bool selected = reader.SelectDisk(index);
    CheckSelection(reader, selected);
    if (!selected) {
      CheckReadsYieldNothing(reader, a, "a failed selection reads nothing");
      continue;
    }
    // Reads cost a walk of the track each; selection runs on every image,
    // reads on three of them.
    if (index == 0 || index == chosen || index == count - 1) ReadDisk(reader, a);
  }

  fuzz::Check(reader.Open(nullptr), "Open(nullptr) succeeds");
  fuzz::Check(reader.GetDiskCount() == 0, "Open(nullptr) leaves no disk");
  fuzz::Check(reader.GetMediaType() == -1, "Open(nullptr) leaves media type -1");
  fuzz::Check(!reader.SelectDisk(0), "SelectDisk fails without a file");
  CheckReadsYieldNothing(reader, a, "a closed reader reads nothing");
  return 0;
}
