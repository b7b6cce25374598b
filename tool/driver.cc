#include "tool/driver.h"

#include <cstdint>
#include <cstring>

#include "tool/cut_catalogue.h"
#include "tool/cut_file.h"

namespace {

// Names the program in the usage line when the argument vector does not.
constexpr char kProgramName[] = "d88cut";

// The Japanese messages are Shift_JIS bytes, with an ASCII full stop.
// "ファイルをオープンできません."
constexpr char kOpenFailedMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B"      // ファイルをオー
    "\x83\x76\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";  // プンできません.
// "Disk A を認識しました."
constexpr char kDiskAMessage[] =
    "Disk A \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";
// "Disk B を認識しました."
constexpr char kDiskBMessage[] =
    "Disk B \x82\xF0\x94\x46\x8E\xAF\x82\xB5\x82\xDC\x82\xB5\x82\xBD.\n";

struct Disk {
  const DiskMark* mark;
  const char* message;
  const CutEntry* table;
};

// In the order they are tested.
constexpr Disk kDisks[] = {
    {&kDiskAMark, kDiskAMessage, kDiskATable},
    {&kDiskBMark, kDiskBMessage, kDiskBTable},
};

const char* ProgramName(int argc, const char* const* argv) {
  if (argc < 1 || argv == nullptr || argv[0] == nullptr || argv[0][0] == '\0') return kProgramName;
  return argv[0];
}

// `delivered` is what the boot sector read of this image put into the
// buffer; bytes past it are left from earlier reads and must not count.
bool HasMark(const DiskMark& mark, std::int32_t delivered) {
  return delivered >= mark.End() &&
         std::memcmp(sectorBuffer.data() + mark.position, mark.text.data(), mark.text.size()) == 0;
}

}  // namespace

int RunD88Cut(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
    std::fprintf(err, "Usage: %s [d88file]\n", ProgramName(argc, argv));
    return 1;
  }
  if (!imageReader.Open(argv[1])) {
    std::fputs(kOpenFailedMessage, err);
    return 1;
  }

  const std::int32_t count = imageReader.GetDiskCount();
  for (std::int32_t index = 0; index < count; ++index) {
    // An image that cannot be selected has no boot sector either.
    if (!imageReader.SelectDisk(index)) continue;
    imageReader.SetSectorRange(kFirstSector, kLastSector);
    const std::int32_t delivered =
        imageReader.ReadSector(kBootTrack, CylinderOf(kBootTrack), HeadOf(kBootTrack), kBootSector,
                               kSizeCode, sectorBuffer.data(), kSectorBytes);
    for (const Disk& disk : kDisks) {
      if (HasMark(*disk.mark, delivered)) {
        std::fputs(disk.message, out);
        CutTable(disk.table, out, err);
        break;
      }
    }
  }
  std::fflush(out);
  std::fflush(err);
  return 0;
}
