// The command-line conventions every Vantorel program follows: --help (or -h) prints the usage
// on stdout and exits 0, --version (or -V) prints the version, an option's value comes after it
// or after '=' (--port=6000), "--" ends the options, and a bad option or value is named on
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

// The argument that ends the options: what follows is file names, even when it starts with '-'.
inline constexpr std::string_view kEndOfOptions = "--";

// Looks among the options, before "--". No option takes a value that starts with "--" unless
// given as --option=value, so a lone --help is never a value.
inline EarlyRequest FindEarlyRequest(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == kEndOfOptions) break;
    if (arg == "--help" || arg == "-h") return EarlyRequest::kHelp;
    if (arg == "--version" || arg == "-V") return EarlyRequest::kVersion;
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

// Where an argument that is not a --option stands: before "--" (a file name, or for the
// windowed programs a toolkit option or its value) or after it (a file name).
enum class Place { kAmongOptions, kAfterEnd };

// Walks the arguments. Every --option goes to `take`, called as take(argc, argv, i, error) and
// returning a Taken (i moved past a value it took; `error` set with kError). Such a function
// reads its value from argv[i + 1], and a value that starts with "--" is hidden from it (argc is
// cut), so that it says the option needs a value. --option=value goes to `take` as the two
// arguments {"--option", "value"}; an option that takes no value refuses one. The other
// arguments go to keep(argument, place, error), which returns kTaken or kError. Returns the exit
// code after a usage error (named on stderr), or -1 when the program is to run.
template <typename Take, typename Keep>
int WalkArguments(int argc, char** argv, const char* program, Take take, Keep keep) {
  bool ended = false;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    Taken taken = Taken::kTaken;
    if (ended || arg == kEndOfOptions || !arg.starts_with("--")) {
      if (!ended && arg == kEndOfOptions) {
        ended = true;
        continue;
      }
      taken = keep(argv[i], ended ? Place::kAfterEnd : Place::kAmongOptions, error);
      if (taken == Taken::kError) return UsageError(program, error);
      continue;
    }
    std::string name(arg);
    if (const std::size_t equals = arg.find('='); equals != std::string_view::npos) {
      name = std::string(arg.substr(0, equals));
      std::string value(arg.substr(equals + 1));
      char* pair[] = {name.data(), value.data(), nullptr};
      int at = 0;
      taken = take(2, pair, at, error);
      if (taken == Taken::kTaken && at == 0) {
        taken = Taken::kError;
        error = name + " takes no value";
      }
    } else {
      const bool valueIsOption =
          i + 1 < argc && std::string_view(argv[i + 1]).starts_with(kEndOfOptions);
      taken = take(valueIsOption ? i + 1 : argc, argv, i, error);
    }
    if (taken == Taken::kError) return UsageError(program, error);
    if (taken == Taken::kNotMine) return UsageError(program, "unknown option " + name);
  }
  return -1;
}

// For the windowed programs: the options as WalkArguments takes them. The rest before "--"
// (the toolkit's single-dash options and their values, file names) is kept for the toolkit in
// `rest`, argv[0] first and a null pointer last. What follows "--" goes to `files`; without
// `files` (a program that opens no file) it is refused. Returns the exit code, or -1 when the
// program is to run.
template <typename Take>
int SplitToolkitArguments(int argc, char** argv, const char* program, Take take,
                          std::vector<char*>& rest, std::vector<std::string>* files = nullptr) {
  rest.assign(argv, argv + 1);
  const auto keep = [&rest, files](char* arg, Place place, std::string& error) {
    if (place == Place::kAmongOptions) {
      rest.push_back(arg);
    } else if (files != nullptr) {
      files->emplace_back(arg);
    } else {
      error = "unexpected argument " + std::string(arg);
      return Taken::kError;
    }
    return Taken::kTaken;
  };
  const int code = WalkArguments(argc, argv, program, take, keep);
  rest.push_back(nullptr);
  return code;
}

}  // namespace vantorel::ui
