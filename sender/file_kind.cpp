#include "sender/file_kind.h"

#include <sys/stat.h>

namespace vantorel::sender {

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

}  // namespace vantorel::sender
