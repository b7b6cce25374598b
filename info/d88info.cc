#include "info/d88info.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/text_output.h"
#include "info/report.h"
#include "reader/d88_reader.h"

namespace {

constexpr char kProgramName[] = "d88info";
constexpr char kUsage[] = "Usage: d88info [--ids] FILE...\n";
constexpr char kHelp[] =
    "Usage: d88info [--ids] FILE...\n"
    "Show what the disk images of each D88 file are, and what d88cut would cut\n"
    "from them. Files are only read.\n"
    "\n"
    "For each image: its index, file offset and disk size, media type (2D, 2DD,\n"
    "2HD, or the byte), write protection, the number of tracks present, its name,\n"
    "and whether d88cut recognises it as Disk A or Disk B, or why not. For a\n"
    "recognised disk, each file d88cut would write as NAME GOT/SIZE, and for a\n"
    "file that would come out short or not at all, the first sector that cannot\n"
    "be read whole.\n"
    "\n"
    "  --ids      also list the sector IDs of each present track, in stored order\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when every FILE was reported, 1 when any could not be opened,\n"
    "2 for a usage error.\n";

int UsageError(console::TextOutput& err, const std::string& problem) {
  err.WriteEscapedNative(std::string(kProgramName) + ": " + problem);
  err.WriteNative(std::string("\n") + kUsage + "Try 'd88info --help' for more information.\n");
  return 2;
}

// "d88info: PATH: what" on standard error, after what standard output holds.
void Complain(console::TextOutput& err, std::FILE* out, const char* path, const std::string& what) {
  std::fflush(out);
  err.WriteEscapedNative(std::string(kProgramName) + ": " + path + ": " + what);
  err.WriteNative("\n");
}

}  // namespace

int RunD88Info(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  console::TextOutput outText(out);
  console::TextOutput errText(err);
  bool ids = false;
  bool optionsEnded = false;
  std::vector<const char*> paths;
  for (int i = 1; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    const std::string_view argument = argv[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      paths.push_back(argv[i]);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--ids") {
      ids = true;
    } else if (argument == "--help") {
      outText.WriteNative(kHelp);
      return 0;
    } else if (argument == "--version") {
      outText.WriteNative(std::string(kProgramName) + " " + D88_VERSION + "\n");
      return 0;
    } else {
      return UsageError(errText, "unknown option '" + std::string(argument) + "'");
    }
  }
  if (paths.empty()) return UsageError(errText, "no FILE given");

  D88Reader reader;
  ImageReport report;
  int status = 0;
  for (const char* path : paths) {
    if (!reader.Open(path)) {
      Complain(errText, out, path, reader.GetOpenError());
      status = 1;
      continue;
    }
    const std::int32_t count = reader.GetDiskCount();
    outText.WriteEscapedNative(path);
    outText.WriteNative(": " + std::to_string(count) + (count == 1 ? " image\n" : " images\n"));
    for (std::int32_t index = 0; index < count; ++index) report.Write(reader, index, ids, outText);
    // What a stream held past the limit, or past a failed copy, was never seen.
    if (reader.GetStreamProblem()[0] != '\0') Complain(errText, out, path, reader.GetStreamProblem());
  }
  std::fflush(out);
  std::fflush(err);
  return status;
}
