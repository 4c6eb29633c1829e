// What a media operation reports: success, or which failure it was with GStreamer's own words
// when it gave any. The graph and everything between it and the player speak this; the result
// codes of the original interfaces are made only where such an interface answers a caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/result.h"

namespace vantorel::sender {

// One value per failure that a caller tells apart.
enum class MediaErrc : std::uint8_t {
  kOk,
  kFailed,
  kInvalidArgument,    // a filter the graph cannot take, a live source with nothing in it
  kWrongState,         // the graph is not rendered, or rendered already
  kFileNotFound,       // the file does not exist
  kAccessDenied,       // the file exists but may not be read
  kBadFileType,        // a directory, FIFO, socket or device rather than a file
  kUnsupportedStream,  // nothing recognised the file, or no stream of it can be played or sent
  kTimeout,            // the graph did not get ready in time
};

class Status {
 public:
  // Success.
  Status() = default;
  explicit Status(MediaErrc code, std::string message = {})
      : code_(code), message_(std::move(message)) {}

  bool ok() const { return code_ == MediaErrc::kOk; }
  MediaErrc code() const { return code_; }
  // GStreamer's message for the failure; empty when it said nothing or for success.
  const std::string& message() const { return message_; }

 private:
  MediaErrc code_ = MediaErrc::kOk;
  std::string message_;
};

// The failure's name, for logs: "file not found".
std::string_view NameOf(MediaErrc code);

// The result code the original interfaces report for each value, and back. A success code
// other than S_OK reads as success; a failure code without a value of its own as kFailed.
HRESULT ToHresult(MediaErrc code);
inline HRESULT ToHresult(const Status& status) {
  return ToHresult(status.code());
}
Status FromHresult(HRESULT hr, std::string message = {});

}  // namespace vantorel::sender
