// Why an open failed, in words: the cause chosen from what the graph found, the sentence with
// its codecs, decoders and packages, and the Debian package for a missing plug-in's caps.
#include <gtest/gtest.h>

#include "sender/open_error.h"

namespace vantorel::sender {
namespace {

struct PackageCase {
  const char* installerDetail;
  const char* package;
};

class PackageForMissingTest : public ::testing::TestWithParam<PackageCase> {};

TEST_P(PackageForMissingTest, NamesThePackageOfTheCapsFamily) {
  EXPECT_EQ(PackageForMissing(GetParam().installerDetail), GetParam().package);
}

INSTANTIATE_TEST_SUITE_P(
    Caps, PackageForMissingTest,
    ::testing::Values(
        PackageCase{
            "gstreamer|1.0|strovan|H.265 decoder|decoder-video/x-h265, alignment=(string)au",
            "gstreamer1.0-libav"},
        PackageCase{"gstreamer|1.0|strovan|VP9 decoder|decoder-video/x-vp9",
                    "gstreamer1.0-plugins-good"},
        PackageCase{"gstreamer|1.0|s|MPEG-4 AAC decoder|decoder-audio/mpeg, mpegversion=(int)4",
                    "gstreamer1.0-libav"},
        PackageCase{"gstreamer|1.0|s|MP3 decoder|decoder-audio/mpeg, mpegversion=(int)1, "
                    "layer=(int)3",
                    "gstreamer1.0-plugins-good"},
        PackageCase{"gstreamer|1.0|s|MPEG-2 decoder|decoder-video/mpeg, mpegversion=(int)2, "
                    "systemstream=(boolean)false",
                    "gstreamer1.0-plugins-ugly"},
        PackageCase{"gstreamer|1.0|s|DivX decoder|decoder-video/mpeg, mpegversion=(int)4, "
                    "systemstream=(boolean)false",
                    "gstreamer1.0-libav"},
        PackageCase{"gstreamer|1.0|s|MPEG system stream demuxer|decoder-video/mpeg, "
                    "systemstream=(boolean)true, mpegversion=(int)1",
                    "gstreamer1.0-plugins-bad"},
        PackageCase{"gstreamer|1.0|s|Opus decoder|decoder-audio/x-opus",
                    "gstreamer1.0-plugins-base"},
        PackageCase{"gstreamer|1.0|s|AV1 decoder|decoder-video/x-av1", "gstreamer1.0-plugins-bad"},
        // Unknown families are not guessed.
        PackageCase{"gstreamer|1.0|s|Frobnicator decoder|decoder-video/x-frobnicate", ""},
        PackageCase{"garbage", ""}, PackageCase{"", ""}));

TEST(OpenError, AMissingDecoderComesFirstAndNamesItsPackage) {
  OpenFindings findings;
  findings.missingDecoders = {{"H.265 (Main Profile) decoder", "gstreamer1.0-libav"}};
  findings.refusedCodecs = {"H.265"};
  const OpenError error = MakeOpenError(Status(MediaErrc::kUnsupportedStream), findings, false);
  EXPECT_EQ(FailureOf(error), OpenFailure::kDecoderMissing);
  EXPECT_EQ(FailureMessage(error),
            "A decoder is missing: H.265 (Main Profile) decoder. Install the package "
            "gstreamer1.0-libav.");
  // Two decoders of one package name it once; one without a known package says so.
  findings.missingDecoders.push_back({"AAC decoder", "gstreamer1.0-libav"});
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kFailed), findings, false)),
            "A decoder is missing: H.265 (Main Profile) decoder, AAC decoder. Install the package "
            "gstreamer1.0-libav.");
  findings.missingDecoders.push_back({"Frobnicator decoder", ""});
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kFailed), findings, false)),
            "A decoder is missing: H.265 (Main Profile) decoder, AAC decoder, Frobnicator decoder. "
            "No package is known to bring it.");
}

TEST(OpenError, TheCauseFollowsTheResultThenWhatTheGraphFound) {
  OpenFindings refused;
  refused.refusedCodecs = {"VP9", "VP9"};
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kUnsupportedStream), refused, false)),
            "This codec cannot be broadcast: VP9.");
  // Another stream is broadcast: the codec is no reason.
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kUnsupportedStream), refused, true)),
            "It holds no stream that can be played.");
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kFileNotFound), refused, false)),
            "The file was not found.");
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kAccessDenied), {}, false)),
            "The file may not be read.");
  EXPECT_EQ(FailureMessage(MakeOpenError(Status(MediaErrc::kBadFileType), {}, false)),
            "It is not a regular file.");
  OpenFindings unknown;
  unknown.unknownType = true;
  unknown.errorText = "Could not determine type of stream.";
  const OpenError error = MakeOpenError(Status(MediaErrc::kUnsupportedStream), unknown, false);
  EXPECT_EQ(FailureMessage(error), "Does not support this file type.");
  EXPECT_EQ(error.detail, "Could not determine type of stream.");
  // A translated sentence is filled the same way.
  EXPECT_EQ(FillFailureText("Ce codec ne peut pas être diffusé : %1.",
                            MakeOpenError(Status(MediaErrc::kFailed), refused, false)),
            "Ce codec ne peut pas être diffusé : VP9.");
}

// A live device that did not start names itself and the reason, whatever the result was.
TEST(OpenError, ALiveDeviceIsNamedWithItsReason) {
  OpenFindings findings;
  findings.failedDevice = sender::LiveDevice::kCamera;
  findings.errorText = "Cannot identify device '/dev/video7'";
  OpenError error = MakeOpenError(Status(MediaErrc::kFileNotFound), findings, false);
  error.deviceName = "/dev/video7";
  EXPECT_EQ(FailureOf(error), OpenFailure::kCameraFailed);
  EXPECT_EQ(FailureMessage(error),
            "The camera /dev/video7 cannot be opened: Cannot identify device '/dev/video7'.");
  findings.failedDevice = sender::LiveDevice::kMicrophone;
  findings.errorText.clear();
  error = MakeOpenError(Status(MediaErrc::kFailed), findings, false);
  error.deviceName = "default";
  EXPECT_EQ(FailureMessage(error), "The microphone default cannot be opened: it did not start.");
  findings.failedDevice = sender::LiveDevice::kScreen;
  findings.errorText = "Could not open X display for reading.";
  error = MakeOpenError(Status(MediaErrc::kFailed), findings, false);
  error.deviceName = ":5";
  EXPECT_EQ(FailureMessage(error),
            "The screen :5 cannot be captured: Could not open X display for reading.");
  error.deviceName.clear();
  EXPECT_EQ(FailureMessage(error),
            "The screen cannot be captured: Could not open X display for reading.");
}

TEST(LiveSource, DescribedAsTheStatusLineShowsIt) {
  sender::LiveSource screen;
  screen.video = sender::LiveVideo::kScreen;
  EXPECT_EQ(sender::DescribeLive(screen), "Screen");
  screen.window = 0x1e00007;
  screen.display = ":3";
  EXPECT_EQ(sender::DescribeLive(screen), "Window");
  EXPECT_EQ(sender::LiveDeviceName(screen, sender::LiveDevice::kScreen), ":3 window 0x1e00007");
  sender::LiveSource camera;
  camera.video = sender::LiveVideo::kCamera;
  camera.camera = "/dev/video0";
  camera.microphone = true;
  EXPECT_EQ(sender::DescribeLive(camera), "Camera: /dev/video0 + Microphone");
  camera.cameraName = "Desk camera";
  EXPECT_EQ(sender::DescribeLive(camera), "Camera: Desk camera + Microphone");
  EXPECT_EQ(sender::LiveDeviceName(camera, sender::LiveDevice::kMicrophone), "default");
  sender::LiveSource microphone;
  EXPECT_FALSE(sender::HasStream(microphone));
  microphone.microphone = true;
  EXPECT_TRUE(sender::HasStream(microphone));
  EXPECT_EQ(sender::DescribeLive(microphone), "Microphone");
}

TEST(LiveSource, TheBitRateFollowsThePictureWithinBounds) {
  EXPECT_EQ(sender::LiveBitrateKbit(1280, 720, 30), 2764);
  EXPECT_GT(sender::LiveBitrateKbit(1920, 1080, 30), sender::LiveBitrateKbit(1280, 720, 30));
  EXPECT_EQ(sender::LiveBitrateKbit(160, 120, 30), 500);
  EXPECT_EQ(sender::LiveBitrateKbit(7680, 4320, 60), 20000);
  EXPECT_EQ(sender::LiveBitrateKbit(0, 0, 0), 500);
}

}  // namespace
}  // namespace vantorel::sender
