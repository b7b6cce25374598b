#include "info/report.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>

#include "reader/d88_format.h"

namespace {

// Every record a track can claim, four ID bytes each.
constexpr std::int32_t kMostRecords = 0xFFFF;

std::string MediaName(std::int32_t media) {
  switch (media) {
    case 0x00:
      return "2D";
    case 0x10:
      return "2DD";
    case 0x20:
      return "2HD";
  }
  char text[8];
  std::snprintf(text, sizeof text, "0x%02" PRIX32, media);
  return text;
}

void AppendNumber(std::string& text, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

void AppendPiece(std::string& text, std::string_view piece) { text += piece; }
void AppendPiece(std::string& text, std::int64_t number) { AppendNumber(text, number); }

// Appends texts as they are and numbers in decimal.
template <typename... Pieces>
void Append(std::string& text, const Pieces&... pieces) {
  (AppendPiece(text, pieces), ...);
}

// Why d88cut passes over an image whose boot sector read delivered
// `delivered` bytes.
void AppendNotRecognised(std::string& text, std::int32_t delivered) {
  text += "not recognised: ";
  if (delivered == 0) {
    text += "no boot sector";
  } else if (delivered < kSectorBytes) {
    Append(text, "a boot sector of only ", delivered, " bytes");
  } else {
    text += "no mark";
  }
}

bool SameGroup(const std::uint8_t* a, const std::uint8_t* b) {
  return a[d88::kIdCOffset] == b[d88::kIdCOffset] && a[d88::kIdHOffset] == b[d88::kIdHOffset] &&
         a[d88::kIdNOffset] == b[d88::kIdNOffset];
}

// Appends "C0 H0 R1-16 N1": consecutive IDs that share C, H and N make one
// group, with their R values in stored order, a run of R, R + 1, ... as a
// range and the same R n times over as R*n. A hostile track lists tens of
// thousands of IDs, so nothing here makes a string of its own.
void AppendIds(std::string& text, const std::uint8_t* ids, std::int32_t count) {
  const auto id = [ids](std::int32_t i) { return ids + i * d88::kSectorIdSize; };
  const auto r = [&id](std::int32_t i) { return std::int32_t{id(i)[d88::kIdROffset]}; };
  for (std::int32_t i = 0; i < count;) {
    const std::uint8_t* group = id(i);
    text += "  C";
    AppendNumber(text, group[d88::kIdCOffset]);
    text += " H";
    AppendNumber(text, group[d88::kIdHOffset]);
    text += " R";
    for (bool first = true; i < count && SameGroup(group, id(i)); first = false) {
      const auto continues = [&](std::int32_t next, std::int32_t step) {
        return next < count && SameGroup(group, id(next)) && r(next) == r(next - 1) + step;
      };
      const std::int32_t step = continues(i + 1, 0) ? 0 : 1;
      std::int32_t end = i;
      while (continues(end + 1, step)) ++end;
      if (!first) text += ',';
      AppendNumber(text, r(i));
      if (end > i) {
        text += step == 0 ? '*' : '-';
        AppendNumber(text, step == 0 ? end - i + 1 : r(end));
      }
      i = end + 1;
    }
    text += " N";
    AppendNumber(text, group[d88::kIdNOffset]);
  }
}

}  // namespace

ImageReport::ImageReport()
    : run_(static_cast<std::size_t>(kSectorBufferSize)),
      ids_(static_cast<std::size_t>(kMostRecords) * d88::kSectorIdSize) {}

void ImageReport::Write(D88Reader& reader, std::int32_t index, bool ids, console::TextOutput& out) {
  std::string& line = line_;
  line.clear();
  Append(line, "#", index, "  ");
  if (!reader.SelectDisk(index)) {
    line += "header cannot be read\n";
    out.WriteNative(line);
    return;
  }
  reader.SetSectorRange(kFirstSector, kLastSector);
  std::int32_t tracks = 0;
  for (std::int32_t track = 0; track < d88::kTrackCount; ++track) tracks += reader.HasTrack(track) ? 1 : 0;
  Append(line, "offset ", reader.GetDiskStart(), "  size ", reader.GetDiskSize(), "  ",
         MediaName(reader.GetMediaType()), "  ");
  if (reader.GetWriteProtect() != 0) line += "write-protected  ";
  Append(line, "tracks ", tracks, "  \"");
  out.WriteNative(line);
  out.WriteEscapedShiftJis(reader.GetDiskName());

  const std::int32_t delivered = reader.ReadSector(kBootTrack, CylinderOf(kBootTrack), HeadOf(kBootTrack),
                                                   kBootSector, kSizeCode, run_.data(), kSectorBytes);
  const DiskKind* disk = RecogniseBootSector(run_.data(), delivered);
  line = "\"  ";
  if (disk != nullptr) {
    line += disk->label;
  } else {
    AppendNotRecognised(line, delivered);
  }
  line += '\n';
  out.WriteNative(line);
  if (disk != nullptr) WriteCut(reader, *disk, out);
  if (ids) WriteIds(reader, out);
}

void ImageReport::WriteCut(D88Reader& reader, const DiskKind& disk, console::TextOutput& out) {
  std::string& line = line_;
  line = "    ";
  for (const CutEntry* entry = disk.table; entry->sector != 0; ++entry) {
    const std::int32_t wanted = entry->offset + entry->size;
    const std::int32_t got = reader.ReadSectors(entry->track, CylinderOf(entry->track), HeadOf(entry->track),
                                                entry->sector, kSizeCode, run_.data(), wanted);
    Append(line, "  ", entry->name, " ", BytesToWrite(entry->offset, entry->size, got), "/", entry->size);
    if (got < wanted) {
      // ReadSectors counts whole sectors only: the next one is where it stopped.
      const SectorAddress stop = RunSector(*entry, got / kSectorBytes);
      const std::int32_t found = reader.ReadSector(stop.track, CylinderOf(stop.track), HeadOf(stop.track),
                                                   stop.sector, kSizeCode, run_.data(), kSectorBytes);
      Append(line, " (track ", stop.track, " sector ", stop.sector);
      if (found == 0) {
        line += " missing)";
      } else {
        Append(line, ": ", found, " of ", kSectorBytes, " bytes)");
      }
    }
  }
  line += '\n';
  out.WriteNative(line);
}

void ImageReport::WriteIds(D88Reader& reader, console::TextOutput& out) {
  std::string& line = line_;
  for (std::int32_t track = 0; track < d88::kTrackCount; ++track) {
    if (!reader.HasTrack(track)) continue;
    const std::int32_t bytes = reader.ReadSectorIds(track, ids_.data(), static_cast<std::int32_t>(ids_.size()));
    const std::int32_t count = bytes / d88::kSectorIdSize;
    line = "      track ";
    AppendNumber(line, track);
    if (count == 0) {
      line += ": no sector header";
    } else {
      line += ": ";
      AppendNumber(line, count);
      line += count == 1 ? " sector" : " sectors";
      AppendIds(line, ids_.data(), count);
    }
    line += '\n';
    out.WriteNative(line);
  }
}
