// What the web server asks of the media side: a viewer offers its session description (SDP)
// and gets an answer, a viewer leaves, and how many are watching. Implemented by the WebRTC
// output on GStreamer; the signalling service knows nothing of it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vantorel::web {

// The codecs a viewer's offer accepts, as payload types of that offer.
struct OfferCodecs {
  int h264Payload = -1;  // H.264, packetization mode 1, constrained baseline (or baseline/main)
  std::string h264ProfileLevelId;  // as the offer gives it, e.g. "42e01f"
  int opusPayload = -1;            // Opus at 48 kHz
  std::string videoMid;            // empty: the offer has no video section
  std::string audioMid;            // empty: the offer has no audio section
};

// The answer to an offer: the SDP, or why there is none.
struct OfferResult {
  bool ok = false;
  std::string sdp;    // when ok
  std::string error;  // when not, in a few words for the log
};

class ViewerHost {
 public:
  using Done = std::function<void(OfferResult)>;
  virtual ~ViewerHost() = default;
  // Adds a viewer `id` from its offer. `done` runs later, on the main context's thread, once
  // the answer is complete (every local candidate in it: no trickle).
  virtual void Offer(const std::string& id, const std::string& sdp, const OfferCodecs& codecs,
                     Done done) = 0;
  // The viewer left (its resource was deleted). False when no viewer has that id: it never
  // existed, it was removed already, or the host dropped it when its connection failed.
  virtual bool Remove(const std::string& id) = 0;
  // Every viewer added and not removed, those whose answer is still being made included.
  virtual std::size_t Viewers() const = 0;
};

}  // namespace vantorel::web
