// Opens a D88 file and prints how many images the reader found, nothing
// more: bench/run traces it to see what indexing alone reads from the file.

#include <cstdio>

#include "reader/d88_reader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: d88index_only D88FILE\n");
    return 2;
  }
  D88Reader reader;
  if (!reader.Open(argv[1])) {
    std::fprintf(stderr, "d88index_only: cannot open %s\n", argv[1]);
    return 1;
  }
  std::printf("%d\n", static_cast<int>(reader.GetDiskCount()));
  return 0;
}
