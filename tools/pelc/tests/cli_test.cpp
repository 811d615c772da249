// SPDX-License-Identifier: MIT
// The pelc command run as a process: every operation against the library
// called directly on the same input (identical files), usage errors, refused
// inputs, unwritable outputs and batches.
#include "pelc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

struct ImageDeleter {
  void operator()(PELIMAGE *image) const noexcept { pelDestroyImage(image); }
};
using Image = std::unique_ptr<PELIMAGE, ImageDeleter>;

struct Result {
  int status;
  std::string out;
  std::string err;
};

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

#ifdef _WIN32
// Starts the tool directly rather than through the command interpreter, which
// costs a second process per call under an emulator.
int runTool(std::string commandLine) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA("tool.out", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = CreateFileA("tool.err", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}
#endif

// Runs the tool in the current directory (the test's work directory), so
// that every file argument is a plain relative name.
Result pelc(const std::string &args) {
  std::string tool = PELC_TOOL_PATH;
#ifdef _WIN32
  for (char &c : tool) {
    if (c == '/') c = '\\';
  }
  const int status = runTool(tool + " " + args);
#else
  // A word starting with # would be a comment to the shell.
  std::string quoted;
  for (char c : args) {
    if (c == '#') quoted += '\\';
    quoted += c;
  }
  const std::string command = tool + " " + quoted + " >tool.out 2>tool.err";
  int status = std::system(command.c_str());
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return {status, readFile("tool.out"), readFile("tool.err")};
}

// The input pictures: every creatable type, odd sizes so that line padding
// and partial bytes show.
struct Input {
  const char *file;
  int32_t type;
  int palette; // standard palette kind, -1 for none
};
const std::vector<Input> kInputs = {
    {"in1.bmp", PEL_TYPE_BIT1, PEL_PAL_BLACKWHITE},
    {"in4.bmp", PEL_TYPE_BIT4, PEL_PAL_COLOR16},
    {"ing4.bmp", PEL_TYPE_GREY4, PEL_PAL_GREY16},
    {"in8.bmp", PEL_TYPE_BIT8, PEL_PAL_COLOR256},
    {"ing8.bmp", PEL_TYPE_GREY8, PEL_PAL_GREY256},
    {"in555.bmp", PEL_TYPE_BIT555, -1},
    {"in565.bmp", PEL_TYPE_BIT565, -1},
    {"in24.bmp", PEL_TYPE_BIT24, -1},
    {"in32.bmp", PEL_TYPE_BIT32, -1},
};
constexpr int32_t kWidth = 23, kHeight = 17;

Image makeInput(const Input &input, uint32_t seed) {
  RGBQUAD colours[256] = {};
  if (input.palette >= 0) pelCreateGDIColors(colours, static_cast<uint32_t>(input.palette));
  Image image(pelCreateImage(input.type, kWidth, kHeight, input.palette >= 0 ? colours : nullptr, 0,
                             2835, 2835, PEL_MEM_AUTO));
  std::mt19937 random(seed);
  for (uint32_t i = 0; i < image->core->bitsSize; ++i)
    image->core->bits[i] = static_cast<uint8_t>(random());
  return image;
}

class Cli : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    fs::path work = fs::path(PELC_TEST_WORK_DIR);
    fs::remove_all(work);
    fs::create_directories(work);
    fs::current_path(work);
    uint32_t seed = 1;
    for (const Input &input : kInputs) {
      Image image = makeInput(input, seed++);
      ASSERT_TRUE(image && pelSaveBmpFile(image.get(), input.file));
    }
  }

  // Each test in a folder of its own name: on Windows a folder removed while
  // a handle inside it is still closing lingers, and one made again at once
  // under the same name would meet its remains.
  void SetUp() override {
    caseDir_ =
        std::string("case-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directory(caseDir_);
    fs::current_path(caseDir_);
    for (const Input &input : kInputs) fs::copy_file(fs::path("..") / input.file, input.file);
  }
  void TearDown() override {
    fs::current_path("..");
    std::error_code ignored; // the suite's folder goes as a whole next time
    fs::remove_all(caseDir_, ignored);
  }

private:
  std::string caseDir_;

protected:
  // Files in the current directory apart from the inputs and the captured output.
  static std::vector<std::string> newFiles(const fs::path &dir = ".") {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir)) {
      std::string name = entry.path().filename().string();
      if (name.rfind("in", 0) != 0 && name.rfind("tool.", 0) != 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// The library's own answer: load, apply, save under `expected`; false when
// the library refuses.
using Direct = std::function<PELIMAGE *(PELIMAGE *)>;
bool directResult(const std::string &input, const Direct &call, const std::string &expected) {
  Image image(pelLoadBmpFile(input.c_str(), PEL_MEM_AUTO));
  if (!image) return false;
  PELIMAGE *result = call(image.get());
  if (!result) return false;
  if (result != image.get()) image.reset(result);
  return pelSaveBmpFile(image.get(), expected.c_str()) != 0;
}

PELIMAGE *keep(PELIMAGE *image, int32_t ok) { return ok ? image : nullptr; }

const RGBQUAD *tableOf(const PELIMAGE *image) {
  return reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const uint8_t *>(image->core->header) +
                                           40);
}

struct Case {
  const char *args;
  Direct call;
};

std::vector<Case> cases() {
  static const int32_t offsets[3] = {10, -20, 30};
  static const int32_t brightness[3] = {10, 10, 10}, contrast[3] = {20, 0, -30};
  const float thirty = static_cast<float>(30 * std::numbers::pi / 180);
  return {
      {"convert 1", [](PELIMAGE *i) { return pelCvtoBit1(i); }},
      {"convert 4", [](PELIMAGE *i) { return pelCvtoBit4(i, nullptr, 0); }},
      {"convert 8", [](PELIMAGE *i) { return pelCvtoBit8(i, nullptr, 0); }},
      {"convert 555", [](PELIMAGE *i) { return pelCvtoBit555(i); }},
      {"convert 565", [](PELIMAGE *i) { return pelCvtoBit565(i); }},
      {"convert 24", [](PELIMAGE *i) { return pelCvtoBit24(i); }},
      {"convert 32", [](PELIMAGE *i) { return pelCvtoBit32(i); }},
      {"convert grey4", [](PELIMAGE *i) { return pelCvtoBit4Grey(i); }},
      {"convert grey8", [](PELIMAGE *i) { return pelCvtoBit8Grey(i); }},
      {"convert 4 --palette=in4.bmp",
       [](PELIMAGE *i) {
         Image p(pelLoadBmpFile("in4.bmp", 0));
         return pelCvtoBit4(i, tableOf(p.get()), 16);
       }},
      {"rotate 90", [](PELIMAGE *i) { return pelRotationEx(i, 0); }},
      {"rotate -90", [](PELIMAGE *i) { return pelRotationEx(i, 1); }},
      {"rotate 270", [](PELIMAGE *i) { return pelRotationEx(i, 1); }},
      {"rotate 180", [](PELIMAGE *i) { return pelMirror(i, 2); }},
      {"rotate 30 --background #FF8000",
       [thirty](PELIMAGE *i) { return pelRotateAngleEx(i, thirty, 0x0080FF); }},
      {"rotate -30 -j 2 --background=black",
       [thirty](PELIMAGE *i) { return pelRotateAngleEx(i, -thirty, 0); }},
      {"scale 40x9", [](PELIMAGE *i) { return pelScaleEx(i, 40, 9); }},
      {"scale 50%", [](PELIMAGE *i) { return pelScaleEx(i, 12, 9); }},
      {"scale 46", [](PELIMAGE *i) { return pelScaleEx(i, 46, 34); }},
      {"mirror horizontal", [](PELIMAGE *i) { return pelMirror(i, 0); }},
      {"mirror vertical", [](PELIMAGE *i) { return pelMirror(i, 1); }},
      {"mirror both", [](PELIMAGE *i) { return pelMirror(i, 2); }},
      {"flip", [](PELIMAGE *i) { return keep(i, pelSwapHeight(i)); }},
      {"swap", [](PELIMAGE *i) { return keep(i, pelSwapColor(i)); }},
      {"border 3 2 -1 4 --colour blue",
       [](PELIMAGE *i) { return pelFixBorder(i, 3, 2, -1, 4, 0xFF0000); }},
      {"border 1 1 1 1", [](PELIMAGE *i) { return pelFixBorder(i, 1, 1, 1, 1, 0xFFFFFF); }},
      {"crop 2 1 9 7",
       [](PELIMAGE *i) {
         const int32_t rect[4] = {2, 1, 9, 7};
         return pelCopyImage(i, rect, 0);
       }},
      {"grey", [](PELIMAGE *i) { return pelGrey(i, 0, 0); }},
      {"grey --offset -12", [](PELIMAGE *i) { return pelGrey(i, -12, 0); }},
      {"invert", [](PELIMAGE *i) { return pelInvert(i, 0); }},
      {"gamma 2.2", [](PELIMAGE *i) { return pelGammaCorrect(i, 2.2f, 2.2f, 2.2f, 0); }},
      {"gamma 0.5,1,1.8", [](PELIMAGE *i) { return pelGammaCorrect(i, 0.5f, 1.0f, 1.8f, 0); }},
      {"luminance 10,-20,30", [](PELIMAGE *i) { return pelLuminance(i, offsets, 0); }},
      {"contrast --brightness 10 --contrast 20,0,-30",
       [](PELIMAGE *i) { return pelContrast(i, brightness, contrast, 0); }},
      {"hsl --hue 120 --lightness 10 --saturation -50",
       [](PELIMAGE *i) { return pelSaturation(i, 120, 10, -50, 0); }},
      {"fill #336699", [](PELIMAGE *i) { return keep(i, pelFillColor(i, 0x996633)); }},
      {"rotate 90 + scale 50% + grey",
       [](PELIMAGE *i) {
         Image turned(pelRotationEx(i, 0));
         Image scaled(pelScaleEx(turned.get(), 9, 12));
         return pelGrey(scaled.release(), 0, 0);
       }},
  };
}

// One batch per operation covers every input type; every fourth operation
// also runs as a single INPUT OUTPUT call on the 24-bit picture.
TEST_F(Cli, EveryOperationMatchesTheLibrary) {
  size_t index = 0;
  for (const Case &c : cases()) {
    SCOPED_TRACE(c.args);
    std::string inputs;
    bool allDone = true;
    for (const Input &input : kInputs) {
      inputs += std::string(" ") + input.file;
      allDone &= directResult(input.file, c.call, std::string("want-") + input.file);
    }
    fs::create_directory("out");
    Result batch = pelc(std::string(c.args) + " -q -o out" + inputs);
    EXPECT_EQ(batch.status, allDone ? 0 : 1) << batch.err;
    for (const Input &input : kInputs) {
      const std::string want = std::string("want-") + input.file;
      const fs::path got = fs::path("out") / input.file;
      EXPECT_EQ(fs::exists(want), fs::exists(got)) << input.file;
      if (fs::exists(want)) {
        EXPECT_TRUE(readFile(want) == readFile(got)) << input.file;
      }
    }
    if (index++ % 4 == 0) {
      Result single = pelc(std::string(c.args) + " in24.bmp single.bmp");
      EXPECT_EQ(single.status, 0) << single.err;
      EXPECT_TRUE(readFile("single.bmp") == readFile("want-in24.bmp"));
    }
    fs::remove_all("out");
    for (const Input &input : kInputs) fs::remove(std::string("want-") + input.file);
    fs::remove("single.bmp");
  }
}

TEST_F(Cli, CreateMakesThePictureItDescribes) {
  Result made = pelc("create 31x9 --colour #0a141e + convert 8 plain.bmp");
  ASSERT_EQ(made.status, 0) << made.err;
  Image plain(pelLoadBmpFile("plain.bmp", 0));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->imageType, PEL_TYPE_BIT8);
  EXPECT_EQ(pelGetRGBpack(plain.get(), 30, 8), pelGetRGBpack(plain.get(), 0, 0));
  ASSERT_EQ(pelc("create 64x48 pattern.bmp").status, 0);
  Image pattern(pelLoadBmpFile("pattern.bmp", 0));
  ASSERT_TRUE(pattern);
  EXPECT_EQ(pattern->imageType, PEL_TYPE_BIT24);
  EXPECT_NE(pelGetRGBpack(pattern.get(), 0, 0), pelGetRGBpack(pattern.get(), 32, 0));
  EXPECT_NE(pelGetRGBpack(pattern.get(), 0, 0), pelGetRGBpack(pattern.get(), 0, 47));
}

TEST_F(Cli, UsageErrorsExitTwoWithOneLineAndWriteNothing) {
  const char *usages[] = {
      "",
      "frobnicate in24.bmp out.bmp",
      "rotate",
      "rotate in24.bmp out.bmp",
      "rotate ninety in24.bmp out.bmp",
      "scale abc in24.bmp out.bmp",
      "scale 0x5 in24.bmp out.bmp",
      "convert 7 in24.bmp out.bmp",
      "convert 24 --palette in4.bmp in24.bmp out.bmp",
      "fill puce in24.bmp out.bmp",
      "border 1 2 3 in24.bmp out.bmp",
      "border 1 2 3 4 --colour #12345 in24.bmp out.bmp",
      "crop 5 5 2 2 in24.bmp out.bmp",
      "gamma 0 in24.bmp out.bmp",
      "luminance 1,2 in24.bmp out.bmp",
      "mirror sideways in24.bmp out.bmp",
      "grey --bogus 1 in24.bmp out.bmp",
      "grey --offset in24.bmp out.bmp",
      "grey in24.bmp",
      "grey in24.bmp in4.bmp out.bmp",
      "grey -j 0 -o out in24.bmp",
      "grey + in24.bmp out.bmp",
      "grey + info in24.bmp out.bmp",
      "grey + create 5x5 in24.bmp out.bmp",
      "help frobnicate",
      "info",
  };
  for (const char *args : usages) {
    SCOPED_TRACE(args);
    Result r = pelc(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("pelc: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(newFiles().empty());
  }
}

// Broken inputs: each variant of a good file and the reason the tool gives.
struct Broken {
  const char *name;
  std::function<std::string(std::string)> spoil;
  const char *reason;
};

TEST_F(Cli, RefusedAndBrokenInputsExitOneAndLeaveTheOutputAlone) {
  const std::string good = readFile("in24.bmp");
  const auto setLe32 = [](std::string bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
    return bytes;
  };
  const std::vector<Broken> broken = {
      {"text.bmp", [](std::string) { return std::string("hello, world\n"); }, "not a BMP file"},
      {"empty.bmp", [](std::string) { return std::string(); }, "not a BMP file"},
      {"short-header.bmp", [](std::string b) { return b.substr(0, 30); }, "truncated header"},
      {"short-pixels.bmp", [](std::string b) { return b.substr(0, b.size() - 10); },
       "truncated pixel data"},
      {"no-bits.bmp", [&](std::string b) { return setLe32(b, 14 + 14, 0); },
       "bit count 0 is not supported"},
      {"jpeg-inside.bmp", [&](std::string b) { return setLe32(b, 14 + 16, 4); },
       "embedded JPEG data is not supported"},
      {"small-header.bmp", [&](std::string b) { return setLe32(b, 14, 12); },
       "header size 12 is below 40"},
      {"no-width.bmp", [&](std::string b) { return setLe32(b, 14 + 4, 0); },
       "the width or the height is 0"},
  };
  writeFile("out.bmp", "previous contents");
  for (const Broken &b : broken) {
    SCOPED_TRACE(b.name);
    writeFile(b.name, b.spoil(good));
    Result r = pelc(std::string("invert ") + b.name + " out.bmp");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(b.reason), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string("pelc: invert: ") + b.name), std::string::npos) << r.err;
    Result info = pelc(std::string("info ") + b.name);
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.out.find(std::string(b.name) + ": refused: " + b.reason), std::string::npos)
        << info.out;
    fs::remove(b.name);
  }
  // A run-length coded picture loads, but the pixel operations refuse it.
  std::string rle = "BM" + std::string(12, '\0');
  const std::string rleData = {4, 1, 0, 0, 4, 0, 0, 1};
  rle += std::string(40, '\0') + std::string(8, '\0') + rleData;
  for (auto [at, v] : std::vector<std::pair<size_t, uint32_t>>{
           {14, 40}, {18, 4}, {22, 2}, {26, 1 | 8 << 16}, {30, 1}, {34, 8}, {46, 2}})
    rle = setLe32(rle, at, v);
  rle[14 + 40 + 4] = rle[14 + 40 + 5] = rle[14 + 40 + 6] = static_cast<char>(255);
  writeFile("rle.bmp", rle);
  Result info = pelc("info rle.bmp");
  EXPECT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("8-bit run-length, 2 colours, RLE8,"), std::string::npos) << info.out;
  for (const char *op : {"rotate 90", "scale 2x2", "convert 24", "mirror both"}) {
    Result r = pelc(std::string(op) + " rle.bmp out.bmp");
    EXPECT_EQ(r.status, 1) << op;
    EXPECT_NE(r.err.find("rle.bmp: not possible on run-length coded pictures"), std::string::npos)
        << r.err;
  }
  fs::remove("rle.bmp");
  Result missing = pelc("invert nothere.bmp out.bmp");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("pelc: invert: nothere.bmp: "), std::string::npos);
  EXPECT_EQ(readFile("out.bmp"), "previous contents");
  EXPECT_EQ(newFiles(), std::vector<std::string>{"out.bmp"});
}

TEST_F(Cli, UnwritableOutputsExitOneAndLeaveNothing) {
  writeFile("afile", "x");
  for (const char *output : {"no/such/dir/out.bmp", "afile/out.bmp"}) {
    SCOPED_TRACE(output);
    Result r = pelc(std::string("grey in24.bmp ") + output);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write in"), std::string::npos) << r.err;
  }
  Result batch = pelc("grey -o no/such/dir in24.bmp in8.bmp");
  EXPECT_EQ(batch.status, 1);
  EXPECT_NE(batch.err.find("output folder 'no/such/dir' does not exist"), std::string::npos);
  EXPECT_EQ(newFiles(), std::vector<std::string>{"afile"});
}

// Without the image-file library other formats are refused with its name;
// with it they are written.
TEST_F(Cli, OtherFormatsGoThroughTheImageFileLibrary) {
  const bool present = fioGetImageFormatFromExt(reinterpret_cast<intptr_t>(".bmp")) != 0;
  Result r = pelc("grey in24.bmp out.png");
  if (present) {
    // PNG is lossless: the picture comes back with the library's pixels.
    EXPECT_EQ(r.status, 0) << r.err;
    Result back = pelc("convert 24 out.png back.bmp");
    ASSERT_EQ(back.status, 0) << back.err;
    ASSERT_TRUE(directResult(
        "in24.bmp", [](PELIMAGE *i) { return pelGrey(i, 0, 0); }, "want.bmp"));
    Image want(pelLoadBmpFile("want.bmp", 0)), got(pelLoadBmpFile("back.bmp", 0));
    ASSERT_TRUE(want && got);
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x)
        ASSERT_EQ(pelGetRGBpack(got.get(), x, y), pelGetRGBpack(want.get(), x, y)) << x << "," << y;
    }
    return;
  }
#ifdef _WIN32
  const char *library = "pelcfio.dll";
#else
  const char *library = "libpelcfio.so";
#endif
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(library), std::string::npos) << r.err;
  writeFile("photo.png", "\x89PNG....");
  Result in = pelc("grey photo.png out.bmp");
  EXPECT_EQ(in.status, 1);
  EXPECT_NE(in.err.find(library), std::string::npos) << in.err;
  EXPECT_EQ(newFiles(), std::vector<std::string>{"photo.png"});
}

TEST_F(Cli, BatchOfFiftyIsTheSameWithFourWorkersAsWithOne) {
  std::string inputs;
  std::vector<std::string> bad;
  for (int i = 0; i < 50; ++i) {
    const Input &type = kInputs[static_cast<size_t>(i) % kInputs.size()];
    std::string name = "b"; // appended: gcc 12 warns wrongly on "b" + to_string(i)
    name += std::to_string(i) + ".bmp";
    std::string bytes = readFile(type.file);
    if (i % 9 == 4) {
      bytes.resize(bytes.size() / 2);
      bad.push_back(name);
    }
    writeFile(name, bytes);
    inputs += " " + name;
  }
  fs::create_directory("four");
  fs::create_directory("one");
  Result four = pelc("rotate 30 + scale 150% + hsl --hue 40 -j 4 -o four" + inputs);
  Result one = pelc("-j1 rotate 30 + scale 150% + hsl --hue 40 -o one" + inputs);
  EXPECT_EQ(four.status, 1);
  EXPECT_EQ(one.status, 1);
  for (const std::string &name : bad) {
    EXPECT_NE(four.err.find("pelc: rotate: " + name + ": truncated"), std::string::npos) << name;
    EXPECT_NE(one.err.find("pelc: rotate: " + name + ": truncated"), std::string::npos) << name;
  }
  const std::string summary = std::to_string(50 - bad.size()) + " of 50 written";
  EXPECT_NE(four.err.find(summary), std::string::npos) << four.err;
  const std::vector<std::string> written = newFiles("four");
  EXPECT_EQ(written.size(), 50 - bad.size());
  EXPECT_EQ(newFiles("one"), written);
  for (const std::string &name : written) {
    EXPECT_TRUE(readFile(fs::path("four") / name) == readFile(fs::path("one") / name)) << name;
  }
}

TEST_F(Cli, InfoDescribesFilesAndTheRepairsOfTheirHeaders) {
  // A top-down header without resolution or pixel size: usable once repaired.
  std::string bytes = readFile("in8.bmp");
  const auto setLe32 = [&bytes](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
  };
  setLe32(14 + 8, static_cast<uint32_t>(-kHeight));
  setLe32(14 + 20, 0);
  setLe32(14 + 24, 0);
  setLe32(14 + 28, 0);
  writeFile("topdown.bmp", bytes);
  Result text = pelc("info in8.bmp topdown.bmp");
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("in8.bmp: BMP 23 x 17, 8 bits, 8-bit palette, 256 colours, uncompressed, "
                          "2835 x 2835 px/m (72 x 72 dpi), store 1472 bytes"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("  repaired: height -17 is negative"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  repaired: pixel data size 0 is 0 or wrong (now 408)"),
            std::string::npos);
  EXPECT_NE(text.out.find("  repaired: resolution incomplete (0 x 0 pixels per metre, now 0 x 0)"),
            std::string::npos);
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 5) << text.out;
  Result json = pelc("info --json in565.bmp");
  EXPECT_EQ(json.status, 0);
  EXPECT_NE(json.out.find("\"type\": \"565\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"repairs\": []"), std::string::npos) << json.out;
  EXPECT_EQ(json.out.front(), '[');
}

TEST_F(Cli, HelpVersionAndList) {
  Result version = pelc("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find(std::string("library ") + pelGetPublicVersion()), std::string::npos);
  Result list = pelc("list");
  EXPECT_EQ(list.status, 0);
  for (const char *op : {"convert", "rotate", "scale", "hsl", "fill", "info"})
    EXPECT_NE(list.out.find(op), std::string::npos) << op;
  Result help = pelc("help border");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: pelc border LEFT TOP RIGHT BOTTOM [--colour COLOUR]", 0), 0u)
      << help.out;
  EXPECT_EQ(pelc("rotate --help").out, pelc("help rotate").out);
  EXPECT_EQ(pelc("--help").status, 0);
}

} // namespace
