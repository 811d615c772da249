// SPDX-License-Identifier: MIT
// Running a chain of operations over one picture or a batch of them.
#include "cli.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define PELC_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define PELC_ISATTY(fd) isatty(fd)
#endif

namespace pelc_cli {

namespace {

struct Outcome {
  bool ok = true;
  std::string what; // the operation that failed
  std::string reason;
};

// Loads, applies every step in order and saves; nothing is written unless
// every step succeeded.
Outcome processOne(const Job &job, const std::string &input, const std::string &output) {
  Outcome outcome;
  const char *first = job.steps.front().op->name;
  Image image;
  if (!job.steps.front().op->source) {
    image = loadImage(input, outcome.reason);
    if (!image) return {false, std::string(first) + ": " + input, outcome.reason};
  }
  for (const Step &step : job.steps) {
    if (!step.op->apply(step, image, outcome.reason)) {
      const std::string where = input.empty() ? output : input;
      return {false, std::string(step.op->name) + ": " + where, outcome.reason};
    }
  }
  if (!saveImage(image.get(), output, job.quality, outcome.reason))
    return {false, std::string(first) + ": " + output, outcome.reason};
  return outcome;
}

std::string joinPath(const std::string &dir, const std::string &file) {
  const std::string base = file.substr(file.find_last_of("/\\") + 1);
  if (dir.empty()) return base;
  const char last = dir.back();
  return last == '/' || last == '\\' ? dir + base : dir + "/" + base;
}

class Batch {
public:
  explicit Batch(const Job &job) : job_(job), progress_(!job.quiet && PELC_ISATTY(2)) {}

  int run() {
    if (!isDirectory(job_.outputDir)) {
      report(job_.steps.front().op->name, "output folder '" + job_.outputDir + "' does not exist");
      return kExitFailure;
    }
    const size_t total = job_.inputs.size();
    unsigned workers = job_.jobs ? job_.jobs : std::thread::hardware_concurrency();
    workers = static_cast<unsigned>(std::min<size_t>(std::max(workers, 1u), total));
    start_ = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; ++i) threads.emplace_back([this] { work(); });
    work();
    for (std::thread &t : threads) t.join();
    const size_t failed = failed_.load();
    clearProgress();
    if (!job_.quiet) {
      std::string summary = std::to_string(total - failed) + " of " + std::to_string(total) +
                            " written to " + job_.outputDir;
      if (failed) summary += ", " + std::to_string(failed) + " failed";
      summary += " (" + elapsed() + ", " + std::to_string(workers) + " at a time)";
      report(job_.steps.front().op->name, summary);
    }
    return failed ? kExitFailure : kExitOk;
  }

private:
  void work() {
    for (size_t i = next_++; i < job_.inputs.size(); i = next_++) {
      const std::string &input = job_.inputs[i];
      Outcome outcome = processOne(job_, input, joinPath(job_.outputDir, input));
      std::lock_guard<std::mutex> lock(mutex_);
      ++done_;
      if (!outcome.ok) {
        ++failed_;
        clearProgress();
        report(outcome.what, outcome.reason);
      }
      if (progress_) {
        std::string line = "\rpelc: " + std::to_string(done_) + " of " +
                           std::to_string(job_.inputs.size()) + " done, " + elapsed();
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        progressWidth_ = line.size();
      }
    }
  }

  // Blanks the progress line with spaces: not every console knows escape codes.
  void clearProgress() {
    if (!progress_ || progressWidth_ == 0) return;
    std::string blank(progressWidth_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    std::fputs(blank.c_str(), stderr);
    progressWidth_ = 0;
  }

  std::string elapsed() const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start_)
                        .count();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
  }

  const Job &job_;
  const bool progress_;
  std::atomic<size_t> next_{0};
  std::atomic<size_t> failed_{0};
  size_t done_ = 0;          // under mutex_
  size_t progressWidth_ = 0; // under mutex_, or after the workers
  std::mutex mutex_;
  std::chrono::steady_clock::time_point start_;
};

} // namespace

int runJob(const Job &job) {
  if (!job.outputDir.empty()) return Batch(job).run();
  std::string reason;
  if (!checkOutputFormat(job.output, reason)) {
    report(std::string(job.steps.front().op->name) + ": " + job.output, reason);
    return kExitFailure;
  }
  const std::string input = job.inputs.empty() ? std::string() : job.inputs.front();
  Outcome outcome = processOne(job, input, job.output);
  if (!outcome.ok) {
    report(outcome.what, outcome.reason);
    return kExitFailure;
  }
  return kExitOk;
}

} // namespace pelc_cli
