// What d88info says of the images of one D88 file.

#ifndef D88_INFO_REPORT_H_
#define D88_INFO_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "console/text_output.h"
#include "reader/d88_reader.h"
#include "tool/cut_catalogue.h"

// Reports images of an open reader, each by the catalogue d88cut cuts by.
// Holds the buffers the reads land in, so that nothing is allocated per
// image.
class ImageReport {
 public:
  ImageReport();

  // One line for image `index`: its offset, size, media type, write
  // protection, tracks present, name, and whether d88cut recognises it and
  // why not. For a recognised disk a second line gives each file of its
  // table as NAME GOT/SIZE, GOT being the bytes d88cut would write, and for
  // a file that would come out short or not at all the first sector that
  // cannot be read whole. With `ids`, one line per present track lists its
  // sector IDs in stored order.
  void Write(D88Reader& reader, std::int32_t index, bool ids, console::TextOutput& out);

 private:
  void WriteCut(D88Reader& reader, const DiskKind& disk, console::TextOutput& out);
  void WriteIds(D88Reader& reader, console::TextOutput& out);

  std::vector<std::uint8_t> run_;
  std::vector<std::uint8_t> ids_;
  std::string line_;  // keeps its room from one line to the next
};

#endif  // D88_INFO_REPORT_H_
