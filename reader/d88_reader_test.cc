#include "reader/d88_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "d88gen/image_builder.h"
#include "reader/coding.h"
#include "tests/test_files.h"

namespace {

using d88gen::Image;
using d88gen::SectorPattern;
using d88gen::SectorRecord;
using d88gen::StandardTrack;
using d88gen::Track;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUntouched = 0xEE;
constexpr std::int32_t kSector = 256;

// Writes `bytes` to a scratch file and opens a reader on it.
class ReaderTest : public testing::Test {
 protected:
  void OpenBytes(const Bytes& bytes) {
    d88test::WriteFile(path(), bytes);
    ASSERT_TRUE(reader_.Open(path().c_str()));
  }
  void OpenImage(const Image& image) { OpenBytes(image.Build()); }
  void OpenSelected(const Image& image) {
    OpenImage(image);
    ASSERT_TRUE(reader_.SelectDisk(0));
  }
  std::string path() const { return (dir_ / "image.d88").string(); }

  // Reads (track, c, h, r, n) into a buffer of `size` untouched bytes.
  Bytes Read(std::int32_t track, std::int32_t c, std::int32_t h, std::int32_t r, std::int32_t n,
             std::int32_t maxLength, std::int32_t* result, std::int32_t size = 2048) {
    Bytes dest(static_cast<std::size_t>(size), kUntouched);
    *result = reader_.ReadSector(track, c, h, r, n, dest.data(), maxLength);
    return dest;
  }

  d88test::ScratchDir dir_;
  D88Reader reader_;
};

Bytes Untouched(std::size_t size) { return Bytes(size, kUntouched); }

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A record with an ID nothing asks for and no data.
SectorRecord Filler(std::uint16_t count) {
  SectorRecord record;
  record.c = 0xFF;
  record.count = count;
  return record;
}

SectorRecord Sector(std::uint8_t r, std::uint16_t count, int dataSize = kSector) {
  SectorRecord record;
  record.r = r;
  record.count = count;
  record.data = SectorPattern(0, r, dataSize);
  return record;
}

// --- Opening and indexing ---------------------------------------------------

TEST_F(ReaderTest, IndexesChainedImages) {
  Image a = d88gen::StandardImage(2);
  Image b = d88gen::StandardImage(1);
  Image c = d88gen::StandardImage(3);
  a.name = "FIRST";
  b.name = "SECOND";
  c.name = "THIRD";
  b.mediaType = 0x20;
  OpenBytes(d88gen::BuildFile({a, b, c}));

  ASSERT_EQ(reader_.GetDiskCount(), 3);
  const struct {
    const char* name;
    std::int32_t mediaType;
    std::int32_t tracks;
  } expected[] = {{"FIRST", 0, 2}, {"SECOND", 0x20, 1}, {"THIRD", 0, 3}};
  for (std::int32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(reader_.SelectDisk(i));
    EXPECT_STREQ(reader_.GetDiskName(), expected[i].name);
    EXPECT_EQ(reader_.GetMediaType(), expected[i].mediaType);
    std::int32_t got = 0;
    const std::int32_t last = expected[i].tracks - 1;
    const Bytes dest = Read(last, last >> 1, last & 1, 16, 1, kSector, &got, kSector);
    EXPECT_EQ(got, kSector);
    EXPECT_EQ(dest, SectorPattern(last, 16, kSector));
    Read(last + 1, (last + 1) >> 1, (last + 1) & 1, 1, 1, kSector, &got);
    EXPECT_EQ(got, 0);
  }
}

TEST_F(ReaderTest, DiskSizeZeroIndexesSixtyFourCopiesOfTheFirstImage) {
  Image image = d88gen::StandardImage(1);
  image.diskSize = 0;
  image.name = "LOOP";
  OpenImage(image);
  EXPECT_EQ(reader_.GetDiskCount(), d88::kMaxDisks);
  ASSERT_TRUE(reader_.SelectDisk(d88::kMaxDisks - 1));
  EXPECT_STREQ(reader_.GetDiskName(), "LOOP");
}

TEST_F(ReaderTest, FilesWithoutAWholeHeaderHoldNoImage) {
  const Bytes full = d88gen::StandardImage(1).Build();
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{d88::kHeaderSize - 1}}) {
    SCOPED_TRACE(size);
    OpenBytes(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)));
    EXPECT_EQ(reader_.GetDiskCount(), 0);
    EXPECT_FALSE(reader_.SelectDisk(0));
  }
  // A header and nothing else is an image, even though its tracks are gone.
  OpenBytes(Bytes(full.begin(), full.begin() + d88::kHeaderSize));
  EXPECT_EQ(reader_.GetDiskCount(), 1);
  EXPECT_TRUE(reader_.SelectDisk(0));
}

TEST_F(ReaderTest, ChainLeavingTheSignedRangeEndsIndexing) {
  const Image first = d88gen::StandardImage(1);
  const auto firstSize = static_cast<std::int32_t>(first.Build().size());
  const struct {
    const char* what;
    std::int32_t secondSize;
    std::int32_t disks;
  } cases[] = {
      {"next image below offset 0", -(firstSize + 1), 2},
      {"next image above 2^31 - 1", 0x7FFFFFFF, 2},
      {"back to offset 0 is still in range", -firstSize, d88::kMaxDisks},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Image second = first;
    second.diskSize = c.secondSize;
    OpenBytes(d88gen::BuildFile({first, second, first}));
    EXPECT_EQ(reader_.GetDiskCount(), c.disks);
    ASSERT_TRUE(reader_.SelectDisk(1));
    std::int32_t got = -1;
    Read(0, 0, 0, 1, 1, kSector, &got);
    // A negative size puts every track entry above it: nothing reads.
    EXPECT_EQ(got, c.secondSize < 0 ? 0 : kSector);
  }
}

TEST_F(ReaderTest, OpenFailureLeavesNoFile) {
  OpenImage(d88gen::StandardImage(1));
  ASSERT_TRUE(reader_.SelectDisk(0));
  EXPECT_FALSE(reader_.Open((dir_ / "missing.d88").string().c_str()));
  EXPECT_EQ(reader_.GetDiskCount(), 0);
  EXPECT_FALSE(reader_.SelectDisk(0));
  std::int32_t got = -1;
  Read(0, 0, 0, 1, 1, kSector, &got);
  EXPECT_EQ(got, 0);
}

TEST_F(ReaderTest, OpenOnAnOpenReaderReplacesFileAndSelection) {
  Image one = d88gen::StandardImage(1);
  one.name = "ONE";
  OpenSelected(one);

  Image other = d88gen::StandardImage(2);
  Image second = other;
  second.name = "TWO";
  const std::string otherPath = (dir_ / "other.d88").string();
  d88test::WriteFile(otherPath, d88gen::BuildFile({other, second}));
  ASSERT_TRUE(reader_.Open(otherPath.c_str()));
  EXPECT_EQ(reader_.GetDiskCount(), 2);
  // The earlier selection does not carry over to the new file.
  std::int32_t got = -1;
  Read(0, 0, 0, 1, 1, kSector, &got);
  EXPECT_EQ(got, 0);
  ASSERT_TRUE(reader_.SelectDisk(1));
  EXPECT_STREQ(reader_.GetDiskName(), "TWO");
}

TEST_F(ReaderTest, OpenNullClosesButKeepsTheName) {
  Image image = d88gen::StandardImage(1);
  image.name = "KEPT";
  image.mediaType = 0x10;
  OpenSelected(image);
  EXPECT_TRUE(reader_.Open(nullptr));
  EXPECT_EQ(reader_.GetDiskCount(), 0);
  EXPECT_EQ(reader_.GetMediaType(), -1);
  EXPECT_STREQ(reader_.GetDiskName(), "KEPT");
  std::int32_t got = -1;
  Read(0, 0, 0, 1, 1, kSector, &got);
  EXPECT_EQ(got, 0);
  EXPECT_FALSE(reader_.SelectDisk(0));
  EXPECT_TRUE(reader_.Open(nullptr));  // closing twice is harmless
}

TEST(ReaderWithoutFileTest, EverythingFailsQuietly) {
  D88Reader reader;
  EXPECT_EQ(reader.GetDiskCount(), 0);
  EXPECT_EQ(reader.GetMediaType(), -1);
  EXPECT_STREQ(reader.GetDiskName(), "");
  EXPECT_FALSE(reader.SelectDisk(0));
  std::uint8_t dest[kSector];
  EXPECT_EQ(reader.ReadSector(0, 0, 0, 1, 1, dest, kSector), 0);
  EXPECT_EQ(reader.ReadSectors(0, 0, 0, 1, 1, dest, kSector), 0);
  EXPECT_EQ(reader.ReadSectorIds(0, dest, kSector), 0);
}

// --- Selecting --------------------------------------------------------------

TEST_F(ReaderTest, NameKeepsAtMostSixteenCharacters) {
  const struct {
    std::string field;
    const char* name;
  } cases[] = {
      {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOP"},  // 17 characters, no NUL
      {"SHORT", "SHORT"},
      {std::string("AB\0CD", 5), "AB"},
      {"", ""},
  };
  for (const auto& c : cases) {
    Image image = d88gen::StandardImage(1);
    image.name = c.field;
    OpenSelected(image);
    EXPECT_STREQ(reader_.GetDiskName(), c.name);
  }
}

TEST_F(ReaderTest, FailedSelectionDeselects) {
  Image image = d88gen::StandardImage(1);
  image.name = "DISK";
  image.mediaType = 0x20;
  OpenImage(image);
  for (const std::int32_t index : {1, -1, 64, 0x7FFFFFFF}) {
    SCOPED_TRACE(index);
    ASSERT_TRUE(reader_.SelectDisk(0));
    EXPECT_FALSE(reader_.SelectDisk(index));
    EXPECT_STREQ(reader_.GetDiskName(), "");
    EXPECT_EQ(reader_.GetMediaType(), -1);
    std::int32_t got = -1;
    Read(0, 0, 0, 1, 1, kSector, &got);
    EXPECT_EQ(got, 0);
  }
}

// --- Track table entries -----------------------------------------------------

TEST_F(ReaderTest, TrackEntryBounds) {
  Image image;
  image.SetTrack(0, StandardTrack(0, 1));
  const std::int32_t offset = image.TrackOffset(0);
  const std::int32_t size = static_cast<std::int32_t>(image.Build().size());
  const struct {
    const char* what;
    std::optional<std::int32_t> entry;  // default: where the track is
    std::int32_t diskSize;
    bool found;
  } cases[] = {
      {"entry inside the image", {}, size, true},
      {"entry equal to the disk size", {}, offset, true},
      {"entry one above the disk size", {}, offset - 1, false},
      {"entry 0 is absent", 0, size, false},
      {"negative entry is absent", -16, size, false},
      {"top bit set is absent", static_cast<std::int32_t>(0x80000000u), size, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Image probe = image;
    probe.trackEntries[0] = c.entry;
    probe.diskSize = c.diskSize;
    OpenSelected(probe);
    std::int32_t got = -1;
    const Bytes dest = Read(0, 0, 0, 1, 1, kSector, &got, kSector);
    EXPECT_EQ(got, c.found ? kSector : 0);
    EXPECT_EQ(dest, c.found ? SectorPattern(0, 1, kSector) : Untouched(kSector));
    std::uint8_t ids[16];
    EXPECT_EQ(reader_.ReadSectorIds(0, ids, sizeof ids), c.found ? 4 : 0);
  }
}

TEST_F(ReaderTest, TrackIndexOutsideTheTable) {
  OpenSelected(d88gen::StandardImage(1));
  for (const std::int32_t track : {-1, d88::kTrackCount, 0x7FFFFFFF, static_cast<std::int32_t>(0x80000000u)}) {
    std::int32_t got = -1;
    EXPECT_EQ(Read(track, 0, 0, 1, 1, kSector, &got), Untouched(2048));
    EXPECT_EQ(got, 0);
    std::uint8_t ids[16];
    EXPECT_EQ(reader_.ReadSectorIds(track, ids, 16), 0);
  }
}

// --- Reading one sector -----------------------------------------------------

TEST_F(ReaderTest, ReadSectorMatchesAllFourIdBytes) {
  Image image = d88gen::StandardImage(4);
  OpenSelected(image);
  const struct {
    std::int32_t track, c, h, r, n;
    bool found;
  } cases[] = {
      {0, 0, 0, 1, 1, true},   {0, 0, 0, 16, 1, true},  {3, 1, 1, 8, 1, true},
      {0, 0, 0, 17, 1, false}, {0, 1, 0, 1, 1, false},  {0, 0, 1, 1, 1, false},
      {0, 0, 0, 1, 2, false},  {0, 0, 0, 0, 1, false},  {3, 0, 0, 8, 1, false},
      // Out of a byte's range: must not wrap onto 0 or 1.
      {0, 256, 0, 1, 1, false}, {0, 0, 0, 257, 1, false}, {0, 0, 0, 1, 257, false},
      {0, -256, 0, 1, 1, false}, {0, 0, -255, 1, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.track << " " << c.c << " " << c.h << " " << c.r << " " << c.n);
    std::int32_t got = -1;
    const Bytes dest = Read(c.track, c.c, c.h, c.r, c.n, kSector, &got, kSector);
    EXPECT_EQ(got, c.found ? kSector : 0);
    EXPECT_EQ(dest, c.found ? SectorPattern(c.track, c.r, kSector) : Untouched(kSector));
  }
}

TEST_F(ReaderTest, ReadSectorLengthIsTheSmallerOfDataSizeAndMaxLength) {
  Track track;
  track.records = {Sector(1, 2, 256), Sector(2, 2, 128)};
  OpenSelected(Image().SetTrack(0, track));
  const struct {
    std::int32_t r, maxLength, expected;
  } cases[] = {{1, 100, 100}, {1, 256, 256}, {1, 1000, 256}, {2, 256, 128}, {1, 0, 0}, {1, -5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "r " << c.r << " maxLength " << c.maxLength);
    std::int32_t got = -1;
    const Bytes dest = Read(0, 0, 0, c.r, 1, c.maxLength, &got, 1024);
    ASSERT_EQ(got, c.expected);
    Bytes expected = SectorPattern(0, c.r, c.r == 1 ? 256 : 128);
    expected.resize(static_cast<std::size_t>(c.expected));
    expected.resize(1024, kUntouched);
    EXPECT_EQ(dest, expected);
  }
}

TEST_F(ReaderTest, FirstMatchingRecordWins) {
  Track track;
  SectorRecord twin = Sector(1, 3);
  twin.data = Bytes(kSector, 0x55);
  track.records = {Sector(2, 3), Sector(1, 3), twin};
  OpenSelected(Image().SetTrack(0, track));
  std::int32_t got = 0;
  EXPECT_EQ(Read(0, 0, 0, 1, 1, kSector, &got, kSector), SectorPattern(0, 1, kSector));
}

// Every way the walk along a track ends, with the record it must not reach.
TEST_F(ReaderTest, WalkEnds) {
  const struct {
    const char* what;
    std::vector<std::uint16_t> counts;  // one record each, R = position + 1
    std::int32_t wanted;                // R asked for
    bool found;
  } cases[] = {
      {"count 0 on the first record", {0, 3, 3}, 1, false},
      {"count 0 later", {3, 0, 3}, 3, false},
      {"last of count records", {3, 3, 3}, 3, true},
      {"absent after exactly count records", {3, 3, 3, 3}, 4, false},
      {"single record", {1, 1}, 2, false},
      {"a smaller count further on ends earlier", {5, 2, 5, 5}, 3, false},
      {"a count below the position ends at once", {5, 5, 5, 1, 5}, 5, false},
      {"a larger count further on goes on", {1 + 0, 4, 4, 4}, 2, false},
      {"count grows before the end", {2, 5, 5, 5}, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Track track;
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      track.records.push_back(Sector(static_cast<std::uint8_t>(i + 1), c.counts[i]));
    }
    OpenSelected(Image().SetTrack(0, track));
    std::int32_t got = -1;
    const Bytes dest = Read(0, 0, 0, c.wanted, 1, kSector, &got, kSector);
    EXPECT_EQ(got, c.found ? kSector : 0);
    if (!c.found) {
      EXPECT_EQ(dest, Untouched(kSector));
    }
  }
}

TEST_F(ReaderTest, LongestTrackIsWalkedToItsLastRecord) {
  Track track;
  track.records.assign(0xFFFF - 1, Filler(0xFFFF));
  track.records.push_back(Sector(1, 0xFFFF));
  track.records.push_back(Sector(2, 0xFFFF));  // record 65536: never reached
  OpenSelected(Image().SetTrack(0, track));
  std::int32_t got = -1;
  EXPECT_EQ(Read(0, 0, 0, 1, 1, kSector, &got, kSector), SectorPattern(0, 1, kSector));
  Read(0, 0, 0, 2, 1, kSector, &got);
  EXPECT_EQ(got, 0);
}

TEST_F(ReaderTest, EndOfFileInsideARecord) {
  Track track;
  track.records = {Sector(1, 2), Sector(2, 2)};
  Image image;
  image.SetTrack(0, track);
  const Bytes full = image.Build();
  const std::size_t second = static_cast<std::size_t>(image.TrackOffset(0)) + d88::kSectorHeaderSize + kSector;
  const struct {
    const char* what;
    std::size_t cut;  // bytes kept of the file
    std::int32_t expected;
  } cases[] = {
      {"inside the header", second + 15, 0},
      {"after the header", second + d88::kSectorHeaderSize, 0},
      {"inside the data", second + d88::kSectorHeaderSize + 100, 100},
      {"one byte short", full.size() - 1, kSector - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OpenBytes(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.cut)));
    ASSERT_TRUE(reader_.SelectDisk(0));
    std::int32_t got = -1;
    const Bytes dest = Read(0, 0, 0, 2, 1, kSector, &got, kSector);
    ASSERT_EQ(got, c.expected);
    Bytes expected = SectorPattern(0, 2, kSector);
    std::fill(expected.begin() + c.expected, expected.end(), kUntouched);
    EXPECT_EQ(dest, expected);
  }
}

// --- Runs -------------------------------------------------------------------

TEST_F(ReaderTest, RunsStepBySectorRange) {
  Image image = d88gen::StandardImage(8);
  OpenSelected(image);
  struct Step {
    std::int32_t track, r;
  };
  const struct {
    const char* what;
    std::int32_t first, last;
    std::int32_t track, r, total;
    std::vector<Step> sectors;  // whole or partial, in order
  } cases[] = {
      {"within a track", 1, 16, 0, 3, 768, {{0, 3}, {0, 4}, {0, 5}}},
      {"head 0 to head 1", 1, 16, 0, 15, 1024, {{0, 15}, {0, 16}, {1, 1}, {1, 2}}},
      {"head 1 to the next cylinder", 1, 16, 5, 16, 512, {{5, 16}, {6, 1}}},
      {"range 1..9 steps after R 9", 1, 9, 2, 8, 1024, {{2, 8}, {2, 9}, {3, 1}, {3, 2}}},
      {"range 3..5", 3, 5, 0, 4, 1024, {{0, 4}, {0, 5}, {1, 3}, {1, 4}}},
      {"part of a last sector", 1, 16, 0, 1, 300, {{0, 1}, {0, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reader_.SetSectorRange(c.first, c.last);
    Bytes dest(4096, kUntouched);
    const std::int32_t c0 = c.track >> 1;
    const std::int32_t h0 = c.track & 1;
    ASSERT_EQ(reader_.ReadSectors(c.track, c0, h0, c.r, 1, dest.data(), c.total), c.total);
    Bytes expected;
    for (const Step& step : c.sectors) expected = Concat(expected, SectorPattern(step.track, step.r, kSector));
    expected.resize(static_cast<std::size_t>(c.total));
    expected.resize(dest.size(), kUntouched);
    EXPECT_EQ(dest, expected);
  }
}

TEST_F(ReaderTest, SelectingKeepsTheSectorRange) {
  Image image = d88gen::StandardImage(2);
  OpenImage(image);
  reader_.SetSectorRange(1, 2);
  ASSERT_TRUE(reader_.SelectDisk(0));
  Bytes dest(768);
  ASSERT_EQ(reader_.ReadSectors(0, 0, 0, 2, 1, dest.data(), 768), 768);
  EXPECT_EQ(Bytes(dest.begin() + 256, dest.begin() + 512), SectorPattern(1, 1, kSector));
}

TEST_F(ReaderTest, RunsStopAtAMissingOrShortSector) {
  Image image = d88gen::StandardImage(2);
  // Track 0: R 3 missing; track 1: R 2 short.
  image.tracks[0]->records[2].r = 0x33;
  image.tracks[1]->records[1].data.resize(100);
  OpenSelected(image);
  const struct {
    const char* what;
    std::int32_t track, r, total, expected;
  } cases[] = {
      {"first sector missing", 0, 3, 512, 0},
      {"third sector missing", 0, 1, 1024, 512},
      {"a short sector is not counted", 1, 1, 1024, 256},
      {"a short sector fits a short last chunk", 1, 1, 356, 356},
      {"total 0", 0, 1, 0, 0},
      {"negative total", 0, 1, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes dest(2048, kUntouched);
    EXPECT_EQ(reader_.ReadSectors(c.track, c.track >> 1, c.track & 1, c.r, 1, dest.data(), c.total),
              c.expected);
  }
}

TEST_F(ReaderTest, RunsWithAnySizeCode) {
  Image image;
  image.SetTrack(0, StandardTrack(0, 4, 0));  // 128-byte sectors
  image.SetTrack(1, StandardTrack(1, 2, 3));  // 1024-byte sectors
  OpenSelected(image);
  Bytes dest(4096, kUntouched);
  EXPECT_EQ(reader_.ReadSectors(0, 0, 0, 1, 0, dest.data(), 512), 512);
  EXPECT_EQ(reader_.ReadSectors(1, 0, 1, 1, 3, dest.data(), 2048), 2048);
  // Size codes whose sectors would not fit 32 bits, or are no byte at all.
  for (const std::int32_t n : {23, 24, 31, 32, 255, 256, -1, 0x7FFFFFFF}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(reader_.ReadSectors(0, 0, 0, 1, n, dest.data(), 4096), 0);
  }
}

// --- Sector ID lists ----------------------------------------------------------

TEST_F(ReaderTest, ReadSectorIdsListsStoredOrder) {
  Image image;
  Track track = StandardTrack(3, 16);
  std::swap(track.records[0], track.records[5]);
  image.SetTrack(3, track);
  OpenSelected(image);
  Bytes all;
  for (const SectorRecord& record : track.records) all = Concat(all, {record.c, record.h, record.r, record.n});

  for (const std::int32_t length : {64, 100, 40, 43, 4, 3, 0, -4}) {
    SCOPED_TRACE(length);
    Bytes ids(128, kUntouched);
    const std::int32_t expected = std::clamp(length / 4 * 4, 0, 64);
    ASSERT_EQ(reader_.ReadSectorIds(3, ids.data(), length), expected);
    Bytes want(all.begin(), all.begin() + expected);
    want.resize(ids.size(), kUntouched);
    EXPECT_EQ(ids, want);
  }
}

TEST_F(ReaderTest, ReadSectorIdsWalkEnds) {
  const struct {
    const char* what;
    std::vector<std::uint16_t> counts;
    std::int32_t length;
    std::int32_t expected;
  } cases[] = {
      {"count 0 goes on until the buffer is full", {0, 0, 0, 0, 0}, 12, 12},
      {"count 0 goes on until the file ends", {0, 0, 0}, 400, 12},
      {"stops at position count - 1", {3, 3, 3, 3}, 400, 12},
      {"disagreeing counts stop at the first match", {5, 2, 5, 5}, 400, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Track track;
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      track.records.push_back(Sector(static_cast<std::uint8_t>(i + 1), c.counts[i], 8));
    }
    OpenSelected(Image().SetTrack(0, track));
    Bytes ids(512, kUntouched);
    EXPECT_EQ(reader_.ReadSectorIds(0, ids.data(), c.length), c.expected);
  }
}

// --- Truncation ----------------------------------------------------------------

// Cuts a valid two-image file at every length: each read yields the right
// bytes or fewer of them, never bytes from anywhere else, and never touches
// `dest` past what it reports.
TEST_F(ReaderTest, EveryTruncationYieldsAPrefixOfTheTruth) {
  constexpr int kTracks = 3;
  constexpr int kSectors = 3;
  Image first = d88gen::StandardImage(kTracks, kSectors);
  Image second = d88gen::StandardImage(kTracks, kSectors);
  for (int t = 0; t < kTracks; ++t) {
    for (SectorRecord& record : second.tracks[static_cast<std::size_t>(t)]->records) {
      record.data = SectorPattern(t + 100, record.r, kSector);
    }
  }
  const Bytes full = d88gen::BuildFile({first, second});
  const std::size_t firstSize = first.Build().size();

  for (std::size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    OpenBytes(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
    const std::int32_t disks = length < d88::kHeaderSize ? 0 : (length < firstSize + d88::kHeaderSize ? 1 : 2);
    ASSERT_EQ(reader_.GetDiskCount(), disks);
    for (std::int32_t disk = 0; disk < disks; ++disk) {
      ASSERT_TRUE(reader_.SelectDisk(disk));
      for (std::int32_t track = 0; track < kTracks; ++track) {
        const int pattern = track + 100 * disk;
        Bytes truth;
        for (std::int32_t r = 1; r <= kSectors; ++r) {
          const Bytes sector = SectorPattern(pattern, r, kSector);
          std::int32_t got = -1;
          const Bytes dest = Read(track, track >> 1, track & 1, r, 1, kSector, &got, kSector + 4);
          ASSERT_GE(got, 0);
          ASSERT_LE(got, kSector);
          ASSERT_TRUE(std::equal(dest.begin(), dest.begin() + got, sector.begin()));
          ASSERT_TRUE(std::all_of(dest.begin() + got, dest.end(), [](std::uint8_t b) { return b == kUntouched; }));
          truth = Concat(truth, sector);
        }
        reader_.SetSectorRange(1, kSectors);
        Bytes run(truth.size() + 4, kUntouched);
        const std::int32_t total = static_cast<std::int32_t>(truth.size());
        const std::int32_t delivered = reader_.ReadSectors(track, track >> 1, track & 1, 1, 1, run.data(), total);
        ASSERT_GE(delivered, 0);
        ASSERT_LE(delivered, total);
        ASSERT_EQ(delivered % kSector, 0);
        ASSERT_TRUE(std::equal(run.begin(), run.begin() + delivered, truth.begin()));

        Bytes ids(64, kUntouched);
        const std::int32_t listed = reader_.ReadSectorIds(track, ids.data(), 64);
        ASSERT_LE(listed, 4 * kSectors);
        for (std::int32_t i = 0; i < listed / 4; ++i) {
          const Bytes id = {static_cast<std::uint8_t>(track >> 1), static_cast<std::uint8_t>(track & 1),
                            static_cast<std::uint8_t>(i + 1), 1};
          ASSERT_TRUE(std::equal(id.begin(), id.end(), ids.begin() + 4 * i));
        }
      }
    }
  }
}

// --- Images made by other programs ---------------------------------------------

TEST(CorpusTest, ReadsImagesMadeElsewhere) {
  const char* dirValue = std::getenv("D88_CORPUS_DIR");
  if (dirValue == nullptr || !std::filesystem::is_directory(dirValue)) {
    GTEST_SKIP() << "no corpus of D88 images here";
  }
  const std::filesystem::path dir(dirValue);
  const struct {
    const char* file;
    std::int32_t disks;
    std::int32_t sectorsOnTrack0;  // of the first image
    std::int32_t sectorBytes;
  } cases[] = {
      {"x1tcrtcv_2d.d88", 1, 16, 256},
      {"x1tcrtcv_2hd.d88", 1, 26, 256},
      {"concat_x1tcrtcv_2d+2hd.d88", 2, 16, 256},
      {"legacy89_test.d88", 1, 16, 256},
      {"d88dmp_HuBASIC_Format_2D.d88", 1, 16, 256},
      {"x1ndp_sample_2d.d88", 1, 16, 256},
      {"x1sgl_x1balls.d88", 1, 16, 256},
      {"fm7sd_SDINIT_FM7.d77", 1, 16, 256},
      {"pc6001vx_blank1d.d88", 1, 16, 256},
      {"townsemu_FPUTEST.d77", 1, 8, 1024},
      {"csp_unformat_2hd.d88", 1, 0, 0},
      {"csp_mz2500_brown.d88", 1, 16, 256},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::filesystem::path path = dir / c.file;
    if (!std::filesystem::exists(path)) continue;
    D88Reader reader;
    ASSERT_TRUE(reader.Open(path.string().c_str()));
    ASSERT_EQ(reader.GetDiskCount(), c.disks);
    ASSERT_TRUE(reader.SelectDisk(0));
    EXPECT_LE(std::string(reader.GetDiskName()).size(), 16u);

    std::uint8_t ids[4 * 64];
    const std::int32_t listed = reader.ReadSectorIds(0, ids, sizeof ids);
    ASSERT_EQ(listed, 4 * c.sectorsOnTrack0);
    // Every listed sector of track 0 reads whole.
    for (std::int32_t i = 0; i < listed; i += 4) {
      std::vector<std::uint8_t> dest(2048);
      EXPECT_EQ(reader.ReadSector(0, ids[i], ids[i + 1], ids[i + 2], ids[i + 3], dest.data(), 2048),
                c.sectorBytes);
    }
  }
}

TEST(CorpusTest, KnownOddities) {
  const char* dirValue = std::getenv("D88_CORPUS_DIR");
  if (dirValue == nullptr || !std::filesystem::is_directory(dirValue)) {
    GTEST_SKIP() << "no corpus of D88 images here";
  }
  const std::filesystem::path dir(dirValue);
  D88Reader reader;
  std::vector<std::uint8_t> dest(1024);

  // The second of two joined images starts where the first one's size says.
  if (reader.Open((dir / "concat_x1tcrtcv_2d+2hd.d88").string().c_str())) {
    ASSERT_TRUE(reader.SelectDisk(1));
    EXPECT_EQ(reader.GetMediaType(), 0x20);
  }
  // The file ends after the first sector of the last track.
  if (reader.Open((dir / "legacy89_test.d88").string().c_str())) {
    ASSERT_TRUE(reader.SelectDisk(0));
    std::uint8_t ids[64];
    EXPECT_EQ(reader.ReadSectorIds(79, ids, sizeof ids), 4);
    const std::int32_t c = ids[0], h = ids[1], r = ids[2], n = ids[3];
    EXPECT_EQ(reader.ReadSector(79, c, h, r, n, dest.data(), 256), 256);
    EXPECT_EQ(reader.ReadSector(79, c, h, r + 1, n, dest.data(), 256), 0);
  }
  // Single-sided: odd tracks are absent.
  if (reader.Open((dir / "pc6001vx_blank1d.d88").string().c_str())) {
    ASSERT_TRUE(reader.SelectDisk(0));
    std::uint8_t ids[64];
    EXPECT_EQ(reader.ReadSectorIds(1, ids, sizeof ids), 0);
    EXPECT_EQ(reader.ReadSectorIds(2, ids, sizeof ids), 64);
  }
  // A name that fills its field keeps 16 characters.
  if (reader.Open((dir / "d88dmp_HuBASIC_Format_2D.d88").string().c_str())) {
    ASSERT_TRUE(reader.SelectDisk(0));
    EXPECT_EQ(std::string(reader.GetDiskName()).size(), 16u);
  }
}

}  // namespace
