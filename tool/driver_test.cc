// The driver and CutFile called in-process, as a fuzzer or another program
// would call them: several runs in one process, and arguments no command
// line can produce.

#include "tool/driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "d88gen/image_builder.h"
#include "tests/expected_cut.h"
#include "tests/test_files.h"
#include "tool/cut_file.h"

namespace {

namespace fs = std::filesystem;
using expected::Bytes;

// Stands in for standard output or standard error.
class Stream {
 public:
  Stream() : file_(std::tmpfile()) {}
  ~Stream() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  std::FILE* get() const { return file_; }

  // Everything written since the last call.
  std::string Take() {
    std::fflush(file_);
    std::string text;
    std::rewind(file_);
    for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_))
      text.push_back(static_cast<char>(c));
    std::fclose(file_);
    file_ = std::tmpfile();
    return text;
  }

 private:
  std::FILE* file_;
};

// Runs each test inside its own scratch directory.
class InProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(out_.get(), nullptr);
    ASSERT_NE(err_.get(), nullptr);
    previous_ = fs::current_path();
    fs::current_path(dir_.path());
  }
  void TearDown() override { fs::current_path(previous_); }

  int Run(const std::vector<const char*>& argv) {
    return RunD88Cut(static_cast<int>(argv.size()), argv.data(), out_.get(), err_.get());
  }

  std::set<std::string> FilesHere() const { return d88test::ListDirectory(dir_.path()); }

  d88test::ScratchDir dir_;
  fs::path previous_;
  Stream out_;
  Stream err_;
};

TEST_F(InProcessTest, UsageNamesTheToolWhenArgumentZeroIsMissing) {
  const char* const noArguments[] = {nullptr};
  const char* const emptyName[] = {"", nullptr};
  const char* const nullFile[] = {"cutter", nullptr, nullptr};
  const struct {
    const char* label;
    int argc;
    const char* const* argv;
    const char* usage;
  } cases[] = {
      {"empty vector", 0, noArguments, "Usage: d88cut [d88file]\n"},
      {"no vector", 0, nullptr, "Usage: d88cut [d88file]\n"},
      {"empty name", 1, emptyName, "Usage: d88cut [d88file]\n"},
      {"null file argument", 2, nullFile, "Usage: cutter [d88file]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(RunD88Cut(c.argc, c.argv, out_.get(), err_.get()), 1);
    EXPECT_EQ(out_.Take(), "");
    EXPECT_EQ(err_.Take(), c.usage);
  }
}

// A Disk A whose last sector read (ED's first, track 19 R1) leaves "A DISK"
// at byte 2 of the buffer for whatever run comes next.
d88gen::Image DiskALeavingItsMark() {
  d88gen::Image image = expected::DiskA();
  expected::PutText(expected::Record(image, 19, 1).data, expected::kMarkAPosition,
                    expected::kMarkA);
  return image;
}

TEST_F(InProcessTest, RunsRepeatedlyInOneProcess) {
  d88test::WriteFile("a.d88", d88gen::BuildFile({DiskALeavingItsMark()}));
  d88test::WriteFile("b.d88", d88gen::BuildFile({expected::DiskB()}));
  // Its boot sector holds only bytes 0..6, "A DIS" at 2: the "K" would have
  // to come from the previous run.
  d88gen::Image shortBoot = expected::PlainDisk();
  Bytes& boot = expected::Record(shortBoot, 0, 1).data;
  expected::PutText(boot, expected::kMarkAPosition, "A DIS");
  boot.resize(expected::kMarkAPosition + expected::kMarkA.size() - 1);
  d88test::WriteFile("short.d88", d88gen::BuildFile({shortBoot}));

  const struct {
    const char* file;
    int status;
    std::string out;
    std::string err;
  } runs[] = {
      {"a.d88", 0, expected::DiskAOutput(), ""},
      {"short.d88", 0, "", ""},
      {"missing.d88", 1, "", expected::kOpenFailedLine},
      {"short.d88", 0, "", ""},
      {"b.d88", 0, expected::DiskBOutput(), ""},
      {"a.d88", 0, expected::DiskAOutput(), ""},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.file);
    EXPECT_EQ(Run({"d88cut", run.file}), run.status);
    EXPECT_EQ(out_.Take(), run.out);
    EXPECT_EQ(err_.Take(), run.err);
  }
  const std::set<std::string> expectedNames = {
      "DEMO2", "DRIVER", "ED", "MAIN", "OP", "PLANET", "a.d88", "b.d88", "short.d88"};
  EXPECT_EQ(FilesHere(), expectedNames);
  EXPECT_EQ(d88test::ReadFile("PLANET"), expected::Contents("PLANET"));
  EXPECT_EQ(d88test::ReadFile("OP"), expected::Contents("OP"));
}

// CutFile on the first disk of a plain 50-track disk.
class CutFileTest : public InProcessTest {
 protected:
  void SetUp() override {
    InProcessTest::SetUp();
    d88test::WriteFile("plain.d88", d88gen::BuildFile({expected::PlainDisk()}));
    ASSERT_TRUE(imageReader.Open("plain.d88"));
    ASSERT_TRUE(imageReader.SelectDisk(0));
    imageReader.SetSectorRange(kFirstSector, kLastSector);
  }
};

// Bytes [from, from + size) of the run that starts at `r` of `track` and
// goes on to the end of the disk.
Bytes RunBytes(int track, int r, std::size_t from, std::size_t size) {
  Bytes run;
  for (; track < expected::kTracks; ++track, r = kFirstSector) {
    for (; r <= kLastSector; ++r) {
      const Bytes sector = d88gen::SectorPattern(track, r, expected::kSector);
      run.insert(run.end(), sector.begin(), sector.end());
    }
  }
  return Bytes(run.begin() + static_cast<std::ptrdiff_t>(from),
               run.begin() + static_cast<std::ptrdiff_t>(from + size));
}

TEST_F(CutFileTest, WritesTheBytesPastTheOffset) {
  constexpr std::int32_t kLastTrack = expected::kTracks - 1;
  constexpr std::int32_t kWholeDisk = expected::kTracks * kLastSector * expected::kSector;
  const struct {
    const char* label;
    std::int32_t track;
    std::int32_t r;
    std::int32_t offset;
    std::int32_t size;
    bool result;
    Bytes file;
    std::string err;
  } cases[] = {
      {"slice within a run", 0, 6, 100, 500, true, RunBytes(0, 6, 100, 500), ""},
      // The disk ends after two sectors of this run.
      {"slice past the end of the disk", kLastTrack, 15, 300, 500, false,
       RunBytes(kLastTrack, 15, 300, 212), "d88cut: X: only 212 of 500 bytes could be read\n"},
      {"nothing past the offset", kLastTrack, 15, 600, 100, false, Bytes{},
       "d88cut: X: only 0 of 100 bytes could be read\n"},
      {"the whole buffer", 0, 1, 0, kSectorBufferSize, false, RunBytes(0, 1, 0, kWholeDisk),
       "d88cut: X: only " + std::to_string(kWholeDisk) + " of 327680 bytes could be read\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(CutFile("X", c.track, CylinderOf(c.track), HeadOf(c.track), c.r, kSizeCode, c.offset,
                      c.size, out_.get(), err_.get()),
              c.result);
    EXPECT_EQ(out_.Take(), "cutting ... X\n");
    EXPECT_EQ(err_.Take(), c.err);
    EXPECT_EQ(d88test::ReadFile("X"), c.file);
  }
}

TEST_F(CutFileTest, RefusesRequestsTheBufferCannotHold) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    const char* label;
    const char* name;
    std::int32_t offset;
    std::int32_t size;
  } cases[] = {
      {"negative offset", "X", -1, 256},
      {"negative size", "X", 0, -1},
      {"one byte too many", "X", 1, kSectorBufferSize},
      {"sum past the integer range", "X", kMax, kMax},
      {"no name", nullptr, 0, 256},
      {"empty name", "", 0, 256},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(CutFile(c.name, 0, 0, 0, 1, kSizeCode, c.offset, c.size, out_.get(), err_.get()));
    EXPECT_EQ(out_.Take(), "");
    EXPECT_EQ(err_.Take(), "");
  }
  EXPECT_EQ(FilesHere(), std::set<std::string>{"plain.d88"});
}

TEST_F(CutFileTest, MissingFirstSectorWritesNothing) {
  EXPECT_FALSE(CutFile("X", expected::kTracks, CylinderOf(expected::kTracks),
                       HeadOf(expected::kTracks), 1, kSizeCode, 0, 256, out_.get(), err_.get()));
  EXPECT_EQ(out_.Take(), "");
  EXPECT_EQ(err_.Take(), "");
  EXPECT_EQ(FilesHere(), std::set<std::string>{"plain.d88"});
}

}  // namespace
