// The Open command: playing and broadcasting at once, the transport's enabling, the slider
// ranges, replacing and failing sessions, the dialog's cancel, and the session number.
#include <QFile>
#include <QFileInfo>

#include "platform/media/video_output.h"
#include "protocol/wire_format.h"
#include "sender/app/string_table.h"
#include "sender/sender_session.h"
#include "tests/sender/app/window_fixture.h"
#include "ui/skin/video_widget.h"

#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <gst/gst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>

namespace vantorel::testing {
namespace {

using namespace std::chrono_literals;
using sender::PlayerState;
using sender::app::MessageIcon;

struct Enabling {
  bool play, pause, stop, seek;
};

Enabling EnablingOf(const sender::app::SenderMainWindow& w) {
  return {!w.PlayButton()->IsDisabled(), !w.PauseButton()->IsDisabled(),
          !w.StopButton()->IsDisabled(), !w.SeekSlider()->IsDisabled()};
}

void ExpectEnabling(const sender::app::SenderMainWindow& w, Enabling expected) {
  const Enabling e = EnablingOf(w);
  EXPECT_EQ(e.play, expected.play);
  EXPECT_EQ(e.pause, expected.pause);
  EXPECT_EQ(e.stop, expected.stop);
  EXPECT_EQ(e.seek, expected.seek);
}

QString GarbageFile(const QTemporaryDir& dir) {
  const QString path = dir.filePath(QStringLiteral("noise.mpg"));
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(4096, '\x5a'));
  return path;
}

// Takes every decoder for the caps out of autoplugging, for this test process only.
void HideDecodersFor(const char* caps) {
  gst_init(nullptr, nullptr);
  GstCaps* wanted = gst_caps_from_string(caps);
  GList* decoders =
      gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, GST_RANK_NONE);
  GList* taking = gst_element_factory_list_filter(decoders, wanted, GST_PAD_SINK, FALSE);
  for (GList* it = taking; it != nullptr; it = it->next) {
    gst_plugin_feature_set_rank(GST_PLUGIN_FEATURE(it->data), GST_RANK_NONE);
  }
  gst_plugin_feature_list_free(taking);
  gst_plugin_feature_list_free(decoders);
  gst_caps_unref(wanted);
}

TEST_F(SenderWindowTest, StartsWithTheTransportDisabledAndTheOpenButtonEnabled) {
  auto& w = MakeWindow();
  ExpectEnabling(w, {false, false, false, false});
  EXPECT_FALSE(w.OpenButton()->IsDisabled());
  EXPECT_EQ(w.SeekSlider()->Range().rangeMax, 100);
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Vantorel - [Strovan]"));
  EXPECT_EQ(w.Video()->StatusText(), QStringLiteral("Open a media file, or drop one here"));
}

TEST_F(SenderWindowTest, OpeningAFilePlaysAndBroadcastsAtOnce) {
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  seed.fill(4);
  identity_ = protocol::SigningKey::FromSeed(seed);
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  ASSERT_EQ(desktop_.filters.size(), 1u);
  EXPECT_TRUE(desktop_.filters[0].startsWith(QStringLiteral("Media Files(All Types) (*.mpg")));
  // Second, everything the installed decoders play.
  const QString playable = desktop_.filters[0].split(QStringLiteral(";;"))[1];
  EXPECT_TRUE(playable.startsWith(QStringLiteral("Every file this computer can play (")));
  EXPECT_TRUE(playable.contains(QStringLiteral(" *.mpg ")));
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  EXPECT_EQ(w.SessionNumber(), 1);
  ExpectEnabling(w, {false, true, true, true});
  // The generated files last about three seconds; the range is in whole seconds.
  const int seconds = static_cast<int>(w.Session()->Duration());
  EXPECT_GE(seconds, 2);
  EXPECT_EQ(w.SeekSlider()->Range().rangeMin, 0);
  EXPECT_EQ(w.SeekSlider()->Range().rangeMax, seconds);
  EXPECT_EQ(w.Trackbar()->maximum(), seconds);
  EXPECT_TRUE(WaitForMedia(20));
  EXPECT_TRUE(desktop_.messages.empty());
  // I adds who signs and what went out under the status line.
  QTest::keyClick(&w, Qt::Key_I);
  const QStringList lines = w.Video()->StatusText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 3) << w.Video()->StatusText().toStdString();
  EXPECT_EQ(lines[1], QStringLiteral("Signs its broadcasts as ") +
                          QString::fromStdString(identity_->FingerprintOf().Text()));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Sent [1-9][0-9]* datagrams · parity [0-9]+ · "
                                                "signatures [1-9][0-9]*$"))
                  .match(lines[2])
                  .hasMatch())
      << lines[2].toStdString();
}

// Without an audio device the sound is still broadcast, and the user is told once.
TEST_F(SenderWindowTest, AMissingAudioDeviceIsNotedOnceAndTheBroadcastGoesOn) {
  const bool noDevice = media::AudioDeviceMissing();
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  EXPECT_TRUE(WaitForMedia(5));
  ASSERT_EQ(desktop_.notes.size(), noDevice ? 1u : 0u);
  if (noDevice) {
    EXPECT_TRUE(desktop_.notes[0].contains(QStringLiteral("No audio device")));
  }
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
}

TEST_F(SenderWindowTest, TransportCommandsFollowTheEnablingTable) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  Command(skin::kCmdPause);
  EXPECT_EQ(w.Session()->State(), PlayerState::kPaused);
  ExpectEnabling(w, {true, false, true, true});
  Command(skin::kCmdStop);
  EXPECT_EQ(w.Session()->State(), PlayerState::kStopped);
  ExpectEnabling(w, {true, true, false, true});
  Command(skin::kCmdPlay);
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  ExpectEnabling(w, {false, true, true, true});
}

TEST_F(SenderWindowTest, AFileShorterThanASecondGivesAnEmptyRange) {
  auto& w = MakeWindow();
  const QString shortFile = MakeToneWav(temp_, "short.wav", 500);
  ASSERT_FALSE(shortFile.isEmpty());
  ASSERT_TRUE(OpenThroughDialog(shortFile));
  EXPECT_EQ(w.SeekSlider()->Range().rangeMin, 0);
  EXPECT_EQ(w.SeekSlider()->Range().rangeMax, 0);
  EXPECT_EQ(w.Trackbar()->maximum(), 0);
}

// The end of the file comes as a graph event: the window shows the stopped transport, and Play
// starts the file again.
TEST_F(SenderWindowTest, TheEndOfTheFileStopsTheTransportUntilPlay) {
  auto& w = MakeWindow();
  const QString shortFile = MakeToneWav(temp_, "end.wav", 500);
  ASSERT_FALSE(shortFile.isEmpty());
  ASSERT_TRUE(OpenThroughDialog(shortFile));
  ASSERT_TRUE(WaitUntil([&] { return w.Session()->State() == PlayerState::kStopped; }, 10s));
  EXPECT_EQ(w.Session()->EventCounts().completes, 1u);
  ExpectEnabling(w, {true, true, false, true});
  Command(skin::kCmdPlay);
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  EXPECT_LT(w.Session()->Position(), 0.4);
}

TEST_F(SenderWindowTest, ASecondOpenReplacesTheFirstSession) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  ASSERT_TRUE(OpenThroughDialog(TestMedia("mpeg1-av.mpg")));
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  EXPECT_EQ(w.SessionNumber(), 2);
  EXPECT_TRUE(desktop_.messages.empty());
}

// The box is headed by what happened and gives the whole path.
TEST_F(SenderWindowTest, AFailedOpenLeavesNoSessionAndSaysWhy) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  const QString noise = GarbageFile(temp_);
  EXPECT_FALSE(OpenThroughDialog(noise));
  EXPECT_EQ(w.Session(), nullptr);
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, QStringLiteral("Does not support this file type."));
  EXPECT_EQ(desktop_.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(desktop_.messages[0].detail, QFileInfo(noise).absoluteFilePath());
  ExpectEnabling(w, {false, false, false, false});
  // A FIFO is refused without waiting for a writer.
  const QString fifo = temp_.filePath(QStringLiteral("pipe.mpg"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_FALSE(OpenThroughDialog(fifo));
  const QString gone = temp_.filePath(QStringLiteral("gone.mpg"));
  EXPECT_FALSE(OpenThroughDialog(gone));
  // VP9 plays here, but no media type on the wire carries it.
  const QString vp9 = TestMedia("vp9-video.webm");
  EXPECT_FALSE(OpenThroughDialog(vp9));
  ASSERT_EQ(desktop_.messages.size(), 4u);
  EXPECT_EQ(desktop_.messages[1].text, QStringLiteral("It is not a regular file."));
  EXPECT_EQ(desktop_.messages[1].detail, QFileInfo(fifo).absoluteFilePath());
  EXPECT_EQ(desktop_.messages[2].text, QStringLiteral("The file was not found."));
  EXPECT_EQ(desktop_.messages[2].detail, QFileInfo(gone).absoluteFilePath());
  EXPECT_EQ(desktop_.messages[3].text, QStringLiteral("This codec cannot be broadcast: VP9."));
  EXPECT_EQ(desktop_.messages[3].detail, QFileInfo(vp9).absoluteFilePath());
  // Only successful opens count.
  EXPECT_EQ(w.SessionNumber(), 1);
  // Commands without a session do nothing.
  Command(skin::kCmdPlay);
  Send(skin::SliderDragEvent{1});
  EXPECT_EQ(w.Session(), nullptr);
}

// A missing decoder is named the way GStreamer describes it, with the Debian package that
// brings it; a file that may not be read says so.
TEST_F(SenderWindowTest, AFailedOpenNamesAMissingDecoderOrAnUnreadableFile) {
  HideDecodersFor("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false; video/x-divx");
  auto& w = MakeWindow();
  EXPECT_FALSE(OpenThroughDialog(TestMedia("mpeg4-pcm.avi")));
  EXPECT_EQ(w.Session(), nullptr);
  ASSERT_EQ(desktop_.messages.size(), 1u);
  const QString text = desktop_.messages[0].text;
  // "DivX MPEG-4 Version 4 decoder", as the parser labels the stream.
  EXPECT_TRUE(text.startsWith(QStringLiteral("A decoder is missing: "))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("MPEG-4"))) << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral(" decoder. Install the package gstreamer1.0-libav.")))
      << text.toStdString();
  // The next open no longer names it.
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const QString locked = MakeToneWav(temp_, "locked.wav", 500);
  ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
  EXPECT_FALSE(OpenThroughDialog(locked));
  ASSERT_EQ(desktop_.messages.size(), 2u);
  EXPECT_EQ(desktop_.messages[1].text, QStringLiteral("The file may not be read."));
  EXPECT_EQ(desktop_.messages[1].detail, QFileInfo(locked).absoluteFilePath());
}

TEST_F(SenderWindowTest, CancellingTheDialogLeavesThePlayingFilePlaying) {
  auto& w = MakeWindow();
  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  const sender::SenderSession* playing = w.Session();
  desktop_.choices.push_back(std::nullopt);
  Command(skin::kCmdOpen);
  EXPECT_EQ(desktop_.filters.size(), 2u);
  EXPECT_EQ(w.Session(), playing);
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  EXPECT_EQ(w.SessionNumber(), 1);
}

// The counter is eight bits: the 257th successful open hands out 0 again.
TEST_F(SenderWindowTest, TheSessionNumberWrapsAfter255) {
  auto& w = MakeWindow(media::OutputMode::kNullSinks);
  const QString file = TestMedia("tone.wav");
  for (int open = 1; open <= 256; ++open) {
    ASSERT_TRUE(w.OpenFile(file)) << "open " << open;
    if (open == 255) {
      EXPECT_EQ(w.SessionNumber(), 255);
    }
  }
  EXPECT_EQ(w.SessionNumber(), 0);
  EXPECT_TRUE(desktop_.messages.empty());
}

}  // namespace
}  // namespace vantorel::testing
