// The command-line conventions every Vantorel program follows: --help (or -h) prints the usage
// on stdout and exits 0, --version (or -V) prints the version, an option's value comes after it
// or after '=' (--port=6000), "--" ends the options, and a bad option or value is named on
// stderr with the program's name and exits 2. Works before any window system is touched.
#pragma once

#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::cli {

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

// Where the ids (getopt_long's `val`) of each group of options start: the shared groups and
// each program's own never meet, nor the characters getopt_long returns.
inline constexpr int kNetworkOptionIds = 0x100;
inline constexpr int kTrustOptionIds = 0x200;
inline constexpr int kProgramOptionIds = 0x300;

// Whether a step of the parsing took the option or argument given to it.
enum class Taken { kNotMine, kTaken, kError };

// One option of the command line, as getopt_long found it.
struct GivenOption {
  int id;            // its `val` in the table
  std::string name;  // as spelled, "--port"
  // Its value; null for a flag, an optional value left out, or a value that is missing.
  const char* value;

  // "NAME needs WHAT" in `error`; returns kError.
  Taken Missing(std::string& error, std::string_view what = "a value") const {
    error = name + " needs " + std::string(what);
    return Taken::kError;
  }
  // "bad value for NAME: VALUE (WHY)" in `error`; returns kError.
  Taken Refuse(std::string& error, std::string_view why) const {
    error = "bad value for " + name + ": " + value + " (" + std::string(why) + ")";
    return Taken::kError;
  }
};

// Where an argument that is not a --option stands: before "--" (a file name, or for the
// windowed programs a toolkit option or its value) or after it (a file name).
enum class Place { kAmongOptions, kAfterEnd };

// The `keep` of a program that opens no file: any argument that is not an option is a mistake.
inline Taken RefuseArgument(const char* arg, Place place, std::string& error) {
  error = (place == Place::kAmongOptions ? "unknown option " : "unexpected argument ") +
          std::string(arg);
  return Taken::kError;
}

// getopt_long's table of a program's options: the shared groups and its own, in one.
inline std::vector<option> JoinOptions(std::initializer_list<std::span<const option>> groups) {
  std::vector<option> table;
  for (const std::span<const option> group : groups) {
    table.insert(table.end(), group.begin(), group.end());
  }
  return table;
}

// Parses the arguments with getopt_long, over `table` (JoinOptions). Every --option goes to
// take(option, error) as a GivenOption, which returns a Taken (`error` set with kError). Only
// the full name of an option is known: a prefix of it is an unknown option. A value that starts
// with "--" is not taken after its option, only after '=' (--group=--port), so the option has
// none; an optional value (`optional_argument`) follows as the next argument when that does not
// start with '-', and never starts with '-' or is empty. An option that takes no value refuses
// one. The other arguments go to keep(argument, place, error), which returns kTaken or kError.
// Returns the exit code after a usage error (named on stderr), or -1 when the program is to run.
template <typename Take, typename Keep>
int ParseArguments(int argc, char** argv, const char* program, std::vector<option> table, Take take,
                   Keep keep) {
  table.push_back({});  // the end of getopt_long's table
  // Long options only, in the order given; ':' tells a missing value from an unknown option.
  constexpr const char* kShortOptions = "+:";
  opterr = 0;
  // A scan over no argument: with optind 0, glibc forgets what an earlier scan left.
  optind = 0;
  getopt_long(1, argv, kShortOptions, table.data(), nullptr);
  std::string error;
  for (int at = 1; at < argc; at = optind) {
    const std::string_view arg = argv[at];
    if (arg == kEndOfOptions) {
      for (++at; at < argc; ++at) {
        if (keep(argv[at], Place::kAfterEnd, error) == Taken::kError) {
          return UsageError(program, error);
        }
      }
      break;
    }
    // A file, or a toolkit option such as -platform: getopt_long would read a single dash as
    // short options, and the programs have none.
    if (!arg.starts_with("--")) {
      optind = at + 1;
      if (keep(argv[at], Place::kAmongOptions, error) == Taken::kError) {
        return UsageError(program, error);
      }
      continue;
    }
    optind = at;
    const int found = getopt_long(argc, argv, kShortOptions, table.data(), nullptr);
    const std::size_t equals = arg.find('=');
    GivenOption given{0, std::string(arg.substr(0, equals)), nullptr};
    const auto entry = std::find_if(table.begin(), table.end() - 1, [&given](const option& o) {
      return std::string_view(given.name).substr(2) == o.name;
    });
    if (entry == table.end() - 1) return UsageError(program, "unknown option " + given.name);
    given.id = entry->val;
    // getopt_long answers '?' for a known option only when it takes no value and has one.
    if (found == '?') return UsageError(program, given.name + " takes no value");
    if (found != ':') given.value = optarg;
    const bool separate = equals == std::string_view::npos;
    if (entry->has_arg == required_argument && separate && given.value != nullptr &&
        std::string_view(given.value).starts_with(kEndOfOptions)) {
      given.value = nullptr;
      optind = at + 1;
    }
    if (entry->has_arg == optional_argument) {
      if (separate && optind < argc && argv[optind][0] != '-' && argv[optind][0] != '\0') {
        given.value = argv[optind++];
      } else if (given.value != nullptr && (given.value[0] == '-' || given.value[0] == '\0')) {
        return UsageError(program, given.name + " takes no value");
      }
    }
    switch (take(given, error)) {
      case Taken::kError:
        return UsageError(program, error);
      case Taken::kNotMine:
        return UsageError(program, "unknown option " + given.name);
      case Taken::kTaken:
        break;
    }
  }
  return -1;
}

// For the windowed programs: the options as ParseArguments takes them. The rest before "--"
// (the toolkit's single-dash options and their values, file names) is kept for the toolkit in
// `rest`, argv[0] first and a null pointer last. What follows "--" goes to `files`; without
// `files` (a program that opens no file) it is refused. Returns the exit code, or -1 when the
// program is to run.
template <typename Take>
int SplitToolkitArguments(int argc, char** argv, const char* program, std::vector<option> table,
                          Take take, std::vector<char*>& rest,
                          std::vector<std::string>* files = nullptr) {
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
  const int code = ParseArguments(argc, argv, program, std::move(table), take, keep);
  rest.push_back(nullptr);
  return code;
}

}  // namespace vantorel::cli
