// What d88cut should print and write, spelled out from the disk set's
// description rather than taken from the tool's tables, so that a wrong
// entry, mark or message in the tool shows up as a difference.

#ifndef D88CUT_TESTS_EXPECTED_CUT_H_
#define D88CUT_TESTS_EXPECTED_CUT_H_

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "d88gen/image_builder.h"

namespace expected {

using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, Bytes>;

// "83 74 2E" -> the bytes 0x83 0x74 0x2E.
inline std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= hex.size()) throw std::invalid_argument("odd hex string");
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

inline const std::string kOpenFailedLine = FromHex(
    "83 74 83 40 83 43 83 8B 82 F0 83 49 81 5B 83 76 83 93 82 C5 82 AB 82 DC 82 B9 82 F1 2E 0A");
inline const std::string kDiskALine =
    FromHex("44 69 73 6B 20 41 20 82 F0 94 46 8E AF 82 B5 82 DC 82 B5 82 BD 2E 0A");
inline const std::string kDiskBLine =
    FromHex("44 69 73 6B 20 42 20 82 F0 94 46 8E AF 82 B5 82 DC 82 B5 82 BD 2E 0A");

// Boot sector marks: position and text.
inline constexpr int kMarkAPosition = 2;
inline constexpr std::string_view kMarkA = "A DISK";
inline constexpr int kMarkBPosition = 233;
inline constexpr std::string_view kMarkB = "1986/11B DISK for QUELM";

inline constexpr int kSector = 256;
// Tracks 0..48 hold every sector either disk's files need.
inline constexpr int kTracks = 50;

// Sectors first..last of one track index, 256 bytes each.
struct Stretch {
  int track;
  int first;
  int last;
};

struct File {
  std::string name;
  std::vector<Stretch> stretches;
};

inline const std::vector<File> kDiskAFiles = {
    {"DRIVER", {{0, 6, 16}, {1, 1, 1}}},
    {"MAIN", {{23, 1, 16}, {24, 1, 12}}},
    {"OP", {{14, 3, 9}}},
    {"ED", {{19, 1, 16}, {20, 1, 13}}},
};
inline const std::vector<File> kDiskBFiles = {
    {"PLANET", {{45, 14, 16}, {46, 1, 5}}},
    {"DEMO2", {{48, 6, 7}}},
};

// The bytes of `file` on a disk whose sectors hold d88gen::SectorPattern.
inline Bytes Contents(const File& file) {
  Bytes bytes;
  for (const Stretch& stretch : file.stretches) {
    for (int r = stretch.first; r <= stretch.last; ++r) {
      const Bytes sector = d88gen::SectorPattern(stretch.track, r, kSector);
      bytes.insert(bytes.end(), sector.begin(), sector.end());
    }
  }
  return bytes;
}

inline const File& FileNamed(const std::string& name) {
  for (const auto* files : {&kDiskAFiles, &kDiskBFiles}) {
    for (const File& file : *files) {
      if (file.name == name) return file;
    }
  }
  throw std::invalid_argument("no file " + name);
}

inline Bytes Contents(const std::string& name) { return Contents(FileNamed(name)); }

inline std::string CuttingLine(const std::string& name) { return "cutting ... " + name + "\n"; }

// Standard output for a whole disk: its line, then one line per file.
inline std::string DiskOutput(const std::string& diskLine, const std::vector<File>& files) {
  std::string text = diskLine;
  for (const File& file : files) text += CuttingLine(file.name);
  return text;
}
inline std::string DiskAOutput() { return DiskOutput(kDiskALine, kDiskAFiles); }
inline std::string DiskBOutput() { return DiskOutput(kDiskBLine, kDiskBFiles); }

inline Files AllFiles(const std::vector<File>& files) {
  Files out;
  for (const File& file : files) out[file.name] = Contents(file);
  return out;
}

inline void PutText(Bytes& data, int position, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    data.at(static_cast<std::size_t>(position) + i) = static_cast<std::uint8_t>(text[i]);
  }
}

// A plain disk of kTracks tracks of 16 x 256 bytes of SectorPattern.
inline d88gen::Image PlainDisk() { return d88gen::StandardImage(kTracks); }

// The record of sector `r` of `track` of `image`.
inline d88gen::SectorRecord& Record(d88gen::Image& image, int track, int r) {
  for (d88gen::SectorRecord& record : image.tracks.at(static_cast<std::size_t>(track))->records) {
    if (record.r == r) return record;
  }
  throw std::invalid_argument("no such sector");
}

inline void RemoveSector(d88gen::Image& image, int track, int r) {
  std::erase_if(image.tracks.at(static_cast<std::size_t>(track))->records,
                [r](const d88gen::SectorRecord& record) { return record.r == r; });
}

inline d88gen::Image DiskA() {
  d88gen::Image image = PlainDisk();
  PutText(Record(image, 0, 1).data, kMarkAPosition, kMarkA);
  return image;
}

inline d88gen::Image DiskB() {
  d88gen::Image image = PlainDisk();
  PutText(Record(image, 0, 1).data, kMarkBPosition, kMarkB);
  return image;
}

}  // namespace expected

#endif  // D88CUT_TESTS_EXPECTED_CUT_H_
