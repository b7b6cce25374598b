// Runs the built d88info as a child process and checks the exact bytes on
// standard output and standard error, the exit status, and that the working
// directory is left as it was.

#include <gtest/gtest.h>

#include <cstdlib>
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
using d88gen::Image;
using d88test::ChildOptions;
using d88test::ChildOutcome;
using expected::Bytes;

constexpr char kImageName[] = "set.d88";

// Bytes of a plain disk: the header and tracks of 16 records of 256 bytes.
constexpr int kHeader = 688;
constexpr int kRecord = 16 + 256;
constexpr int kPlainDisk = kHeader + expected::kTracks * 16 * kRecord;

const std::string kDiskAFiles = "      DRIVER 3072/3072  MAIN 7168/7168  OP 1792/1792  ED 7424/7424\n";

class InfoTest : public testing::Test {
 protected:
  // Runs d88info with `arguments` after argv[0], in the work directory, and
  // checks that the directory holds afterwards what it held before.
  ChildOutcome Info(const std::vector<std::string>& arguments, ChildOptions options = {}) {
    std::vector<std::string> argv = {D88INFO_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    options.workDir = work_.path();
    const std::set<std::string> before = d88test::ListDirectory(work_.path());
    const ChildOutcome outcome = d88test::RunChild(D88INFO_PATH, argv, options);
    EXPECT_EQ(d88test::ListDirectory(work_.path()), before) << "d88info wrote in its directory";
    return outcome;
  }

  void WriteImages(const std::vector<Image>& images, const std::string& name = kImageName) {
    d88test::WriteFile(work_ / name, d88gen::BuildFile(images));
  }

  d88test::ScratchDir work_;
};

Image Named(Image image, const std::string& name) {
  image.name = name;
  return image;
}

// 154 tracks of 26 sectors of 256 bytes.
Image HighDensityData() {
  Image image = d88gen::StandardImage(154, 26, 1);
  image.name = "DATA";
  image.mediaType = 0x20;
  return image;
}

TEST_F(InfoTest, ReportsEachImageAndTheCutOfEachDisk) {
  Image diskB = Named(expected::DiskB(), "GAME B");
  expected::RemoveSector(diskB, 45, 14);
  WriteImages({Named(expected::DiskA(), "GAME A"), diskB, HighDensityData()});
  const int diskBSize = kPlainDisk - kRecord;
  const ChildOutcome outcome = Info({kImageName});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out,
            "set.d88: 3 images\n"
            "#0  offset 0  size " + std::to_string(kPlainDisk) + "  2D  tracks 50  \"GAME A\"  Disk A\n" +
                kDiskAFiles +
                "#1  offset " + std::to_string(kPlainDisk) + "  size " + std::to_string(diskBSize) +
                "  2D  tracks 50  \"GAME B\"  Disk B\n"
                "      PLANET 0/2048 (track 45 sector 14 missing)  DEMO2 512/512\n"
                "#2  offset " + std::to_string(kPlainDisk + diskBSize) +
                "  size 1089776  2HD  tracks 154  \"DATA\"  not recognised: no mark\n");
}

TEST_F(InfoTest, EveryWayAnImageIsNotRecognised) {
  Image noTrack = expected::PlainDisk();
  noTrack.tracks[0].reset();
  Image noSector = expected::PlainDisk();
  expected::RemoveSector(noSector, 0, 1);
  Image shortBoot = expected::DiskB();
  expected::Record(shortBoot, 0, 1).data.resize(100);
  // Disk A's mark lies within the first 8 bytes, so 100 bytes are enough.
  Image shortDiskA = expected::DiskA();
  expected::Record(shortDiskA, 0, 1).data.resize(100);
  WriteImages({noTrack, noSector, shortBoot, expected::PlainDisk(), shortDiskA});
  const ChildOutcome outcome = Info({kImageName});
  EXPECT_EQ(outcome.status, 0);
  const std::string text = outcome.out;
  const std::vector<std::string> reasons = {
      "not recognised: no boot sector\n", "not recognised: no boot sector\n",
      "not recognised: a boot sector of only 100 bytes\n", "not recognised: no mark\n", "Disk A\n"};
  std::size_t from = 0;
  for (const std::string& reason : reasons) {
    SCOPED_TRACE(reason);
    const std::size_t at = text.find("\"  " + reason, from);
    ASSERT_NE(at, std::string::npos) << text;
    from = at + 1;
  }
}

TEST_F(InfoTest, ShortAndMissingFilesNameTheSector) {
  Image diskA = expected::DiskA();
  expected::RemoveSector(diskA, 24, 5);             // MAIN stops inside its second track
  expected::Record(diskA, 20, 1).data.resize(100);  // ED stops at a short sector
  expected::RemoveSector(diskA, 0, 6);              // DRIVER gets nothing
  Image diskB = expected::DiskB();
  diskB.writeProtect = 0x10;
  diskB.mediaType = 0x30;
  diskB.tracks[48].reset();  // DEMO2's track is absent
  WriteImages({diskA, diskB});
  const ChildOutcome outcome = Info({kImageName});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  const int diskASize = kPlainDisk - 2 * kRecord - 156;
  EXPECT_EQ(outcome.out,
            "set.d88: 2 images\n"
            "#0  offset 0  size " + std::to_string(diskASize) + "  2D  tracks 50  \"\"  Disk A\n"
                "      DRIVER 0/3072 (track 0 sector 6 missing)  MAIN 5120/7168 (track 24 sector 5 missing)"
                "  OP 1792/1792  ED 4096/7424 (track 20 sector 1: 100 of 256 bytes)\n"
                "#1  offset " + std::to_string(diskASize) + "  size " + std::to_string(kPlainDisk - 16 * kRecord) +
                "  0x30  write-protected  tracks 49  \"\"  Disk B\n"
                "      PLANET 2048/2048  DEMO2 0/512 (track 48 sector 6 missing)\n");
}

TEST_F(InfoTest, IdsListEachPresentTrackInStoredOrder) {
  Image image;
  image.name = "IDS";
  image.SetTrack(0, d88gen::StandardTrack(0, 16));
  d88gen::Track interleaved;
  const d88gen::Track inOrder = d88gen::StandardTrack(3, 6);
  for (const std::size_t r : {1u, 3u, 5u, 2u, 4u, 6u}) interleaved.records.push_back(inOrder.records[r - 1]);
  interleaved.records[4].n = 2;  // R4 claims 512 bytes
  image.SetTrack(3, interleaved);
  d88gen::Track repeated;
  repeated.records.assign(5, d88gen::SectorRecord{});
  image.SetTrack(5, repeated);
  d88gen::Track lone = d88gen::StandardTrack(9, 1);
  image.SetTrack(9, lone);
  WriteImages({image});
  const ChildOutcome outcome = Info({"--ids", kImageName});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "set.d88: 1 image\n"
            "#0  offset 0  size " + std::to_string(kHeader + (16 + 6 + 1) * kRecord + 5 * 16) +
                "  2D  tracks 4  \"IDS\"  not recognised: no mark\n"
                "      track 0: 16 sectors  C0 H0 R1-16 N1\n"
                "      track 3: 6 sectors  C1 H1 R1,3,5,2 N1  C1 H1 R4 N2  C1 H1 R6 N1\n"
                "      track 5: 5 sectors  C0 H0 R1*5 N1\n"
                "      track 9: 1 sector  C4 H1 R1 N1\n");
}

// A name made to take over the terminal of whoever looks at the file: set the
// window title, clear the screen, start an 8-bit control sequence; with a
// kanji and a backslash among them.
// Sixteen bytes, all a name can hold.
const std::string kHostileName = "\x1B]0;x\x07\x1B[2J\x9B" "2J\x94\x46\\";

TEST_F(InfoTest, NamesCannotControlTheTerminal) {
  Image image = expected::DiskA();
  image.name = kHostileName;
  WriteImages({image}, "\x1B[31mred.d88");
  const std::string quotedName = "\"\\x1B]0;x\\x07\\x1B[2J\\x9B2J\x94\x46\\\\\"";
  const struct {
    const char* label;
    std::vector<std::string> environment;
    bool terminal;
    std::string name;
  } cases[] = {
      {"into a pipe", {"LANG=C.UTF-8"}, false, quotedName},
      {"onto a UTF-8 terminal", {"LANG=C.UTF-8"}, true, "\"\\x1B]0;x\\x07\\x1B[2J\\x9B2J認\\\\\""},
      {"onto an ASCII terminal", {"LANG=C"}, true, "\"\\x1B]0;x\\x07\\x1B[2J\\x9B2J\\x94F\\\\\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ChildOptions options;
    options.environment = c.environment;
    options.stdoutIsTerminal = c.terminal;
    const ChildOutcome outcome = Info({"\x1B[31mred.d88"}, options);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "\\x1B[31mred.d88: 1 image\n#0  offset 0  size " + std::to_string(kPlainDisk) +
                               "  2D  tracks 50  " + c.name + "  Disk A\n" + kDiskAFiles);
  }
}

TEST_F(InfoTest, FilesThatCannotBeOpenedAreSaidAndTheOthersReported) {
  WriteImages({expected::DiskA()});
  fs::create_directory(work_ / "folder.d88");
  const ChildOutcome outcome = Info({"missing.d88", kImageName, "folder.d88"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "set.d88: 1 image\n#0  offset 0  size " + std::to_string(kPlainDisk) +
                             "  2D  tracks 50  \"\"  Disk A\n" + kDiskAFiles);
  EXPECT_EQ(outcome.err,
            "d88info: missing.d88: No such file or directory\nd88info: folder.d88: Is a directory\n");
}

TEST_F(InfoTest, CommandLine) {
  WriteImages({expected::DiskA()});
  d88test::WriteFile(work_ / "--ids", {});
  const std::string usage = "Usage: d88info [--ids] FILE...\nTry 'd88info --help' for more information.\n";
  const struct {
    const char* label;
    std::vector<std::string> arguments;
    int status;
    std::string outStart;  // the beginning of standard output
    std::string err;
  } cases[] = {
      {"no FILE", {}, 2, "", "d88info: no FILE given\n" + usage},
      {"only options", {"--ids"}, 2, "", "d88info: no FILE given\n" + usage},
      {"an unknown option", {"--idz", kImageName}, 2, "", "d88info: unknown option '--idz'\n" + usage},
      {"a short option", {"-i", kImageName}, 2, "", "d88info: unknown option '-i'\n" + usage},
      {"help wins", {kImageName, "--help"}, 0, "Usage: d88info [--ids] FILE...\n", ""},
      {"version", {"--version"}, 0, std::string("d88info ") + D88_VERSION + "\n", ""},
      {"-- ends the options", {"--", "--ids"}, 0, "--ids: 0 images\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const ChildOutcome outcome = Info(c.arguments);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.out.substr(0, c.outStart.size()), c.outStart);
    if (c.outStart.empty()) {
      EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(outcome.err, c.err);
  }
}

TEST_F(InfoTest, StreamIsReportedAsTheFile) {
  const d88test::PipeFeeder feeder(d88gen::BuildFile({expected::DiskA()}));
  ChildOptions options;
  options.standardInput = feeder.readEnd();
  const ChildOutcome outcome = Info({"/dev/stdin"}, options);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "/dev/stdin: 1 image\n#0  offset 0  size " + std::to_string(kPlainDisk) +
                             "  2D  tracks 50  \"\"  Disk A\n" + kDiskAFiles);
  EXPECT_EQ(outcome.err, "");
}

// Images made by other programs: each is reported, one line per image, and
// none is a disk of the set.
TEST(InfoCorpusTest, ReportsImagesMadeElsewhere) {
  const char* corpus = std::getenv("D88_CORPUS_DIR");
  if (corpus == nullptr || !fs::is_directory(corpus)) GTEST_SKIP() << "no corpus of D88 images here";
  std::vector<std::string> argv = {D88INFO_PATH, "--ids"};
  for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".d88" || extension == ".d77") argv.push_back(entry.path().string());
  }
  ASSERT_GT(argv.size(), 2u);
  d88test::ScratchDir work;
  ChildOptions options;
  options.workDir = work.path();
  const ChildOutcome outcome = d88test::RunChild(D88INFO_PATH, argv, options);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_TRUE(fs::is_empty(work.path()));
  std::size_t files = 0;
  std::size_t images = 0;
  std::size_t announced = 0;
  std::size_t lineStart = 0;
  while (lineStart < outcome.out.size()) {
    const std::size_t lineEnd = outcome.out.find('\n', lineStart);
    ASSERT_NE(lineEnd, std::string::npos);
    const std::string line = outcome.out.substr(lineStart, lineEnd - lineStart);
    for (const char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << line;
    if (line.rfind("#", 0) == 0) {
      ++images;
      EXPECT_NE(line.find("  not recognised: "), std::string::npos) << line;
    } else if (line.rfind(" ", 0) != 0) {
      ++files;
      const std::size_t colon = line.rfind(": ");
      ASSERT_NE(colon, std::string::npos) << line;
      announced += std::stoul(line.substr(colon + 2));
    }
    lineStart = lineEnd + 1;
  }
  EXPECT_EQ(files, argv.size() - 2);
  EXPECT_EQ(images, announced);
}

}  // namespace
