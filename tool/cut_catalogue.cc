#include "tool/cut_catalogue.h"

#include <algorithm>

const DiskKind* RecogniseBootSector(const std::uint8_t* boot, std::int32_t delivered) {
  for (const DiskKind& disk : kDiskKinds) {
    const DiskMark& mark = disk.mark;
    if (delivered >= mark.End() &&
        std::equal(mark.text.begin(), mark.text.end(), boot + mark.position,
                   [](char text, std::uint8_t byte) { return static_cast<std::uint8_t>(text) == byte; })) {
      return &disk;
    }
  }
  return nullptr;
}
