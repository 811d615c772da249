// SPDX-License-Identifier: MIT
// The pelc command: what its parts share.
#pragma once

#include "pelc.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelc_cli {

// Exit statuses, as scripts expect them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Owns one image handle.
struct ImageDeleter {
  void operator()(PELIMAGE *image) const noexcept { pelDestroyImage(image); }
};
using Image = std::unique_ptr<PELIMAGE, ImageDeleter>;

// ---- Values on the command line (values.cpp) ----------------------------

std::optional<int32_t> parseInt(std::string_view text);
std::optional<double> parseNumber(std::string_view text);
// "R,G,B" or one number for all three channels.
std::optional<std::vector<double>> parseTriple(std::string_view text);
// "#RRGGBB" or a colour name, as the library's packed colour 0x00BBGGRR.
std::optional<uint32_t> parseColour(std::string_view text);
std::string colourNames();

// ---- Image types (image_files.cpp) -----------------------------------------

// Short and long names of an image type code.
const char *typeShortName(int32_t type);
const char *typeLongName(int32_t type);

// ---- Image files (image_files.cpp) -----------------------------------------

// The sibling library that reads and writes formats other than BMP.
const char *siblingName();

// Loads a picture: BMP through the library, other formats through the sibling.
// On failure returns null and says why in `reason`.
Image loadImage(const std::string &path, std::string &reason);

// Checks that the output's format can be written, before any work is done.
bool checkOutputFormat(const std::string &path, std::string &reason);

// Writes the picture under a temporary name beside `path`, then renames it,
// so that an existing file is replaced only by a complete one.
bool saveImage(const PELIMAGE *image, const std::string &path, int quality, std::string &reason);

// Replaces `to` with `from` in one step (also where the target exists).
bool replaceFile(const std::string &from, const std::string &to);

bool isDirectory(const std::string &path);

// What a BMP file's header says, before and after the library's repair.
struct BmpReport {
  bool opened = false;         // the file could be opened
  bool isBmp = false;          // starts with the BMP signature
  bool usable = false;         // the library can load it
  std::string refusal;         // why not, when not usable
  BITMAPINFOHEADER original{}; // as stored in the file
  BITMAPINFOHEADER repaired{}; // after the repairing validation
  uint32_t findings = 0;       // the validation's error word
  uint32_t headerBlock = 0;    // header plus table or masks, as loaded
  uint32_t bitsSize = 0;       // pixel bytes the header asks for
};
BmpReport inspectBmp(const std::string &path);

// The validation findings in words, one per set bit, with the repaired values.
std::vector<std::string> describeFindings(const BITMAPINFOHEADER &original,
                                          const BITMAPINFOHEADER &repaired, uint32_t findings);

// Name of a file's format ("BMP", "PNG", ...) by its content or else its
// extension, or "".
std::string formatName(const std::string &path);

// ---- Operations (operations.cpp) ------------------------------------------

struct Step;

// One operation of the table: how it reads its arguments and what it calls.
struct Operation {
  const char *name;
  const char *arguments; // synopsis of the positional arguments
  int positional;        // how many positional arguments it takes
  const char *options;   // synopsis of its options, each "--name VALUE"
  bool source;           // makes the picture itself: no input file
  const char *summary;   // one line for `pelc list`
  const char *details;   // the rest of its help
  // Checks and stores the arguments; false with a reason on a usage error.
  bool (*parse)(Step &step, std::string &reason);
  // Applies the operation to the picture; false with a reason on failure.
  bool (*apply)(const Step &step, Image &image, std::string &reason);
};

// One operation with its arguments, as given on the command line.
struct Step {
  const Operation *op = nullptr;
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> options;
  // Parsed values, filled by the operation's parser.
  std::vector<double> numbers;
  std::vector<double> numbers2; // a second triple (contrast)
  uint32_t colour = 0;
  std::string text;

  const std::string *option(std::string_view name) const;
};

const std::vector<Operation> &operations();
const Operation *findOperation(std::string_view name);
// Whether the operation knows the option "--name".
bool hasOption(const Operation &op, std::string_view name);
// The help of one operation, from the table.
std::string operationHelp(const Operation &op);

// ---- Commands ---------------------------------------------------------------

int runInfo(const std::vector<std::string> &args);

// A chain of steps over files, possibly a batch.
struct Job {
  std::vector<Step> steps;
  std::vector<std::string> inputs;
  std::string output;    // single output file
  std::string outputDir; // batch: -o DIRECTORY
  unsigned jobs = 0;     // 0: the number of cores
  int quality = 0;       // for lossy output formats; 0 the sibling's default
  bool quiet = false;
};
int runJob(const Job &job);

// `pelc: what: reason` on stderr.
void report(std::string_view what, std::string_view reason);

} // namespace pelc_cli
