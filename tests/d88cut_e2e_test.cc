// Runs the built d88cut as a child process in a scratch directory and checks
// the exact bytes on standard output and standard error, the exit status and
// every file the run leaves behind.

#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "d88gen/image_builder.h"
#include "reader/d88_format.h"
#include "tests/child_process.h"
#include "tests/expected_cut.h"
#include "tests/test_files.h"

namespace {

namespace fs = std::filesystem;
using d88gen::Image;
using expected::Bytes;
using expected::Files;

constexpr char kImageName[] = "image.d88";

using Outcome = d88test::ChildOutcome;

class CutProcessTest : public testing::Test {
 protected:
  // Runs `program` with exactly `argv` (argv[0] included; may be empty) in
  // the work directory. With a limit, the child may write no file past that
  // size and gets EFBIG instead of SIGXFSZ.
  Outcome Run(const std::string& program, const std::vector<std::string>& argv,
              std::optional<rlim_t> fileSizeLimit = std::nullopt) {
    d88test::ChildOptions options;
    options.workDir = work_.path();
    options.fileSizeLimit = fileSizeLimit;
    const Outcome outcome = d88test::RunChild(program, argv, options);
    EXPECT_NE(outcome.status, -1) << program << " did not exit normally";
    return outcome;
  }

  Outcome Cut(const std::string& image = kImageName,
              std::optional<rlim_t> fileSizeLimit = std::nullopt) {
    return Run(D88CUT_PATH, {D88CUT_PATH, image}, fileSizeLimit);
  }

  void WriteImages(const std::vector<Image>& images) {
    d88test::WriteFile(work_ / kImageName, d88gen::BuildFile(images));
  }

  // The work directory holds the image, exactly `files` with their bytes,
  // and whatever `others` names.
  void ExpectFiles(const Files& files, std::set<std::string> others = {kImageName}) {
    for (const auto& [name, bytes] : files) {
      ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(work_ / name))) << name;
      EXPECT_EQ(d88test::ReadFile(work_ / name), bytes) << name;
      others.insert(name);
    }
    EXPECT_EQ(d88test::ListDirectory(work_.path()), others);
  }

  d88test::ScratchDir work_;
};

// --- Command line and opening ------------------------------------------------

TEST_F(CutProcessTest, WrongArgumentCountPrintsUsageNamingArgumentZero) {
  WriteImages({expected::DiskA()});
  struct Case {
    std::vector<std::string> argv;
    std::string usage;
  };
  const std::string path = D88CUT_PATH;
  const Case cases[] = {
      {{path}, "Usage: " + path + " [d88file]\n"},
      {{path, kImageName, kImageName}, "Usage: " + path + " [d88file]\n"},
      {{"cutter", kImageName, kImageName}, "Usage: cutter [d88file]\n"},
      // Newer kernels pass an empty vector on as a single empty name.
      {{}, "Usage: d88cut [d88file]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.argv));
    const Outcome outcome = Run(D88CUT_PATH, c.argv);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, c.usage);
    ExpectFiles({});
  }
}

TEST_F(CutProcessTest, MissingFileOrDirectoryCannotBeOpened) {
  fs::create_directory(work_ / "folder.d88");
  for (const char* path : {"no-such.d88", "folder.d88"}) {
    SCOPED_TRACE(path);
    const Outcome outcome = Cut(path);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, expected::kOpenFailedLine);
    ExpectFiles({}, {"folder.d88"});
  }
}

TEST_F(CutProcessTest, FilesWithoutACompleteHeaderHoldNoDisk) {
  const Bytes diskA = expected::DiskA().Build();
  struct Case {
    const char* label;
    Bytes bytes;
    std::string out;
    Files files;
  };
  Bytes diskAThenPartialHeader = diskA;
  diskAThenPartialHeader.insert(diskAThenPartialHeader.end(), diskA.begin(),
                                diskA.begin() + d88::kHeaderSize - 1);
  const Case cases[] = {
      {"empty", {}, "", {}},
      {"one byte short of a header", Bytes(diskA.begin(), diskA.begin() + d88::kHeaderSize - 1),
       "", Files{}},
      {"Disk A, then a partial header", diskAThenPartialHeader, expected::DiskAOutput(),
       expected::AllFiles(expected::kDiskAFiles)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    for (const auto& name : d88test::ListDirectory(work_.path())) fs::remove(work_ / name);
    d88test::WriteFile(work_ / kImageName, c.bytes);
    const Outcome outcome = Cut();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(outcome.err, "");
    ExpectFiles(c.files);
  }
}

// --- Recognition and cutting -------------------------------------------------

template <typename Case>
std::string NameOf(const testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

struct Scenario {
  const char* name;
  std::function<std::vector<Image>()> images;
  std::string out;
  std::string err;
  Files files;
};

std::ostream& operator<<(std::ostream& os, const Scenario& scenario) { return os << scenario.name; }

Files Merge(Files a, const Files& b) {
  a.insert(b.begin(), b.end());
  return a;
}

Files Without(Files files, const std::string& name) {
  files.erase(name);
  return files;
}

Bytes Prefix(const std::string& name, std::size_t size) {
  Bytes bytes = expected::Contents(name);
  bytes.resize(size);
  return bytes;
}

// Every image a mark that differs from Disk A's or Disk B's in one byte.
std::vector<Image> NearMisses() {
  std::vector<Image> images;
  const struct {
    int position;
    std::string_view mark;
  } marks[] = {{expected::kMarkAPosition, expected::kMarkA},
               {expected::kMarkBPosition, expected::kMarkB}};
  for (const auto& mark : marks) {
    for (std::size_t wrong = 0; wrong < mark.mark.size(); ++wrong) {
      std::string text(mark.mark);
      text[wrong] = static_cast<char>(text[wrong] ^ 0x20);
      Image image = expected::PlainDisk();
      expected::PutText(expected::Record(image, 0, 1).data, mark.position, text);
      images.push_back(std::move(image));
    }
  }
  return images;
}

// The last sector read for Disk A is ED's first (track 19, R1): its bytes
// stay at the start of the buffer when the next image is looked at.
Image DiskALeavingBothMarks() {
  Image image = expected::DiskA();
  Bytes& sector = expected::Record(image, 19, 1).data;
  expected::PutText(sector, expected::kMarkAPosition, expected::kMarkA);
  expected::PutText(sector, expected::kMarkBPosition, expected::kMarkB);
  return image;
}

// A boot sector that ends one byte before the end of `mark` and agrees with
// it up to there, so only a stale byte left in the buffer could finish it.
Image BootSectorOneByteShortOf(int position, std::string_view mark) {
  Image image = expected::PlainDisk();
  Bytes& boot = expected::Record(image, 0, 1).data;
  expected::PutText(boot, position, mark.substr(0, mark.size() - 1));
  boot.resize(static_cast<std::size_t>(position) + mark.size() - 1);
  return image;
}

Files StaleMarkFiles() {
  Files files = expected::AllFiles(expected::kDiskAFiles);
  Bytes& ed = files["ED"];
  expected::PutText(ed, expected::kMarkAPosition, expected::kMarkA);
  expected::PutText(ed, expected::kMarkBPosition, expected::kMarkB);
  return files;
}

const Files kFilesA = expected::AllFiles(expected::kDiskAFiles);
const Files kFilesB = expected::AllFiles(expected::kDiskBFiles);

const Scenario kScenarios[] = {
    {"DiskAWhole", [] { return std::vector<Image>{expected::DiskA()}; }, expected::DiskAOutput(),
     "", kFilesA},
    {"DiskBWhole", [] { return std::vector<Image>{expected::DiskB()}; }, expected::DiskBOutput(),
     "", kFilesB},
    {"DiskBThenDiskA", [] { return std::vector<Image>{expected::DiskB(), expected::DiskA()}; },
     expected::DiskBOutput() + expected::DiskAOutput(), "", Merge(kFilesA, kFilesB)},
    {"BothMarksMakeDiskA",
     [] {
       Image image = expected::DiskA();
       expected::PutText(expected::Record(image, 0, 1).data, expected::kMarkBPosition,
                         expected::kMarkB);
       return std::vector<Image>{image};
     },
     expected::DiskAOutput(), "", kFilesA},
    {"MarksOffByOneByte", NearMisses, "", "", {}},
    {"NoBootSectorIsPassedOver",
     [] {
       Image missing = expected::DiskA();
       expected::RemoveSector(missing, 0, 1);
       Image empty = expected::DiskA();
       expected::Record(empty, 0, 1).data.clear();
       return std::vector<Image>{missing, empty, expected::DiskB()};
     },
     expected::DiskBOutput(), "", kFilesB},
    {"MissingFirstSectorSkipsTheFile",
     [] {
       Image a = expected::DiskA();
       expected::RemoveSector(a, 0, 6);
       Image b = expected::DiskB();
       expected::RemoveSector(b, 45, 14);
       return std::vector<Image>{a, b};
     },
     expected::kDiskALine + expected::CuttingLine("MAIN") + expected::CuttingLine("OP") +
         expected::CuttingLine("ED") + expected::kDiskBLine + expected::CuttingLine("DEMO2"),
     "", Without(Without(Merge(kFilesA, kFilesB), "DRIVER"), "PLANET")},
    {"MissingSectorCutsARunShort",
     [] {
       Image a = expected::DiskA();
       expected::RemoveSector(a, 24, 5);
       return std::vector<Image>{a};
     },
     expected::DiskAOutput(), "d88cut: MAIN: only 5120 of 7168 bytes could be read\n",
     Merge({{"MAIN", Prefix("MAIN", 5120)}}, kFilesA)},
    // The short sector's 100 bytes and MAIN's bytes further on are in the
    // buffer past what the run delivered; none of them may reach ED.
    {"ShortSectorCutsARunShort",
     [] {
       Image a = expected::DiskA();
       expected::Record(a, 20, 1).data.resize(100);
       return std::vector<Image>{a};
     },
     expected::DiskAOutput(), "d88cut: ED: only 4096 of 7424 bytes could be read\n",
     Merge({{"ED", Prefix("ED", 4096)}}, kFilesA)},
    {"MarksLeftInTheBufferRecogniseNothing",
     [] {
       return std::vector<Image>{
           DiskALeavingBothMarks(),
           BootSectorOneByteShortOf(expected::kMarkAPosition, expected::kMarkA),
           BootSectorOneByteShortOf(expected::kMarkBPosition, expected::kMarkB)};
     },
     expected::DiskAOutput(), "", StaleMarkFiles()},
};

class ScenarioTest : public CutProcessTest, public testing::WithParamInterface<Scenario> {};

TEST_P(ScenarioTest, PrintsAndWritesExactly) {
  const Scenario& scenario = GetParam();
  WriteImages(scenario.images());
  const Outcome outcome = Cut();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, scenario.out);
  EXPECT_EQ(outcome.err, scenario.err);
  ExpectFiles(scenario.files);
}

INSTANTIATE_TEST_SUITE_P(Images, ScenarioTest, testing::ValuesIn(kScenarios), NameOf<Scenario>);

// --- Output files --------------------------------------------------------------

TEST_F(CutProcessTest, ExistingFilesAreReplacedWhole) {
  WriteImages({expected::DiskA()});
  d88test::ScratchDir elsewhere;
  const Bytes kept = {'k', 'e', 'p', 't'};
  d88test::WriteFile(elsewhere / "target", kept);
  d88test::WriteFile(elsewhere / "linked", kept);

  d88test::WriteFile(work_ / "OP", Bytes(10000, 'x'));           // longer than the new OP
  fs::create_symlink(elsewhere / "target", work_ / "MAIN");      // replaced, not written through
  fs::create_hard_link(elsewhere / "linked", work_ / "DRIVER");  // the other name keeps its bytes
  d88test::WriteFile(work_ / "ED", Bytes(10, 'r'));
  fs::permissions(work_ / "ED",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  const Outcome outcome = Cut();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, expected::DiskAOutput());
  EXPECT_EQ(outcome.err, "");
  ExpectFiles(kFilesA);
  EXPECT_EQ(d88test::ReadFile(elsewhere / "target"), kept);
  EXPECT_EQ(d88test::ReadFile(elsewhere / "linked"), kept);
}

TEST_F(CutProcessTest, NewFilesGetTheUsualModeUnderTheUmask) {
  WriteImages({expected::DiskA()});
  const mode_t previous = umask(027);  // inherited by the child
  const Outcome outcome = Cut();
  umask(previous);
  EXPECT_EQ(outcome.status, 0);
  for (const expected::File& file : expected::kDiskAFiles) {
    struct stat info {};
    ASSERT_EQ(stat((work_ / file.name).c_str(), &info), 0) << file.name;
    EXPECT_EQ(info.st_mode & 0777, 0640u) << file.name;
  }
}

TEST_F(CutProcessTest, DirectoryInTheWaySkipsOnlyThatFile) {
  WriteImages({expected::DiskA()});
  fs::create_directory(work_ / "MAIN");
  d88test::WriteFile(work_ / "MAIN" / "inside", {'i'});

  const Outcome outcome = Cut();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, expected::DiskAOutput());
  EXPECT_EQ(outcome.err, std::string("d88cut: cannot write MAIN: ") + std::strerror(EISDIR) + "\n");
  ExpectFiles(Without(kFilesA, "MAIN"), {kImageName, "MAIN"});
  EXPECT_EQ(d88test::ListDirectory(work_ / "MAIN"), std::set<std::string>{"inside"});
}

TEST_F(CutProcessTest, FileSizeLimitKeepsTheOlderFile) {
  // DRIVER (3072) and OP (1792) fit under the limit, MAIN (7168) and ED
  // (7424) do not.
  constexpr rlim_t kLimit = 4096;
  WriteImages({expected::DiskA()});
  const Bytes olderMain = {'o', 'l', 'd', '\n'};
  d88test::WriteFile(work_ / "MAIN", olderMain);

  const Outcome outcome = Cut(kImageName, kLimit);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, expected::DiskAOutput());
  const std::string reason = std::strerror(EFBIG);
  EXPECT_EQ(outcome.err,
            "d88cut: cannot write MAIN: " + reason + "\nd88cut: cannot write ED: " + reason + "\n");
  ExpectFiles({{"DRIVER", expected::Contents("DRIVER")},
               {"MAIN", olderMain},
               {"OP", expected::Contents("OP")}});
}

// --- The image is only read ----------------------------------------------------

// The image is opened for reading only, so a read-only image in a read-only
// directory is cut like any other. Modes alone do not stop root from
// writing: the image's bytes, mode and modification time and the directory's
// listing show that nothing was written there.
TEST_F(CutProcessTest, ReadOnlyImageInReadOnlyDirectoryIsCutAndLeftAsItWas) {
  const fs::path inputDir = work_ / "input";
  const fs::path image = inputDir / kImageName;
  fs::create_directory(inputDir);
  const Bytes bytes = d88gen::BuildFile({expected::DiskA(), expected::DiskB()});
  d88test::WriteFile(image, bytes);
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const fs::perms readAndSearch = readOnly | fs::perms::owner_exec | fs::perms::group_exec |
                                  fs::perms::others_exec;
  fs::permissions(image, readOnly);
  fs::permissions(inputDir, readAndSearch);
  struct stat before {};
  ASSERT_EQ(stat(image.c_str(), &before), 0);

  const Outcome outcome = Cut((fs::path("input") / kImageName).string());
  fs::permissions(inputDir, fs::perms::owner_write, fs::perm_options::add);  // for the cleanup

  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, expected::DiskAOutput() + expected::DiskBOutput());
  EXPECT_EQ(outcome.err, "");
  ExpectFiles(Merge(kFilesA, kFilesB), {"input"});
  EXPECT_EQ(d88test::ListDirectory(inputDir), std::set<std::string>{kImageName});
  EXPECT_EQ(d88test::ReadFile(image), bytes);
  struct stat after {};
  ASSERT_EQ(stat(image.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// --- Generated sample files ------------------------------------------------------

struct Generated {
  const char* name;
  std::vector<std::string> generatorArgs;  // after the subcommand's PATH
  std::string out;
  Files files;
};

std::ostream& operator<<(std::ostream& os, const Generated& generated) {
  return os << generated.name;
}

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

const Generated kGenerated[] = {
    {"Sample",
     {"sample"},
     expected::DiskAOutput() + expected::DiskBOutput(),
     Merge(kFilesA, kFilesB)},
    {"Many",
     {"many"},
     Repeat(expected::DiskAOutput() + expected::DiskBOutput(), d88::kMaxDisks / 2),
     Merge(kFilesA, kFilesB)},
    {"HostileOne", {"hostile"}, expected::DiskAOutput(), kFilesA},
    {"HostileThree",
     {"hostile", "3"},
     expected::DiskAOutput() + expected::DiskBOutput() + expected::DiskAOutput(),
     Merge(kFilesA, kFilesB)},
};

class GeneratedTest : public CutProcessTest, public testing::WithParamInterface<Generated> {};

TEST_P(GeneratedTest, CutsEveryFile) {
  const Generated& generated = GetParam();
  std::vector<std::string> argv = {D88GEN_PATH, generated.generatorArgs[0], kImageName};
  argv.insert(argv.end(), generated.generatorArgs.begin() + 1, generated.generatorArgs.end());
  const Outcome made = Run(D88GEN_PATH, argv);
  ASSERT_EQ(made.status, 0) << made.err;

  const Outcome outcome = Cut();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, generated.out);
  EXPECT_EQ(outcome.err, "");
  ExpectFiles(generated.files);
}

INSTANTIATE_TEST_SUITE_P(D88Gen, GeneratedTest, testing::ValuesIn(kGenerated), NameOf<Generated>);

}  // namespace
