// Builds D88 files in memory for the sample generator, tests, benchmarks and
// fuzz seeds.
//
// Every field has a sound default computed from the layout, and every one can
// be forced to any value, so that inconsistent, truncated or hostile images
// take one line to describe:
//
//   d88gen::Image image;
//   image.SetTrack(0, d88gen::StandardTrack(0, 16));
//   image.tracks[0]->records[3].dataSize = 0xFFFF;   // lie about one size
//   std::vector<std::uint8_t> bytes = image.Build();

#ifndef D88_D88GEN_IMAGE_BUILDER_H_
#define D88_D88GEN_IMAGE_BUILDER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/d88_format.h"

namespace d88gen {

struct SectorRecord {
  std::uint8_t c = 0;
  std::uint8_t h = 0;
  std::uint8_t r = 1;
  std::uint8_t n = 1;
  std::optional<std::uint16_t> count;  // default: the records in the track
  std::uint8_t density = 0;
  std::uint8_t deletedMark = 0;
  std::uint8_t status = 0;
  std::optional<std::uint16_t> dataSize;  // default: data.size()
  std::vector<std::uint8_t> data;
};

struct Track {
  std::vector<SectorRecord> records;
};

struct Image {
  std::string name;  // written raw, cut to the 17-byte field
  std::uint8_t writeProtect = 0;
  std::uint8_t mediaType = 0;
  std::optional<std::int32_t> diskSize;  // default: the bytes this image builds to
  // Default entry: the offset where the track is laid out, 0 when absent.
  std::array<std::optional<std::int32_t>, d88::kTrackCount> trackEntries;
  std::array<std::optional<Track>, d88::kTrackCount> tracks;
  std::vector<std::uint8_t> trailer;  // raw bytes after the last track

  Image& SetTrack(int index, Track track);
  // Offset from the image start at which track `index` is laid out, or 0.
  std::int32_t TrackOffset(int index) const;
  std::vector<std::uint8_t> Build() const;
};

// The data bytes of sector (track, r) as StandardTrack makes them: a pattern
// that differs for every sector, so misplaced bytes show.
std::vector<std::uint8_t> SectorPattern(int track, int r, int size);

// A double-sided track in the usual layout: C = track >> 1, H = track & 1,
// R 1..sectors of size code n, data from SectorPattern.
Track StandardTrack(int track, int sectors = 16, int n = 1);

// An image with every track 0..tracks-1 a StandardTrack.
Image StandardImage(int tracks = 80, int sectors = 16, int n = 1);

// Images back to back.
std::vector<std::uint8_t> BuildFile(const std::vector<Image>& images);

}  // namespace d88gen

#endif  // D88_D88GEN_IMAGE_BUILDER_H_
