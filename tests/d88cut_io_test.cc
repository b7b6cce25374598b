// d88cut where people meet it: an image that arrives through a pipe, and
// messages written to a terminal. Runs the built tool as a child process.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "d88gen/image_builder.h"
#include "tests/child_process.h"
#include "tests/expected_cut.h"
#include "tests/test_files.h"

namespace {

namespace fs = std::filesystem;
using d88test::ChildOptions;
using d88test::ChildOutcome;
using expected::Bytes;
using expected::Files;

// The Japanese lines as a UTF-8 terminal shows them.
const std::string kDiskALineUtf8 = "Disk A を認識しました.\n";
const std::string kDiskBLineUtf8 = "Disk B を認識しました.\n";
const std::string kOpenFailedLineUtf8 = "ファイルをオープンできません.\n";

std::string WithLine(std::string output, const std::string& from, const std::string& to) {
  output.replace(output.find(from), from.size(), to);
  return output;
}

class CutIoTest : public testing::Test {
 protected:
  ChildOutcome Cut(const std::string& image, ChildOptions options = {}) {
    options.workDir = work_.path();
    return d88test::RunChild(D88CUT_PATH, {D88CUT_PATH, image}, options);
  }

  // The work directory holds exactly `files` with their bytes.
  void ExpectFiles(const Files& files) {
    std::set<std::string> names;
    for (const auto& [name, bytes] : files) {
      EXPECT_EQ(d88test::ReadFile(work_ / name), bytes) << name;
      names.insert(name);
    }
    EXPECT_EQ(d88test::ListDirectory(work_.path()), names);
  }

  d88test::ScratchDir work_;
  d88test::ScratchDir temporary_;  // TMPDIR of the child: must stay empty
};

// --- An image from a stream ---------------------------------------------------

const Bytes kSample = d88gen::BuildFile({expected::DiskA(), expected::DiskB()});
const std::string kSampleOutput = expected::DiskAOutput() + expected::DiskBOutput();
const Files kSampleFiles = [] {
  Files files = expected::AllFiles(expected::kDiskAFiles);
  files.merge(expected::AllFiles(expected::kDiskBFiles));
  return files;
}();

std::vector<std::string> TemporaryDirIs(const fs::path& dir) { return {"TMPDIR=" + dir.string()}; }

TEST_F(CutIoTest, StreamsAreCutAsTheFileIs) {
  enum class Way { kStandardInput, kProcessSubstitution, kFifo };
  for (const Way way : {Way::kStandardInput, Way::kProcessSubstitution, Way::kFifo}) {
    SCOPED_TRACE(static_cast<int>(way));
    for (const std::string& name : d88test::ListDirectory(work_.path())) fs::remove(work_ / name);
    ChildOptions options;
    options.environment = TemporaryDirIs(temporary_.path());
    ChildOutcome outcome;
    if (way == Way::kFifo) {
      d88test::ScratchDir fifoDir;
      const d88test::FifoFeeder feeder(fifoDir / "image.fifo", kSample);
      outcome = Cut((fifoDir / "image.fifo").string(), options);
    } else {
      const d88test::PipeFeeder feeder(kSample);
      std::string path = "/dev/stdin";
      if (way == Way::kStandardInput) {
        options.standardInput = feeder.readEnd();
      } else {
        options.keepOpen = feeder.readEnd();
        path = feeder.DevFdPath();
      }
      outcome = Cut(path, options);
    }
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, kSampleOutput);
    EXPECT_EQ(outcome.err, "");
    ExpectFiles(kSampleFiles);
    EXPECT_TRUE(fs::is_empty(temporary_.path()));
  }
}

// Zero bytes make an image of disk size 0 with no tracks, 64 times at
// offset 0: nothing past the first header is ever needed.
TEST_F(CutIoTest, EndlessStreamEndsAtOnce) {
  const d88test::PipeFeeder feeder({}, /*endless=*/true);
  ChildOptions options;
  options.standardInput = feeder.readEnd();
  options.environment = TemporaryDirIs(temporary_.path());
  const ChildOutcome outcome = Cut("/dev/stdin", options);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
  ExpectFiles({});
  EXPECT_TRUE(fs::is_empty(temporary_.path()));
}

// Disk A claims to be 300 MiB long, so the next header would lie past the
// 256 MiB a stream is read: Disk A is cut, and the rest is said to be unread.
TEST_F(CutIoTest, StreamIsReadUpToItsLimit) {
  d88gen::Image diskA = expected::DiskA();
  diskA.diskSize = 300 << 20;
  const d88test::PipeFeeder feeder(diskA.Build(), /*endless=*/true);
  ChildOptions options;
  options.standardInput = feeder.readEnd();
  options.environment = TemporaryDirIs(temporary_.path());
  const ChildOutcome outcome = Cut("/dev/stdin", options);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, expected::DiskAOutput());
  EXPECT_EQ(outcome.err, "d88cut: /dev/stdin: only the first 256 MiB of a stream are read\n");
  ExpectFiles(expected::AllFiles(expected::kDiskAFiles));
  EXPECT_TRUE(fs::is_empty(temporary_.path()));
}

TEST_F(CutIoTest, StreamWithoutRoomForItsCopyCannotBeOpened) {
  const fs::path missing = temporary_ / "missing";
  const d88test::PipeFeeder feeder(kSample);
  ChildOptions options;
  options.standardInput = feeder.readEnd();
  options.environment = TemporaryDirIs(missing);
  const ChildOutcome outcome = Cut("/dev/stdin", options);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, expected::kOpenFailedLine + "d88cut: /dev/stdin: cannot create a temporary file in " +
                             missing.string() + ": No such file or directory\n");
  ExpectFiles({});
}

// --- Messages on a terminal -----------------------------------------------------

struct TerminalCase {
  const char* label;
  std::vector<std::string> environment;
  bool stdoutIsTerminal;
  bool stderrIsTerminal;
  const char* image;  // in the work directory
  std::string out;
  std::string err;
};

TEST_F(CutIoTest, JapaneseLinesAreUtf8OnlyOnAUtf8Terminal) {
  d88test::WriteFile(work_ / "sample.d88", kSample);
  const std::string utf8Output =
      WithLine(WithLine(kSampleOutput, expected::kDiskALine, kDiskALineUtf8), expected::kDiskBLine, kDiskBLineUtf8);
  const TerminalCase cases[] = {
      {"UTF-8 terminals", {"LANG=C.UTF-8"}, true, true, "sample.d88", utf8Output, ""},
      {"LC_ALL wins over LANG", {"LANG=C", "LC_ALL=C.UTF-8"}, true, true, "sample.d88", utf8Output, ""},
      {"ASCII terminals", {"LANG=C"}, true, true, "sample.d88", kSampleOutput, ""},
      {"no locale at all", {}, true, true, "sample.d88", kSampleOutput, ""},
      {"a pipe beside a UTF-8 terminal", {"LANG=C.UTF-8"}, false, true, "sample.d88", kSampleOutput, ""},
      {"the error on a UTF-8 terminal", {"LANG=C.UTF-8"}, false, true, "missing.d88", "", kOpenFailedLineUtf8},
      {"the error into a file", {"LANG=C.UTF-8"}, true, false, "missing.d88", "", expected::kOpenFailedLine},
  };
  for (const TerminalCase& c : cases) {
    SCOPED_TRACE(c.label);
    ChildOptions options;
    options.environment = c.environment;
    options.stdoutIsTerminal = c.stdoutIsTerminal;
    options.stderrIsTerminal = c.stderrIsTerminal;
    const ChildOutcome outcome = Cut(c.image, options);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(outcome.err, c.err);
  }
}

}  // namespace
