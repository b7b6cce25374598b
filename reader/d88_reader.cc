#include "reader/d88_reader.h"

#include <cstdint>
#include <limits>

#include "reader/coding.h"

namespace {

constexpr std::int32_t kMaxOffset = std::numeric_limits<std::int32_t>::max();

// True if the sector header's ID is (c, h, r, n). An argument outside a
// byte's range matches nothing.
bool IdMatches(const std::uint8_t* header, std::int32_t c, std::int32_t h, std::int32_t r,
               std::int32_t n) {
  return header[d88::kIdCOffset] == c && header[d88::kIdHOffset] == h &&
         header[d88::kIdROffset] == r && header[d88::kIdNOffset] == n;
}

std::int32_t SectorCount(const std::uint8_t* header) {
  return d88::DecodeFixed16(header + d88::kSectorCountOffset);
}

std::int32_t DataSize(const std::uint8_t* header) {
  return d88::DecodeFixed16(header + d88::kDataSizeOffset);
}

}  // namespace

bool D88Reader::Open(const char* path) {
  file_.Close();
  diskCount_ = 0;
  mediaType_ = -1;
  writeProtect_ = -1;
  if (path == nullptr) return true;

  ResetSelection();
  if (!file_.Open(path)) return false;

  std::int64_t position = 0;
  std::uint8_t copy[d88::kHeaderSize];
  while (diskCount_ < d88::kMaxDisks) {
    file_.Seek(position);
    // The first header comes through the buffer, which then holds the start
    // of the image read next. Later headers are read on their own: refilling
    // the buffer for each would read 64 KiB per image.
    const std::uint8_t* header = copy;
    if (diskCount_ == 0) {
      header = file_.ReadRecord(d88::kHeaderSize);
      if (header == nullptr) break;
    } else if (!file_.ReadExact(copy, d88::kHeaderSize)) {
      break;
    }
    diskStarts_[diskCount_++] = static_cast<std::int32_t>(position);
    position += d88::DecodeSigned32(header + d88::kDiskSizeOffset);
    // Images are addressed by signed 32-bit offsets; a chain leaving that
    // range has no further image.
    if (position < 0 || position > kMaxOffset) break;
  }
  return true;
}

void D88Reader::SetSectorRange(std::int32_t first, std::int32_t last) {
  firstSector_ = first;
  lastSector_ = last;
}

void D88Reader::ResetSelection() {
  diskStart_ = -1;
  mediaType_ = -1;
  writeProtect_ = -1;
  diskSize_ = 0;
  diskName_[0] = '\0';
}

bool D88Reader::SelectDisk(std::int32_t index) {
  if (!file_.IsOpen()) return false;
  ResetSelection();
  if (index < 0 || index >= diskCount_) return false;

  file_.Seek(diskStarts_[index]);
  const std::uint8_t* header = file_.ReadRecord(d88::kHeaderSize);
  if (header == nullptr) return false;

  for (std::int32_t track = 0; track < d88::kTrackCount; ++track) {
    trackTable_[track] =
        d88::DecodeSigned32(header + d88::kTrackTableOffset + track * d88::kTrackEntrySize);
  }
  mediaType_ = header[d88::kMediaTypeOffset];
  writeProtect_ = header[d88::kWriteProtectOffset];
  diskSize_ = d88::DecodeSigned32(header + d88::kDiskSizeOffset);
  std::int32_t length = 0;
  while (length < d88::kNameLength && header[d88::kNameOffset + length] != 0) {
    diskName_[length] = static_cast<char>(header[d88::kNameOffset + length]);
    ++length;
  }
  diskName_[length] = '\0';
  diskStart_ = diskStarts_[index];
  return true;
}

bool D88Reader::HasTrack(std::int32_t track) const {
  if (!file_.IsOpen() || diskStart_ < 0) return false;
  if (track < 0 || track >= d88::kTrackCount) return false;
  const std::int32_t entry = trackTable_[track];
  // 0 marks an absent track; a negative entry would point before the image.
  return entry > 0 && entry <= diskSize_;
}

bool D88Reader::SeekTrack(std::int32_t track) {
  if (!HasTrack(track)) return false;
  file_.Seek(static_cast<std::int64_t>(diskStart_) + trackTable_[track]);
  return true;
}

std::int32_t D88Reader::ReadSector(std::int32_t track, std::int32_t c, std::int32_t h,
                                   std::int32_t r, std::int32_t n, std::uint8_t* dest,
                                   std::int32_t maxLength) {
  if (maxLength < 0 || !SeekTrack(track)) return 0;
  // Ends at a count of 0 or at the first record whose position reaches its
  // own count - 1, so records that disagree on the count still end the walk
  // within 65535 records.
  for (std::int32_t i = 0;; ++i) {
    const std::uint8_t* header = file_.ReadRecord(d88::kSectorHeaderSize);
    if (header == nullptr) return 0;
    const std::int32_t count = SectorCount(header);
    if (count == 0) return 0;
    const std::int32_t dataSize = DataSize(header);
    if (IdMatches(header, c, h, r, n)) {
      return file_.Read(dest, dataSize < maxLength ? dataSize : maxLength);
    }
    if (i >= count - 1) return 0;
    file_.Skip(dataSize);
  }
}

std::int32_t D88Reader::ReadSectors(std::int32_t track, std::int32_t c, std::int32_t h,
                                    std::int32_t r, std::int32_t n, std::uint8_t* dest,
                                    std::int32_t total) {
  if (n < 0 || n > 0xFF) return 0;
  // 128 << n leaves 32 bits from n = 24 on; such a sector outgrows any total.
  const std::int32_t sectorBytes =
      n < 24 ? d88::kSectorSizeBase << n : std::numeric_limits<std::int32_t>::max();
  std::int32_t delivered = 0;
  while (delivered < total) {
    const std::int32_t left = total - delivered;
    const std::int32_t chunk = sectorBytes < left ? sectorBytes : left;
    if (ReadSector(track, c, h, r, n, dest + delivered, chunk) < chunk) break;
    delivered += chunk;
    if (r == lastSector_) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = firstSector_;
    } else {
      ++r;
    }
  }
  return delivered;
}

std::int32_t D88Reader::ReadSectorIds(std::int32_t track, std::uint8_t* buf,
                                      std::int32_t length) {
  if (length < d88::kSectorIdSize || !SeekTrack(track)) return 0;
  std::int32_t written = 0;
  // Unlike ReadSector, a count of 0 goes on listing: the walk is bounded by
  // `length` and by the end of the file.
  for (std::int32_t i = 0; length - written >= d88::kSectorIdSize; ++i) {
    const std::uint8_t* header = file_.ReadRecord(d88::kSectorHeaderSize);
    if (header == nullptr) break;
    buf[written + 0] = header[d88::kIdCOffset];
    buf[written + 1] = header[d88::kIdHOffset];
    buf[written + 2] = header[d88::kIdROffset];
    buf[written + 3] = header[d88::kIdNOffset];
    written += d88::kSectorIdSize;
    if (i == SectorCount(header) - 1) break;
    file_.Skip(DataSize(header));
  }
  return written;
}
