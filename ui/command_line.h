// The command-line conventions every Vantorel program follows: --help (or -h) prints the usage
// on stdout and exits 0, --version prints the version, and a bad option or value is named on
// stderr with the program's name and exits 2. Works before any window system is touched.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::ui {

// The project version from the build (CMake's project(... VERSION), given to every user of the
// command-line library).
inline constexpr const char* kVersion = VANTOREL_VERSION;

// What the arguments ask before anything else: to run, or only for the usage or the version.
enum class EarlyRequest { kRun, kHelp, kVersion };

inline EarlyRequest FindEarlyRequest(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return EarlyRequest::kHelp;
    if (arg == "--version") return EarlyRequest::kVersion;
  }
  return EarlyRequest::kRun;
}

// Answers --help and --version; returns the exit code, or -1 when the program is to run.
inline int AnswerEarlyRequest(int argc, char** argv, const char* program, const char* usage) {
  switch (FindEarlyRequest(argc, argv)) {
    case EarlyRequest::kHelp:
      std::fputs(usage, stdout);
      return 0;
    case EarlyRequest::kVersion:
      std::printf("%s %s\n", program, kVersion);
      return 0;
    case EarlyRequest::kRun:
      break;
  }
  return -1;
}

// "PROGRAM: MESSAGE" and a pointer to --help on stderr; returns the exit code 2.
inline int UsageError(const char* program, const std::string& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, message.c_str(), program);
  return 2;
}

// Whether one step of a walk over the arguments took argv[i] (and its value) as its option.
enum class Taken { kNotMine, kTaken, kError };

// For the windowed programs: every --option goes to `take`, called as take(argc, argv, i, error)
// and returning a Taken (i moved past a value it took; `error` set with kError). The rest (the
// toolkit's single-dash options and their values, file names) is kept for the toolkit in `rest`,
// argv[0] first and a null pointer last. Returns the exit code, or -1 when the program is to run.
template <typename Take>
int SplitToolkitArguments(int argc, char** argv, const char* program, Take take,
                          std::vector<char*>& rest) {
  rest.assign(argv, argv + 1);
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!arg.starts_with("--")) {
      rest.push_back(argv[i]);
      continue;
    }
    std::string error;
    switch (take(argc, argv, i, error)) {
      case Taken::kTaken:
        break;
      case Taken::kError:
        return UsageError(program, error);
      case Taken::kNotMine:
        return UsageError(program, "unknown option " + std::string(arg));
    }
  }
  rest.push_back(nullptr);
  return -1;
}

}  // namespace vantorel::ui
