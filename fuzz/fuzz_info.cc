// Fuzz target for the d88info report.
//
// The input is a D88 file, reported as d88info reports it. The report must
// say how many images the file holds and give one line to each, and no byte
// that could control a terminal may reach either stream: every byte is a
// line end, printable ASCII, or part of a Shift_JIS character (half-width
// katakana, or a lead byte with its trail byte).
//
// Small inputs are reported with --ids. A 64 KiB input can make tens of
// megabytes of sector IDs (64 images whose 164 tracks all walk one chain of
// thousands of records), seconds of work under the sanitizers; IDs are
// numbers, and the names and paths that could carry control bytes are
// reported either way.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"
#include "info/d88info.h"

namespace {

// At most 5 images, and walks of at most 256 records.
constexpr std::size_t kLargestInputWithIds = 4096;

// A stream that holds what one run wrote, emptied for the next.
class Capture {
 public:
  Capture() : file_(std::tmpfile()) { fuzz::Check(file_ != nullptr, "cannot make a temporary file"); }
  std::FILE* get() const { return file_; }
  std::string Take() {
    std::fflush(file_);
    std::string text;
    std::rewind(file_);
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file_)) > 0;) text.append(chunk, got);
    std::rewind(file_);
    fuzz::Check(::ftruncate(::fileno(file_), 0) == 0, "cannot empty the capture");
    return text;
  }

 private:
  std::FILE* file_;
};

bool IsLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
bool IsTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

void CheckHarmless(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n' || (byte >= 0x20 && byte < 0x7F) || (byte >= 0xA1 && byte <= 0xDF)) continue;
    fuzz::Check(IsLead(byte) && i + 1 < text.size() && IsTrail(static_cast<unsigned char>(text[i + 1])),
                "every byte is a line end, printable ASCII or part of a Shift_JIS character");
    ++i;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Capture out;
  static Capture err;
  const char* path = fuzz::WriteInput(data, size);
  const bool ids = size <= kLargestInputWithIds;
  const char* const argv[] = {"d88info", ids ? "--ids" : path, ids ? path : nullptr, nullptr};
  fuzz::Check(RunD88Info(ids ? 3 : 2, argv, out.get(), err.get()) == 0, "a readable file is reported");

  const std::string report = out.Take();
  CheckHarmless(report);
  CheckHarmless(err.Take());

  const std::string head = std::string(path) + ": ";
  fuzz::Check(report.compare(0, head.size(), head) == 0, "the report begins with the path");
  const unsigned long images = std::stoul(report.substr(head.size()));
  std::size_t lines = 0;
  for (std::size_t at = report.find("\n#"); at != std::string::npos; at = report.find("\n#", at + 1)) ++lines;
  fuzz::Check(lines == images, "one line for each image the file holds");
  return 0;
}
