// Showing the broadcast in browsers: Lunnet starts vantorel-web beside itself with the same
// reception it has (port, group, interface, trusted senders, chosen sender), and reads the
// addresses the page is served at from what the server prints on stderr. No Qt here: the
// process itself is WebViewer's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/signing.h"
#include "receiver/receive_socket.h"
#include "receiver/sender_directory.h"

namespace vantorel::receiver::app {

// The server's file name, beside the receiver's executable.
inline constexpr char kWebServerName[] = "vantorel-web";

// The server's command line (without the program) for a receiver receiving as `receive`, with
// those trusted senders and that choice of sender: --port always, the rest when set.
std::vector<std::string> WebServerArguments(const receiver::ReceiveOptions& receive,
                                            const std::vector<protocol::Fingerprint>& trusted,
                                            const receiver::SenderChoice& choice);

// The address in "vantorel-web: serving http://ADDR:PORT/", else empty.
std::string ServedAddress(std::string_view line);

// What the server said on stderr so far, fed in pieces as they arrive: whole lines only, a
// line that is still being written waits for its end.
class WebServerOutput {
 public:
  // Bounds what a server that never ends its line can make us keep.
  static constexpr std::size_t kMaxLine = 4096;

  // Returns the addresses that this piece completed.
  std::vector<std::string> Feed(std::string_view bytes);
  // Called once the server has exited: a last line without its newline counts too.
  void Finish();

  const std::vector<std::string>& Addresses() const { return addresses_; }
  // The last line that was not empty, as the reason when the server exits before serving.
  const std::string& LastLine() const { return lastLine_; }

 private:
  void TakeLine(std::string_view line, std::vector<std::string>& added);

  std::string pending_;
  std::vector<std::string> addresses_;
  std::string lastLine_;
};

}  // namespace vantorel::receiver::app
