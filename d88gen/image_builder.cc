#include "d88gen/image_builder.h"

namespace d88gen {
namespace {

void PutFixed16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value & 0xFF);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutFixed32(std::uint8_t* p, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::size_t TrackBytes(const Track& track) {
  std::size_t size = 0;
  for (const SectorRecord& record : track.records) {
    size += static_cast<std::size_t>(d88::kSectorHeaderSize) + record.data.size();
  }
  return size;
}

void AppendTrack(const Track& track, std::vector<std::uint8_t>& out) {
  const auto defaultCount = static_cast<std::uint16_t>(track.records.size());
  for (const SectorRecord& record : track.records) {
    std::uint8_t header[d88::kSectorHeaderSize] = {};
    header[d88::kIdCOffset] = record.c;
    header[d88::kIdHOffset] = record.h;
    header[d88::kIdROffset] = record.r;
    header[d88::kIdNOffset] = record.n;
    PutFixed16(header + d88::kSectorCountOffset, record.count.value_or(defaultCount));
    header[d88::kDensityOffset] = record.density;
    header[d88::kDeletedMarkOffset] = record.deletedMark;
    header[d88::kStatusOffset] = record.status;
    PutFixed16(header + d88::kDataSizeOffset,
               record.dataSize.value_or(static_cast<std::uint16_t>(record.data.size())));
    out.insert(out.end(), std::begin(header), std::end(header));
    out.insert(out.end(), record.data.begin(), record.data.end());
  }
}

}  // namespace

Image& Image::SetTrack(int index, Track track) {
  tracks.at(static_cast<std::size_t>(index)) = std::move(track);
  return *this;
}

std::int32_t Image::TrackOffset(int index) const {
  if (!tracks.at(static_cast<std::size_t>(index))) return 0;
  std::size_t offset = d88::kHeaderSize;
  for (int i = 0; i < index; ++i) {
    if (tracks[static_cast<std::size_t>(i)]) offset += TrackBytes(*tracks[static_cast<std::size_t>(i)]);
  }
  return static_cast<std::int32_t>(offset);
}

std::vector<std::uint8_t> Image::Build() const {
  std::vector<std::uint8_t> out(d88::kHeaderSize, 0);
  for (std::size_t i = 0; i < name.size() && i < static_cast<std::size_t>(d88::kNameFieldSize); ++i) {
    out[d88::kNameOffset + i] = static_cast<std::uint8_t>(name[i]);
  }
  out[d88::kWriteProtectOffset] = writeProtect;
  out[d88::kMediaTypeOffset] = mediaType;
  for (int index = 0; index < d88::kTrackCount; ++index) {
    const auto slot = static_cast<std::size_t>(index);
    std::int32_t entry = 0;
    if (tracks[slot]) entry = static_cast<std::int32_t>(out.size());
    if (trackEntries[slot]) entry = *trackEntries[slot];
    if (tracks[slot]) AppendTrack(*tracks[slot], out);
    PutFixed32(out.data() + d88::kTrackTableOffset + index * d88::kTrackEntrySize, entry);
  }
  out.insert(out.end(), trailer.begin(), trailer.end());
  PutFixed32(out.data() + d88::kDiskSizeOffset,
             diskSize.value_or(static_cast<std::int32_t>(out.size())));
  return out;
}

std::vector<std::uint8_t> SectorPattern(int track, int r, int size) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  std::uint32_t state = static_cast<std::uint32_t>(track * 256 + r) * 2654435761u + 1;
  for (std::uint8_t& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 16);
  }
  return data;
}

Track StandardTrack(int track, int sectors, int n) {
  Track out;
  for (int r = 1; r <= sectors; ++r) {
    SectorRecord record;
    record.c = static_cast<std::uint8_t>(track >> 1);
    record.h = static_cast<std::uint8_t>(track & 1);
    record.r = static_cast<std::uint8_t>(r);
    record.n = static_cast<std::uint8_t>(n);
    record.data = SectorPattern(track, r, d88::kSectorSizeBase << n);
    out.records.push_back(std::move(record));
  }
  return out;
}

Image StandardImage(int tracks, int sectors, int n) {
  Image image;
  for (int track = 0; track < tracks; ++track) image.SetTrack(track, StandardTrack(track, sectors, n));
  return image;
}

std::vector<std::uint8_t> BuildFile(const std::vector<Image>& images) {
  std::vector<std::uint8_t> out;
  for (const Image& image : images) {
    const std::vector<std::uint8_t> bytes = image.Build();
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

}  // namespace d88gen
