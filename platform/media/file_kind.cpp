#include "platform/media/file_kind.h"

#include <sys/stat.h>

namespace vantorel::media {

FileKind KindOfFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return FileKind::kMissing;
  const mode_t type = status.st_mode & S_IFMT;
  switch (type) {
    case S_IFREG:
      return FileKind::kRegular;
    case S_IFDIR:
      return FileKind::kDirectory;
    case S_IFIFO:
      return FileKind::kFifo;
    case S_IFSOCK:
      return FileKind::kSocket;
    case S_IFCHR:
    case S_IFBLK:
      return FileKind::kDevice;
    default:
      return FileKind::kOther;
  }
}

std::string_view RefusalReason(FileKind kind) {
  switch (kind) {
    case FileKind::kRegular:
      return {};
    case FileKind::kMissing:
      return "does not exist or cannot be reached";
    case FileKind::kDirectory:
      return "is a directory, not a regular file";
    case FileKind::kFifo:
      return "is a FIFO (named pipe), not a regular file";
    case FileKind::kSocket:
      return "is a socket, not a regular file";
    case FileKind::kDevice:
      return "is a device, not a regular file";
    case FileKind::kOther:
      break;
  }
  return "is not a regular file";
}

OpenFailure FailureOf(HRESULT result, const std::vector<std::string>& missingDecoders) {
  if (!missingDecoders.empty()) return OpenFailure::kDecoderMissing;
  switch (result) {
    case E_FILE_NOT_FOUND:
      return OpenFailure::kNotFound;
    case E_ACCESSDENIED:
      return OpenFailure::kNotReadable;
    case E_BAD_FILE_TYPE:
      return OpenFailure::kNotAFile;
    default:
      return OpenFailure::kNoPlayableStream;
  }
}

std::string_view FailureText(OpenFailure failure) {
  switch (failure) {
    case OpenFailure::kNotFound:
      return "The file was not found.";
    case OpenFailure::kNotReadable:
      return "The file may not be read.";
    case OpenFailure::kNotAFile:
      return "It is not a regular file.";
    case OpenFailure::kDecoderMissing:
      return "Missing on this computer: %1.";
    case OpenFailure::kNoPlayableStream:
      break;
  }
  return "It holds no stream that can be played.";
}

std::string WithDecoderNames(std::string_view text, const std::vector<std::string>& decoders) {
  std::string names;
  for (const std::string& decoder : decoders) {
    if (!names.empty()) names += ", ";
    names += decoder;
  }
  std::string out(text);
  if (const std::size_t at = out.find("%1"); at != std::string::npos) out.replace(at, 2, names);
  return out;
}

}  // namespace vantorel::media
