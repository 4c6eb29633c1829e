// What a path names before the graph reads it. Only a regular file is played: opening a FIFO
// or a device can block for ever on the thread that builds the graph, and a directory or a
// socket has nothing to play.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/result.h"

namespace vantorel::media {

enum class FileKind { kRegular, kMissing, kDirectory, kFifo, kSocket, kDevice, kOther };

// Follows symbolic links. A path that cannot be examined (absent, or a folder on the way that
// cannot be searched) is kMissing.
FileKind KindOfFile(const std::string& path);

// Why a path of this kind is refused, for messages: "is a FIFO (named pipe), not a regular
// file". Empty for kRegular.
std::string_view RefusalReason(FileKind kind);

// Why a file could not be played, as the user is told.
enum class OpenFailure { kNotFound, kNotReadable, kNotAFile, kNoPlayableStream, kDecoderMissing };

// From the graph's answer and the decoders it found missing: a missing decoder is the cause
// whatever the graph answered.
OpenFailure FailureOf(HRESULT result, const std::vector<std::string>& missingDecoders);

// The reason in English, which the language files use as its key. The missing-plug-in text has "%1"
// where the decoders' names go.
std::string_view FailureText(OpenFailure failure);

// The text with "%1" replaced by the decoders' names, joined with ", ".
std::string WithDecoderNames(std::string_view text, const std::vector<std::string>& decoders);

}  // namespace vantorel::media
