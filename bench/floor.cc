// The floor for a cut of the two-disk set: creates the six output files of
// the catalogue with their sizes, without reading anything. Plain create,
// write, close in the current directory; no temporary file, no rename.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tool/cut_catalogue.h"

namespace {

std::uint8_t zeroes[kSectorBufferSize];

constexpr mode_t kNewFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;

bool WriteWhole(const CutEntry& entry) {
  const int handle = ::open(entry.name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
  if (handle < 0) return false;
  const auto size = static_cast<std::size_t>(entry.size);
  const ssize_t written = ::write(handle, zeroes, size);
  const bool closed = ::close(handle) == 0;
  return closed && written >= 0 && static_cast<std::size_t>(written) == size;
}

template <std::size_t kEntries>
bool WriteTable(const CutEntry (&table)[kEntries]) {
  for (const CutEntry& entry : table) {
    if (entry.sector == 0) break;
    if (!WriteWhole(entry)) {
      std::fprintf(stderr, "d88floor: %s: %s\n", entry.name, std::strerror(errno));
      return false;
    }
  }
  return true;
}

}  // namespace

int main() { return WriteTable(kDiskATable) && WriteTable(kDiskBTable) ? 0 : 1; }
