// Writes synthetic D88 files for the demo, tests and benchmarks:
//
//   d88gen sample PATH            Disk A, then Disk B
//   d88gen many PATH              64 images: Disk A, Disk B, Disk A, ... (32 of each)
//   d88gen hostile PATH [COUNT]   COUNT images (1..64, default 1): Disk A, Disk B, ...
//
// "sample" and "many" images are plain double-sided disks of 80 tracks of
// 16 x 256-byte sectors. In a "hostile" image every track the tool reads
// (the boot track and every track of the disk's runs) is one shared track of
// 65535 records that all claim 65535 sectors: records with an ID the tool
// never asks for and no data come first, every wanted sector last, so each
// sector read walks the longest track the format allows.
//
// Sector data is d88gen::SectorPattern throughout; the boot sector carries
// the disk's mark. The marks and runs come from the tool's own catalogue.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "d88gen/image_builder.h"
#include "reader/d88_format.h"
#include "tool/cut_catalogue.h"

namespace {

using d88gen::Image;
using d88gen::SectorRecord;
using d88gen::Track;

constexpr int kPlainTracks = 80;
// The most records a sector header's count can claim.
constexpr std::size_t kLongestTrack = 0xFFFF;
// No track index of the tool maps to this cylinder.
constexpr std::uint8_t kUnaskedCylinder = 0xFF;
constexpr int kDefaultHostileCount = 1;

enum class Disk { kA, kB };

// Images alternate Disk A, Disk B, starting with A.
Disk DiskAt(int index) { return index % 2 == 0 ? Disk::kA : Disk::kB; }

const DiskMark& MarkOf(Disk disk) { return disk == Disk::kA ? kDiskAMark : kDiskBMark; }
const CutEntry* TableOf(Disk disk) { return disk == Disk::kA ? kDiskATable : kDiskBTable; }

void PutMark(std::vector<std::uint8_t>& bootData, const DiskMark& mark) {
  for (std::size_t i = 0; i < mark.text.size(); ++i) {
    bootData.at(static_cast<std::size_t>(mark.position) + i) =
        static_cast<std::uint8_t>(mark.text[i]);
  }
}

// The boot sector and every sector of every run of the disk's table, stepped
// as the reader steps a run.
std::vector<SectorAddress> WantedSectors(Disk disk) {
  std::vector<SectorAddress> wanted{{kBootTrack, kBootSector}};
  for (const CutEntry* entry = TableOf(disk); entry->sector != 0; ++entry) {
    for (std::int32_t i = 0; i < RunSectorCount(*entry); ++i) wanted.push_back(RunSector(*entry, i));
  }
  return wanted;
}

Image PlainDisk(Disk disk) {
  Image image = d88gen::StandardImage(kPlainTracks, kLastSector, kSizeCode);
  image.name = disk == Disk::kA ? "SAMPLE A" : "SAMPLE B";
  PutMark(image.tracks[kBootTrack]->records[kBootSector - kFirstSector].data, MarkOf(disk));
  return image;
}

Image HostileDisk(Disk disk) {
  const std::vector<SectorAddress> wanted = WantedSectors(disk);
  Track shared;
  SectorRecord filler;
  filler.c = kUnaskedCylinder;
  filler.n = kSizeCode;
  shared.records.assign(kLongestTrack - wanted.size(), filler);
  for (const SectorAddress& address : wanted) {
    SectorRecord record;
    record.c = static_cast<std::uint8_t>(CylinderOf(address.track));
    record.h = static_cast<std::uint8_t>(HeadOf(address.track));
    record.r = static_cast<std::uint8_t>(address.sector);
    record.n = kSizeCode;
    record.data = d88gen::SectorPattern(address.track, address.sector, kSectorBytes);
    if (address.track == kBootTrack && address.sector == kBootSector) PutMark(record.data, MarkOf(disk));
    shared.records.push_back(std::move(record));
  }

  Image image;
  image.name = disk == Disk::kA ? "HOSTILE A" : "HOSTILE B";
  image.SetTrack(kBootTrack, std::move(shared));
  const std::int32_t sharedOffset = image.TrackOffset(kBootTrack);
  for (const SectorAddress& address : wanted) {
    image.trackEntries[static_cast<std::size_t>(address.track)] = sharedOffset;
  }
  return image;
}

// Builds and writes one image at a time: 64 hostile images held at once
// would take hundreds of megabytes.
template <typename MakeImage>
void WriteImages(const std::string& path, int count, MakeImage makeImage) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int index = 0; index < count && out; ++index) {
    const std::vector<std::uint8_t> bytes = makeImage(DiskAt(index)).Build();
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

int ParseCount(std::string_view text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end != text.data() + text.size() || count < 1 ||
      count > d88::kMaxDisks) {
    throw std::invalid_argument("COUNT must be a number from 1 to " +
                                std::to_string(d88::kMaxDisks));
  }
  return count;
}

int Usage(const char* program) {
  std::fprintf(stderr,
               "Usage: %s sample PATH\n"
               "       %s many PATH\n"
               "       %s hostile PATH [COUNT]\n",
               program, program, program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "d88gen";
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  try {
    if (args.size() == 2 && args[0] == "sample") {
      WriteImages(args[1], 2, PlainDisk);
    } else if (args.size() == 2 && args[0] == "many") {
      WriteImages(args[1], d88::kMaxDisks, PlainDisk);
    } else if ((args.size() == 2 || args.size() == 3) && args[0] == "hostile") {
      const int count = args.size() == 3 ? ParseCount(args[2]) : kDefaultHostileCount;
      WriteImages(args[1], count, HostileDisk);
    } else {
      return Usage(program);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "d88gen: %s\n", error.what());
    return 1;
  }
  return 0;
}
