// Reader speed on the paths the tool takes, beside the floor: the same track
// walk over bytes already in memory.
//
// Every benchmark reads a file written to a scratch directory once, so after
// the first pass the bytes come from the page cache and what is measured is
// the reader and its buffer, not the disk.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "d88gen/image_builder.h"
#include "reader/coding.h"
#include "reader/d88_format.h"
#include "reader/d88_reader.h"
#include "tests/test_files.h"
#include "tool/cut_catalogue.h"

namespace {

// Sectors of the standard 2D track the single-sector benchmarks read.
constexpr int kSectorsPerTrack = 16;
// 40 cylinders, two heads.
constexpr int kStandardTracks = 80;

// The longest track the format allows: 65535 records, all but the last with
// no data, the wanted sector last, so finding it visits every record.
constexpr int kLongTrackIndex = 0;
constexpr std::int32_t kLongTrackRecords = 0xFFFF;
constexpr std::uint8_t kFillerRecord = 0;  // an R that no sector read asks for

struct SectorId {
  std::int32_t c, h, r, n;
};
constexpr SectorId kLastOfLongTrack{0, 0, kLastSector, kSizeCode};

d88gen::Track LongTrack() {
  d88gen::Track track;
  track.records.resize(static_cast<std::size_t>(kLongTrackRecords));
  for (d88gen::SectorRecord& record : track.records) record.r = kFillerRecord;
  d88gen::SectorRecord& last = track.records.back();
  last.c = static_cast<std::uint8_t>(kLastOfLongTrack.c);
  last.h = static_cast<std::uint8_t>(kLastOfLongTrack.h);
  last.r = static_cast<std::uint8_t>(kLastOfLongTrack.r);
  last.n = static_cast<std::uint8_t>(kLastOfLongTrack.n);
  last.data = d88gen::SectorPattern(kLongTrackIndex, kLastOfLongTrack.r, kSectorBytes);
  return track;
}

// One scratch file per image kind, written on first use and kept for the
// whole run.
struct BenchFiles {
  d88test::ScratchDir dir;
  std::filesystem::path standard;
  std::filesystem::path longTrack;
  std::vector<std::uint8_t> longTrackBytes;  // the long track alone, for the floor

  BenchFiles() {
    standard = dir / "standard.d88";
    d88test::WriteFile(standard, d88gen::StandardImage(kStandardTracks, kSectorsPerTrack).Build());

    const d88gen::Track track = LongTrack();
    d88gen::Image image;
    image.SetTrack(kLongTrackIndex, track);
    const std::vector<std::uint8_t> bytes = image.Build();
    longTrack = dir / "long-track.d88";
    d88test::WriteFile(longTrack, bytes);
    const auto trackStart =
        static_cast<std::ptrdiff_t>(image.TrackOffset(kLongTrackIndex));
    longTrackBytes.assign(bytes.begin() + trackStart, bytes.end());
  }
};

BenchFiles& Files() {
  static BenchFiles files;
  return files;
}

// A reader with `path` open and its first disk selected, as the tool has it.
std::unique_ptr<D88Reader> OpenReader(const std::filesystem::path& path,
                                      benchmark::State& state) {
  auto reader = std::make_unique<D88Reader>();
  if (!reader->Open(path.string().c_str()) || !reader->SelectDisk(0)) {
    state.SkipWithError("cannot open the bench image");
  }
  reader->SetSectorRange(kFirstSector, kLastSector);
  return reader;
}

void ReadSectorOnStandardTrack(benchmark::State& state) {
  const auto r = static_cast<std::int32_t>(state.range(0));
  const std::unique_ptr<D88Reader> reader = OpenReader(Files().standard, state);
  std::uint8_t sector[kSectorBytes];
  for (auto _ : state) {
    const std::int32_t got = reader->ReadSector(0, 0, 0, r, kSizeCode, sector, kSectorBytes);
    if (got != kSectorBytes) state.SkipWithError("sector not found");
    benchmark::DoNotOptimize(sector);
  }
  state.SetBytesProcessed(state.iterations() * kSectorBytes);
  state.SetLabel("R" + std::to_string(r));
}
BENCHMARK(ReadSectorOnStandardTrack)
    ->UseRealTime()
    ->ArgName("r")
    ->Arg(1)
    ->Arg(kSectorsPerTrack / 2)
    ->Arg(kSectorsPerTrack);

// One benchmark per entry of the cut tables, named after its output file.
void ReadCatalogueRun(benchmark::State& state, const CutEntry* entry) {
  const std::unique_ptr<D88Reader> reader = OpenReader(Files().standard, state);
  const std::int32_t total = entry->offset + entry->size;
  static std::uint8_t sectorBuffer[kSectorBufferSize];
  for (auto _ : state) {
    const std::int32_t got =
        reader->ReadSectors(entry->track, CylinderOf(entry->track), HeadOf(entry->track),
                            entry->sector, kSizeCode, sectorBuffer, total);
    if (got != total) state.SkipWithError("run cut short");
    benchmark::DoNotOptimize(sectorBuffer);
  }
  state.SetBytesProcessed(state.iterations() * total);
}

template <std::size_t kEntries>
void RegisterCatalogueRuns(const CutEntry (&table)[kEntries]) {
  for (const CutEntry& entry : table) {
    if (entry.sector == 0) break;
    benchmark::RegisterBenchmark((std::string("ReadSectors/") + entry.name).c_str(),
                                 ReadCatalogueRun, &entry)
        ->UseRealTime();
  }
}

// Reports the walk's cost per record visited as a counter in seconds. Every
// benchmark here uses real time, so that it compares with the wall time of
// whole runs of the tool that bench/run measures.
void CountRecords(benchmark::State& state) {
  state.counters["per_record"] = benchmark::Counter(
      static_cast<double>(kLongTrackRecords),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The wanted sector is the last record, so every call walks all of them.
void WalkLongTrackInFile(benchmark::State& state) {
  const std::unique_ptr<D88Reader> reader = OpenReader(Files().longTrack, state);
  const SectorId wanted = kLastOfLongTrack;
  std::uint8_t sector[kSectorBytes];
  for (auto _ : state) {
    const std::int32_t got = reader->ReadSector(kLongTrackIndex, wanted.c, wanted.h,
                                                wanted.r, wanted.n, sector, kSectorBytes);
    if (got != kSectorBytes) state.SkipWithError("last sector not found");
    benchmark::DoNotOptimize(sector);
  }
  CountRecords(state);
}
BENCHMARK(WalkLongTrackInFile)->UseRealTime();

// The floor: the reader's walk, record by record, over the same track bytes
// already in memory. Decoding and bounds checks are the same; only the
// buffered file is gone.
std::int32_t ReadSectorInMemory(const std::vector<std::uint8_t>& track, std::int32_t c,
                                std::int32_t h, std::int32_t r, std::int32_t n,
                                std::uint8_t* dest, std::int32_t maxLength) {
  std::size_t position = 0;
  for (std::int32_t i = 0;; ++i) {
    if (track.size() - position < static_cast<std::size_t>(d88::kSectorHeaderSize)) return 0;
    const std::uint8_t* header = track.data() + position;
    position += d88::kSectorHeaderSize;
    const std::int32_t count = d88::DecodeFixed16(header + d88::kSectorCountOffset);
    if (count == 0) return 0;
    const std::int32_t dataSize = d88::DecodeFixed16(header + d88::kDataSizeOffset);
    if (header[d88::kIdCOffset] == c && header[d88::kIdHOffset] == h &&
        header[d88::kIdROffset] == r && header[d88::kIdNOffset] == n) {
      const std::size_t available = track.size() - position;
      std::size_t length = static_cast<std::size_t>(dataSize < maxLength ? dataSize : maxLength);
      if (length > available) length = available;
      std::memcpy(dest, track.data() + position, length);
      return static_cast<std::int32_t>(length);
    }
    if (i >= count - 1) return 0;
    position += static_cast<std::size_t>(dataSize);
  }
}

void WalkLongTrackInMemory(benchmark::State& state) {
  const std::vector<std::uint8_t>& track = Files().longTrackBytes;
  const SectorId wanted = kLastOfLongTrack;
  std::uint8_t sector[kSectorBytes];
  for (auto _ : state) {
    benchmark::DoNotOptimize(track.data());
    const std::int32_t got =
        ReadSectorInMemory(track, wanted.c, wanted.h, wanted.r, wanted.n, sector, kSectorBytes);
    if (got != kSectorBytes) state.SkipWithError("last sector not found");
    benchmark::DoNotOptimize(sector);
  }
  CountRecords(state);
}
BENCHMARK(WalkLongTrackInMemory)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  RegisterCatalogueRuns(kDiskATable);
  RegisterCatalogueRuns(kDiskBTable);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
