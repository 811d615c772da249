// SPDX-License-Identifier: MIT
// pelc: the library's operations from the shell.
//   pelc OPERATION [ARGUMENTS] [OPTIONS] [+ OPERATION ...] INPUT OUTPUT
//   pelc OPERATION ... -o DIRECTORY [-j N] INPUT...
#include "cli.hpp"

#include <cstdio>
#include <iostream>
#include <set>

#ifndef PELC_PACKAGE_VERSION
#define PELC_PACKAGE_VERSION "unknown"
#endif

namespace pelc_cli {

void report(std::string_view what, std::string_view reason) {
  std::string line = "pelc: ";
  if (!what.empty()) line.append(what).append(": ");
  line.append(reason).append("\n");
  std::fputs(line.c_str(), stderr);
}

namespace {

// A usage error: the message, and nothing touched.
struct UsageError {
  std::string what;
  std::string reason;
};

// Help was asked for in the middle of a command line, and printed.
struct HelpShown {};

// Two spaces at least between name and summary, as manual-page makers expect.
std::string operationLine(std::string name, const char *summary) {
  name.resize(std::max<size_t>(name.size() + 2, 34), ' ');
  return "  " + name + summary + "\n";
}

void printHelp() {
  std::string text = "Usage: pelc OPERATION [ARGUMENTS] [OPTIONS] INPUT OUTPUT\n"
                     "  or:  pelc OPERATION [ARGUMENTS] [OPTIONS] -o DIRECTORY [-j N] INPUT...\n"
                     "  or:  pelc info [--json] FILE...\n"
                     "Runs operations of the pelc image library on picture files.\n"
                     "\n"
                     "Operations (pelc help OPERATION for the details of each):\n";
  for (const Operation &op : operations()) {
    text += operationLine(std::string(op.name) + " " + op.arguments, op.summary);
  }
  text +=
      operationLine("info [--json] FILE...", "describe picture files and repairs of their headers");
  text += "\n"
          "Chains: operations joined by + run in order on one picture, with no files\n"
          "in between:\n"
          "  pelc rotate 90 + scale 50% + grey in.bmp out.bmp\n"
          "\n"
          "Batches: with -o DIRECTORY every INPUT is written to DIRECTORY under its own\n"
          "name, several at a time; a file that fails is reported and the rest go on.\n"
          "\n"
          "Options:\n"
          "  -o, --output DIRECTORY  batch mode: write the results into DIRECTORY\n"
          "  -j, --jobs N            pictures processed at once (default: the number of cores)\n"
          "  --quality N             quality 1 to 100 of lossy output formats\n"
          "  -q, --quiet             no progress line and no summary in batch mode\n"
          "  -h, --help              this help; OPERATION --help for one operation\n"
          "  --version               the versions of pelc and of the library\n"
          "\n"
          "Files: .bmp is read and written by the library itself; other formats (PNG, JPEG,\n"
          "TIFF, GIF, WebP) need the image-file library " +
          std::string(siblingName()) +
          ".\n"
          "An output is written under a temporary name and renamed when complete, so an\n"
          "existing file is only ever replaced by a finished picture.\n"
          "\n"
          "Exit status: 0 success, 1 a picture failed, 2 a usage error.\n";
  std::fputs(text.c_str(), stdout);
}

void printVersion() {
  std::printf("pelc %s\nlibrary %s (private version %d)\n", PELC_PACKAGE_VERSION,
              pelGetPublicVersion(), static_cast<int>(pelGetPrivateVersion()));
}

void printList() {
  for (const Operation &op : operations()) std::printf("%-10s %s\n", op.name, op.summary);
  std::printf("%-10s %s\n", "info", "describe picture files");
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Splits "--name=value"; the value comes from the next argument otherwise.
std::pair<std::string, std::optional<std::string>> splitOption(const std::string &arg) {
  const size_t eq = arg.find('=');
  if (!startsWith(arg, "--") || eq == std::string::npos) return {arg, std::nullopt};
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

class Parser {
public:
  explicit Parser(std::vector<std::string> args) : args_(std::move(args)) {}

  Job parse() {
    while (pos_ < args_.size() && takeGlobal()) {
    }
    if (pos_ == args_.size()) throw UsageError{"", "no operation (see pelc --help)"};
    while (true) {
      job_.steps.push_back(parseStep());
      if (pos_ < args_.size() && args_[pos_] == "+") {
        ++pos_;
        if (pos_ == args_.size()) throw UsageError{job_.steps.back().op->name, "nothing after +"};
        continue;
      }
      break;
    }
    std::vector<std::string> files;
    bool onlyFiles = false;
    while (pos_ < args_.size()) {
      const std::string &arg = args_[pos_];
      if (!onlyFiles && arg == "--") {
        onlyFiles = true;
        ++pos_;
      } else if (!onlyFiles && arg == "+") {
        throw UsageError{name(), "+ must come between operations, before the files"};
      } else if (!onlyFiles && takeStepOption(job_.steps.back())) {
        // the last operation's options may also follow the files
      } else if (onlyFiles || arg.size() < 2 || arg[0] != '-' || !takeGlobal()) {
        files.push_back(arg);
        ++pos_;
      }
    }
    for (Step &step : job_.steps) {
      std::string reason;
      current_ = step.op->name;
      if (!step.op->parse(step, reason)) throw UsageError{step.op->name, reason};
    }
    assignFiles(files);
    return job_;
  }

private:
  // The operation named in messages: the chain's first.
  std::string name() const { return job_.steps.empty() ? current_ : job_.steps.front().op->name; }

  // The option's value; moves past the option and its value.
  std::string value(const std::string &option, const std::optional<std::string> &inline_) {
    if (inline_) {
      ++pos_;
      return *inline_;
    }
    if (pos_ + 1 >= args_.size()) throw UsageError{name(), option + " needs a value"};
    pos_ += 2;
    return args_[pos_ - 1];
  }

  // A global option at pos_: consumes it and answers true; false when the
  // argument is no global option.
  bool takeGlobal() {
    const std::string &arg = args_[pos_];
    auto [option, inline_] = splitOption(arg);
    if (option == "-o" || option == "--output") {
      job_.outputDir = value(option, inline_);
    } else if (option == "-j" || option == "--jobs" || startsWith(arg, "-j")) {
      const bool attached = option.size() > 2 && option[1] == 'j'; // -j4
      if (attached) ++pos_;
      const std::string text = attached ? option.substr(2) : value(option, inline_);
      auto jobs = parseInt(text);
      if (!jobs || *jobs < 1 || *jobs > 1024)
        throw UsageError{name(), "-j needs a number 1 to 1024"};
      job_.jobs = static_cast<unsigned>(*jobs);
    } else if (option == "--quality") {
      auto quality = parseInt(value(option, inline_));
      if (!quality || *quality < 1 || *quality > 100)
        throw UsageError{name(), "--quality needs a number 1 to 100"};
      job_.quality = *quality;
    } else if (option == "-q" || option == "--quiet") {
      job_.quiet = true;
      ++pos_;
    } else if (option == "-h" || option == "--help") {
      if (job_.steps.empty()) {
        printHelp();
      } else {
        std::fputs(operationHelp(*job_.steps.back().op).c_str(), stdout);
      }
      throw HelpShown{};
    } else if (arg.size() > 1 && arg[0] == '-' && !parseNumber(arg)) {
      throw UsageError{name(), "unknown option '" + option + "'"};
    } else {
      return false;
    }
    return true;
  }

  Step parseStep() {
    Step step;
    const std::string &opName = args_[pos_];
    step.op = findOperation(opName);
    if (!step.op) {
      if (opName == "info" || opName == "help" || opName == "list")
        throw UsageError{opName, "cannot be chained"};
      throw UsageError{opName, "unknown operation (see pelc list)"};
    }
    current_ = step.op->name;
    ++pos_;
    for (int i = 0; i < step.op->positional; ++i) {
      if (pos_ < args_.size() && (args_[pos_] == "--help" || args_[pos_] == "-h")) {
        std::fputs(operationHelp(*step.op).c_str(), stdout);
        throw HelpShown{};
      }
      if (pos_ >= args_.size() || args_[pos_] == "+" ||
          (startsWith(args_[pos_], "--") && args_[pos_].size() > 2))
        throw UsageError{step.op->name, std::string("missing ") + step.op->arguments};
      step.args.push_back(args_[pos_++]);
    }
    while (pos_ < args_.size() && takeStepOption(step)) {
    }
    if (step.op->source && !job_.steps.empty())
      throw UsageError{step.op->name, "must come first in a chain"};
    return step;
  }

  // An option of the step at pos_: consumes it and answers true.
  bool takeStepOption(Step &step) {
    if (!startsWith(args_[pos_], "--")) return false;
    auto [option, inline_] = splitOption(args_[pos_]);
    if (option == "--help") {
      std::fputs(operationHelp(*step.op).c_str(), stdout);
      throw HelpShown{};
    }
    if (!hasOption(*step.op, option)) return false;
    if (step.option(option)) throw UsageError{step.op->name, option + " given twice"};
    std::string text = value(option, inline_);
    step.options.emplace_back(option, text);
    return true;
  }

  void assignFiles(std::vector<std::string> &files) {
    const bool source = job_.steps.front().op->source;
    if (source) {
      if (!job_.outputDir.empty()) throw UsageError{name(), "makes one picture: no -o"};
      if (files.size() != 1) throw UsageError{name(), "needs exactly one OUTPUT file"};
      job_.output = files[0];
      return;
    }
    if (!job_.outputDir.empty()) {
      if (files.empty()) throw UsageError{name(), "missing INPUT files"};
      std::set<std::string> names;
      for (const std::string &file : files) {
        std::string base = file.substr(file.find_last_of("/\\") + 1);
        if (base.empty()) throw UsageError{name(), "'" + file + "' is not a file name"};
        if (!names.insert(base).second)
          throw UsageError{name(), "two inputs named '" + base + "' would write one output"};
      }
      job_.inputs = files;
      return;
    }
    if (files.size() < 2) throw UsageError{name(), "missing INPUT and OUTPUT files"};
    if (files.size() > 2)
      throw UsageError{name(), "too many files (use -o DIRECTORY for several inputs)"};
    job_.inputs = {files[0]};
    job_.output = files[1];
  }

  std::vector<std::string> args_;
  size_t pos_ = 0;
  std::string current_;
  Job job_;
};

int run(std::vector<std::string> args) {
  if (args.empty()) {
    report("", "no operation (see pelc --help)");
    return kExitUsage;
  }
  const std::string &first = args[0];
  if (first == "--help" || first == "-h" || (first == "help" && args.size() == 1)) {
    printHelp();
    return kExitOk;
  }
  if (first == "--version") {
    printVersion();
    return kExitOk;
  }
  if (first == "list") {
    printList();
    return kExitOk;
  }
  if (first == "help") {
    if (const Operation *op = findOperation(args[1])) {
      std::fputs(operationHelp(*op).c_str(), stdout);
      return kExitOk;
    }
    if (args[1] == "info") return runInfo({"--help"});
    report(args[1], "unknown operation (see pelc list)");
    return kExitUsage;
  }
  if (first == "info") return runInfo({args.begin() + 1, args.end()});
  Job job;
  try {
    job = Parser(std::move(args)).parse();
  } catch (const UsageError &error) {
    report(error.what, error.reason);
    return kExitUsage;
  } catch (const HelpShown &) {
    return kExitOk; // help was asked for and printed
  }
  return runJob(job);
}

} // namespace

} // namespace pelc_cli

int main(int argc, char **argv) {
  try {
    return pelc_cli::run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception &error) {
    pelc_cli::report("", error.what());
    return pelc_cli::kExitFailure;
  }
}
