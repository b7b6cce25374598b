#include "tool/driver.h"

#include <cstdint>
#include <string>

#include "console/text_output.h"
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

const char* ProgramName(int argc, const char* const* argv) {
  if (argc < 1 || argv == nullptr || argv[0] == nullptr || argv[0][0] == '\0') return kProgramName;
  return argv[0];
}

// "d88cut: PATH: what" on standard error.
void Complain(console::TextOutput& err, std::FILE* out, const char* path, const std::string& what) {
  std::fflush(out);  // keeps the lines in order where both streams meet
  err.WriteNative(std::string(kProgramName) + ": " + path + ": " + what + "\n");
}

}  // namespace

int RunD88Cut(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  console::TextOutput outText(out);
  console::TextOutput errText(err);
  if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
    errText.WriteNative(std::string("Usage: ") + ProgramName(argc, argv) + " [d88file]\n");
    return 1;
  }
  const char* path = argv[1];
  if (!imageReader.Open(path)) {
    errText.WriteShiftJis(kOpenFailedMessage);
    // Only a stream whose temporary copy could not be made has more to say.
    if (imageReader.GetStreamProblem()[0] != '\0') Complain(errText, out, path, imageReader.GetStreamProblem());
    std::fflush(err);
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
    if (const DiskKind* disk = RecogniseBootSector(sectorBuffer.data(), delivered)) {
      outText.WriteShiftJis(disk->announcement);
      CutTable(disk->table, out, err);
    }
  }

  // What a stream held past the limit, or past a failed copy, was never seen.
  if (imageReader.GetStreamProblem()[0] != '\0') Complain(errText, out, path, imageReader.GetStreamProblem());
  std::fflush(out);
  std::fflush(err);
  return 0;
}
