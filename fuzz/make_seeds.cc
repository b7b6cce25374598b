// Writes the seed corpus of the fuzz targets into a directory:
//
//   d88_fuzz_seeds DIR
//
// Seeds are kept small (at most a few tens of KB, under the 64 KB -max_len
// the fuzz runs use): a Disk A and a Disk B that hold only the sectors the
// tool reads, and a few odd layouts that reach the reader's edges.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <stdexcept>

#include "d88gen/image_builder.h"
#include "fuzz/reader_arguments.h"
#include "reader/d88_format.h"
#include "tests/expected_cut.h"
#include "tests/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using d88gen::Image;
using d88gen::SectorRecord;
using d88gen::Track;

constexpr int kBootTrack = 0;
constexpr int kBootSector = 1;
constexpr std::uint8_t kSizeCode = 1;
constexpr std::uint8_t kUnaskedCylinder = 0xFF;

SectorRecord Sector(int track, int r, int size = expected::kSector) {
  SectorRecord record;
  record.c = static_cast<std::uint8_t>(track >> 1);
  record.h = static_cast<std::uint8_t>(track & 1);
  record.r = static_cast<std::uint8_t>(r);
  record.n = kSizeCode;
  record.data = d88gen::SectorPattern(track, r, size);
  return record;
}

SectorRecord Filler() {
  SectorRecord record;
  record.c = kUnaskedCylinder;
  record.n = kSizeCode;
  return record;
}

SectorRecord BootSector(bool diskA) {
  SectorRecord boot = Sector(kBootTrack, kBootSector);
  if (diskA) {
    expected::PutText(boot.data, expected::kMarkAPosition, expected::kMarkA);
  } else {
    expected::PutText(boot.data, expected::kMarkBPosition, expected::kMarkB);
  }
  return boot;
}

// A disk with its boot sector and, of all the tool reads, only the sectors
// of `files`.
Image SparseDisk(bool diskA, const std::vector<expected::File>& files) {
  Image image;
  image.SetTrack(kBootTrack, Track{{BootSector(diskA)}});
  for (const expected::File& file : files) {
    for (const expected::Stretch& stretch : file.stretches) {
      auto& track = image.tracks[static_cast<std::size_t>(stretch.track)];
      if (!track) track = Track{};
      for (int r = stretch.first; r <= stretch.last; ++r) track->records.push_back(Sector(stretch.track, r));
    }
  }
  return image;
}

Image DiskA() { return SparseDisk(true, expected::kDiskAFiles); }
Image DiskB() { return SparseDisk(false, expected::kDiskBFiles); }

// Every track the tool reads points at one track: fillers first, then the
// wanted sectors.
Image SharedTrack() {
  constexpr int kFillers = 64;
  Image image;
  Track shared;
  shared.records.assign(kFillers, Filler());
  shared.records.push_back(BootSector(false));
  const expected::File& demo = expected::FileNamed("DEMO2");
  for (const expected::Stretch& stretch : demo.stretches) {
    for (int r = stretch.first; r <= stretch.last; ++r) shared.records.push_back(Sector(stretch.track, r));
  }
  image.SetTrack(kBootTrack, std::move(shared));
  const std::int32_t offset = image.TrackOffset(kBootTrack);
  for (const expected::Stretch& stretch : demo.stretches) {
    image.trackEntries[static_cast<std::size_t>(stretch.track)] = offset;
  }
  return image;
}

// Records that disagree on the track's sector count, a count of 0, a
// duplicate ID and sectors shorter and longer than their size code.
Image OddRecords() {
  const expected::File& op = expected::FileNamed("OP");
  const expected::Stretch& stretch = op.stretches.front();
  Track track;
  for (int r = stretch.first; r <= stretch.last; ++r) track.records.push_back(Sector(stretch.track, r));
  track.records[0].count = 1;
  track.records[1].count = 0xFFFF;
  track.records[2].data.resize(expected::kSector / 2);
  track.records[3].data.resize(expected::kSector * 2);
  track.records[4] = track.records[3];
  track.records.back().count = 0;
  Image image = SparseDisk(true, {});
  image.SetTrack(stretch.track, std::move(track));
  return image;
}

// Track entries on and around the disk size, negative and past the file.
Image OddTrackEntries() {
  Image image = DiskB();
  const std::int32_t size = static_cast<std::int32_t>(image.Build().size());
  const auto& planet = expected::FileNamed("PLANET").stretches;
  const auto& demo = expected::FileNamed("DEMO2").stretches;
  image.trackEntries[static_cast<std::size_t>(planet.front().track)] = size;
  image.trackEntries[static_cast<std::size_t>(planet.back().track)] = size + 1;
  image.trackEntries[static_cast<std::size_t>(demo.front().track)] = -d88::kSectorHeaderSize;
  image.trackEntries[d88::kTrackCount - 1] = d88::kHeaderSize;
  return image;
}

// `image` with fuzz_reader's arguments as its last bytes.
Bytes WithArguments(Image image, const fuzz::Arguments& arguments) {
  const auto tail = fuzz::EncodeArguments(arguments);
  const Bytes spelled(tail.begin(), tail.end());
  if (fuzz::ParseArguments(spelled.data(), spelled.size()) != arguments) {
    throw std::logic_error("arguments outside what a seed can spell");
  }
  image.trailer = spelled;
  return image.Build();
}

// fuzz_reader arguments that read the run of `file` as the tool does.
fuzz::Arguments RunOf(const std::string& file) {
  const expected::Stretch& first = expected::FileNamed(file).stretches.front();
  fuzz::Arguments arguments;
  arguments.track = first.track;
  arguments.c = first.track >> 1;
  arguments.h = first.track & 1;
  arguments.r = first.first;
  arguments.n = kSizeCode;
  arguments.maxLength = expected::kSector;
  arguments.total = static_cast<std::int32_t>(expected::Contents(file).size());
  arguments.idLength = expected::kSector;
  return arguments;
}

Bytes Truncated(Bytes bytes, std::size_t keep) {
  bytes.resize(keep);
  return bytes;
}

void Write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  d88test::WriteFile(dir / name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: %s DIR\n", argc > 0 ? argv[0] : "d88_fuzz_seeds");
    return 2;
  }
  try {
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);

    Write(dir, "disk_a.d88", DiskA().Build());
    Write(dir, "disk_b.d88", DiskB().Build());
    Write(dir, "b_then_a.d88",
          d88gen::BuildFile({SparseDisk(false, {expected::FileNamed("DEMO2")}),
                              SparseDisk(true, {expected::FileNamed("OP")})}));

    // A disk size of 0 chains every image to offset 0: 64 of them.
    Image zeroSize = SparseDisk(true, {expected::FileNamed("OP")});
    zeroSize.diskSize = 0;
    Write(dir, "zero_disk_size.d88", zeroSize.Build());

    // A negative disk size ends the chain after the first image.
    Image negativeSize = SparseDisk(false, {expected::FileNamed("DEMO2")});
    negativeSize.diskSize = -d88::kHeaderSize;
    Write(dir, "negative_disk_size.d88", d88gen::BuildFile({negativeSize, DiskA()}));

    Write(dir, "shared_track.d88", SharedTrack().Build());
    Write(dir, "odd_records.d88", OddRecords().Build());
    Write(dir, "odd_track_entries.d88", OddTrackEntries().Build());

    // Cut inside a sector of PLANET and inside a sector header.
    const Bytes diskB = DiskB().Build();
    Write(dir, "cut_in_sector.d88", Truncated(diskB, diskB.size() - expected::kSector / 2));
    Write(dir, "cut_in_header.d88",
          Truncated(diskB, diskB.size() - expected::kSector - d88::kSectorHeaderSize / 2));
    // Runs that go on to the next head and the next cylinder, one that
    // stops at a sector range of 1..9, and one that ends inside a sector.
    Write(dir, "reader_driver.d88", WithArguments(DiskA(), RunOf("DRIVER")));
    Write(dir, "reader_main.d88", WithArguments(DiskA(), RunOf("MAIN")));
    fuzz::Arguments nineSectors = RunOf("OP");
    nineSectors.lastSector = 9;
    Write(dir, "reader_nine_sectors.d88", WithArguments(DiskA(), nineSectors));
    fuzz::Arguments partSector = RunOf("PLANET");
    partSector.total = expected::kSector + expected::kSector / 2;
    Write(dir, "reader_part_sector.d88", WithArguments(DiskB(), partSector));

    Write(dir, "header_only.d88", Truncated(diskB, d88::kHeaderSize));
    Write(dir, "short_header.d88", Truncated(diskB, d88::kHeaderSize - 1));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "d88_fuzz_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
