// What a path names before the graph reads it. Only a regular file is played: opening a FIFO
// or a device can block for ever on the thread that builds the graph, and a directory or a
// socket has nothing to play.
#pragma once

#include <string>
#include <string_view>

namespace vantorel::sender {

enum class FileKind { kRegular, kMissing, kDirectory, kFifo, kSocket, kDevice, kOther };

// Follows symbolic links. A path that cannot be examined (absent, or a folder on the way that
// cannot be searched) is kMissing.
FileKind KindOfFile(const std::string& path);

// Why a path of this kind is refused, for messages: "is a FIFO (named pipe), not a regular
// file". Empty for kRegular.
std::string_view RefusalReason(FileKind kind);

}  // namespace vantorel::sender
