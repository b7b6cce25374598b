// Fuzz target for the whole d88cut run.
//
// The input is the D88 file. The run happens in a private output directory
// that holds nothing else; the input file lies outside it. Afterwards the
// directory must hold only regular files named by the catalogue, no
// temporary file, and each file exactly the bytes a reader of its own finds
// for the last image that cut it. The directory is emptied for the next
// input.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "d88gen/image_builder.h"
#include "fuzz/fuzz_support.h"
#include "reader/d88_reader.h"
#include "tests/test_files.h"
#include "tool/cut_catalogue.h"
#include "tool/driver.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, Bytes>;

// The output directory, made once and made the current directory.
const fs::path& OutputDir() {
  static const fs::path dir = [] {
    fs::path path = fuzz::PrivateDir() / "out";
    fs::create_directory(path);
    fuzz::Check(::chdir(path.c_str()) == 0, "cannot enter the output directory");
    return path;
  }();
  return dir;
}

std::FILE* NullStream() {
  static std::FILE* stream = std::fopen("/dev/null", "w");
  fuzz::Check(stream != nullptr, "cannot open /dev/null");
  return stream;
}

bool HasMark(const Bytes& boot, std::int32_t delivered, const DiskMark& mark) {
  if (delivered < mark.End()) return false;
  return std::equal(mark.text.begin(), mark.text.end(),
                    boot.begin() + static_cast<std::ptrdiff_t>(mark.position));
}

// The files a run on `path` must leave: for each image in file order, the
// runs of its disk's table that deliver anything, the later image winning.
// A run delivers what ReadSectors delivers, cut to the requested size.
Files ExpectedFiles(const char* path) {
  D88Reader reader;
  Files files;
  if (!reader.Open(path)) return files;
  static Bytes run(kSectorBufferSize);
  for (std::int32_t index = 0; index < reader.GetDiskCount(); ++index) {
    if (!reader.SelectDisk(index)) continue;
    reader.SetSectorRange(kFirstSector, kLastSector);
    Bytes boot(kSectorBytes);
    const std::int32_t delivered = reader.ReadSector(kBootTrack, CylinderOf(kBootTrack), HeadOf(kBootTrack),
                                                     kBootSector, kSizeCode, boot.data(), kSectorBytes);
    const CutEntry* table = HasMark(boot, delivered, kDiskAMark)   ? kDiskATable
                            : HasMark(boot, delivered, kDiskBMark) ? kDiskBTable
                                                                   : nullptr;
    for (const CutEntry* entry = table; entry != nullptr && entry->sector != 0; ++entry) {
      const std::int32_t wanted = entry->offset + entry->size;
      const std::int32_t got =
          reader.ReadSectors(entry->track, CylinderOf(entry->track), HeadOf(entry->track), entry->sector,
                             kSizeCode, run.data(), wanted);
      if (got <= 0) continue;
      const std::int32_t usable = std::min(got, wanted) - entry->offset;
      files[entry->name] = Bytes(run.begin() + entry->offset, run.begin() + entry->offset + std::max(usable, 0));
    }
  }
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz::WriteInput(data, size);
  const fs::path& out = OutputDir();

  const char* const argv[] = {"d88cut", path, nullptr};
  fuzz::Check(RunD88Cut(2, argv, NullStream(), NullStream()) == 0, "a run on a readable file ends with 0");

  const Files expected = ExpectedFiles(path);
  std::size_t seen = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(out)) {
    const std::string name = entry.path().filename().string();
    const auto wanted = expected.find(name);
    fuzz::Check(wanted != expected.end(), "only files the catalogue names, of a disk that has them");
    fuzz::Check(entry.is_regular_file() && !entry.is_symlink(), "output files are regular files");
    fuzz::Check(d88test::ReadFile(entry.path()) == wanted->second, "an output file holds its run's bytes");
    ++seen;
  }
  fuzz::Check(seen == expected.size(), "every run that delivers makes its file");

  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(out)) fs::remove(entry.path(), error);
  fuzz::Check(fs::is_empty(out), "the output directory is emptied for the next input");
  return 0;
}
