// Why a file could not be opened, in words a user can act on: what the graph learned while it
// tried (GStreamer's error text, the streams no grabber took, the decoders that were missing and
// the Debian package that brings each), and the sentence that tells it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sender/live_source.h"
#include "sender/media_error.h"

namespace vantorel::sender {

struct MissingDecoder {
  std::string description;  // as GStreamer describes it: "H.265 (Main Profile) decoder"
  std::string package;      // the Debian package that brings it; empty when none is known
};

// What a graph learned while it opened a file.
struct OpenFindings {
  std::vector<MissingDecoder> missingDecoders;  // each once
  // The codecs of the streams that no added filter took, named as GStreamer names them ("VP9").
  std::vector<std::string> refusedCodecs;
  std::string errorText;     // GStreamer's message for the error that stopped the open
  bool unknownType = false;  // no installed element recognised what the file holds
  // A live source's device that did not start (its reason is errorText).
  std::optional<sender::LiveDevice> failedDevice;
};

// A failed open: which failure it was and what is known of the cause.
struct OpenError {
  MediaErrc code = MediaErrc::kOk;
  std::string detail;  // GStreamer's message, for logs
  std::string codec;   // the codecs that cannot be broadcast, joined with ", "
  std::vector<MissingDecoder> missing;
  bool unknownType = false;
  // A live source that did not start: the device, named as the user knows it; the reason is
  // `detail`.
  std::optional<sender::LiveDevice> liveDevice;
  std::string deviceName;
};

// The open's result with what the graph found. `streaming`: whether any stream is broadcast.
// GStreamer's message comes from the findings, else from the result.
OpenError MakeOpenError(const Status& result, const OpenFindings& findings, bool streaming);

// Why a file could not be played, as the user is told.
enum class OpenFailure {
  kNotFound,
  kNotReadable,
  kNotAFile,
  kUnsupportedType,
  kNoPlayableStream,
  kCodecNotBroadcast,
  kDecoderMissing,
  kDecoderMissingNoPackage,
  kScreenRefused,
  kCameraFailed,
  kMicrophoneFailed,
};

// A missing decoder is the cause whatever the graph answered; then a codec that no grabber
// takes, then the graph's answer.
OpenFailure FailureOf(const OpenError& error);

// The reason in English, which the language files use as its key: "%1" stands for the codecs
// or the decoders, "%2" for the packages; for a live source "%1" is the device, "%2" the
// reason.
std::string_view FailureText(OpenFailure failure);

// The (translated) text of FailureText with "%1" and "%2" filled in from the error.
std::string FillFailureText(std::string_view text, const OpenError& error);

// The whole reason in English.
std::string FailureMessage(const OpenError& error);

// The Debian package whose plug-ins handle the caps of a missing-plug-in message's installer
// detail ("gstreamer|1.0|app|H.265 decoder|decoder-video/x-h265, ..."); empty when none is
// known.
std::string PackageForMissing(std::string_view installerDetail);

}  // namespace vantorel::sender
