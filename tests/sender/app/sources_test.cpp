// The window's sources beside a single file: a live source (the generated camera and tone), the
// microphone added, alone and muted from the source menu, and lists of files played one after
// another, skipping what cannot be opened and going round when looping.
#include <QFile>
#include <QListWidget>
#include <QTest>

#include "protocol/announcement.h"
#include "protocol/wire_format.h"
#include "sender/gst/capture_devices.h"
#include "sender/sender_session.h"
#include "tests/sender/app/window_fixture.h"
#include "ui/skin/video_widget.h"

namespace vantorel::testing {
namespace {

using namespace std::chrono_literals;
using protocol::SenderSource;
using protocol::SenderState;
using sender::PlayerState;

sender::LiveSource TestCamera() {
  sender::LiveSource source;
  source.video = sender::LiveVideo::kCamera;
  source.camera = std::string(sender::kTestCamera);
  return source;
}

std::size_t MediaCount(DatagramCapture& capture) {
  std::size_t media = 0;
  for (const auto& d : capture.Datagrams()) media += RouteKey(d) == protocol::kRouteKeyMedia;
  return media;
}

QString JunkFile(const QTemporaryDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(4096, '\x5a'));
  return path;
}

// A live source has no seeking: the slider is disabled and the line gives the time on the air.
TEST_F(SenderWindowTest, ALiveCameraPlaysPausesAndResumes) {
  auto& w = MakeWindow();
  ASSERT_TRUE(w.OpenLive(TestCamera())) << desktop_.messages.size();
  ASSERT_NE(w.Session(), nullptr);
  EXPECT_TRUE(w.Session()->Live());
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  EXPECT_EQ(w.SessionNumber(), 1);
  EXPECT_TRUE(w.SeekSlider()->IsDisabled());
  EXPECT_FALSE(w.PauseButton()->IsDisabled());
  EXPECT_TRUE(WaitForMedia(10));
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kCamera, "Camera: test"));
  EXPECT_TRUE(WaitUntil([&] { return w.Video()->FramesShown() >= 3; }, 10s));
  EXPECT_TRUE(w.Video()->StatusText().startsWith(QStringLiteral("Camera: test   on air 0:")))
      << w.Video()->StatusText().toStdString();

  Command(skin::kCmdPause);
  EXPECT_EQ(w.Session()->State(), PlayerState::kPaused);
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPaused, SenderSource::kCamera, "Camera: test"));
  // Left and Right do not seek a live source.
  QTest::keyClick(&w, Qt::Key_Right);
  const std::size_t before = MediaCount(capture_);
  Command(skin::kCmdPlay);
  EXPECT_EQ(w.Session()->State(), PlayerState::kRunning);
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kCamera, "Camera: test"));
  EXPECT_TRUE(WaitForMedia(before + 10));
  EXPECT_EQ(w.SessionNumber(), 1);
  EXPECT_TRUE(desktop_.messages.empty());
}

// The microphone plays alone when nothing else does, joins a live picture in a new session,
// mutes without one, and may not be added to a file, which keeps its own sound.
TEST_F(SenderWindowTest, TheMicrophoneIsAddedAloneOrBesideThePictureAndMutes) {
  auto& w = MakeWindow(media::OutputMode::kNullSinks);
  {
    const std::unique_ptr<QMenu> menu = w.MakeSourceMenu();
    ASSERT_NE(FindEntry(*menu, QStringLiteral("Whole screen")), nullptr);
    if (sender::gst::ListCameras().empty()) {
      const QAction* none = FindEntry(*menu, QStringLiteral("No camera found"));
      ASSERT_NE(none, nullptr);
      EXPECT_FALSE(none->isEnabled());
    }
    EXPECT_FALSE(FindEntry(*menu, QStringLiteral("Mute the microphone"))->isEnabled());
  }
  ASSERT_TRUE(ChooseSource(QStringLiteral("Add the microphone")));
  ASSERT_TRUE(w.LiveOnAir().has_value());
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kMicrophone, "Microphone"));

  ASSERT_TRUE(w.OpenLive(TestCamera()));
  ASSERT_TRUE(ChooseSource(QStringLiteral("Add the microphone")));
  EXPECT_EQ(w.SessionNumber(), 3);
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kCamera,
                                  "Camera: test + Microphone"));
  ASSERT_TRUE(ChooseSource(QStringLiteral("Mute the microphone")));
  EXPECT_EQ(w.SessionNumber(), 3);
  EXPECT_TRUE(w.LiveOnAir()->microphoneMuted);
  EXPECT_TRUE(FindEntry(*w.MakeSourceMenu(), QStringLiteral("Mute the microphone"))->isChecked());
  // Taken away again, the camera goes on alone.
  ASSERT_TRUE(ChooseSource(QStringLiteral("Add the microphone")));
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kCamera, "Camera: test"));

  ASSERT_TRUE(OpenThroughDialog(TestMedia("tone.wav")));
  EXPECT_FALSE(w.LiveOnAir().has_value());
  EXPECT_FALSE(ChooseSource(QStringLiteral("Add the microphone")));
  EXPECT_TRUE(desktop_.messages.empty());
}

// Each item is a session of its own, started when the one before ends; an item that cannot be
// opened is skipped and named under the status line; the loop goes back to the first item.
TEST_F(SenderWindowTest, AListPlaysItsItemsInTurnSkipsABadOneAndLoops) {
  auto& w = MakeWindow(media::OutputMode::kNullSinks);
  const QString first = MakeToneWav(temp_, "first.wav", 500);
  const QString second = MakeToneWav(temp_, "second.wav", 500);
  ASSERT_FALSE(first.isEmpty() || second.isEmpty());
  desktop_.choices.push_back(QStringList{first, JunkFile(temp_, "bad.mpg"), second});
  Command(skin::kCmdOpen);
  ASSERT_EQ(w.List().Size(), 3u);
  EXPECT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kFile, "first.wav"));
  ASSERT_TRUE(ChooseSource(QStringLiteral("Loop the list")));
  EXPECT_TRUE(desktop_.loop);
  EXPECT_FALSE(w.ListPanel()->isHidden());
  ASSERT_EQ(w.ListPanel()->count(), 3);
  const std::uint8_t firstSession = LastAnnouncement(capture_)->session;

  ASSERT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kFile, "second.wav"));
  EXPECT_EQ(LastAnnouncement(capture_)->session, static_cast<std::uint8_t>(firstSession + 1));
  EXPECT_EQ(w.List().Current(), 2u);
  EXPECT_TRUE(w.ListPanel()->item(2)->isSelected());
  QTest::qWait(100);  // the status line follows on the window's timer
  EXPECT_TRUE(w.Video()->StatusText().startsWith(QStringLiteral("3/3   second.wav   0:0")))
      << w.Video()->StatusText().toStdString();
  EXPECT_TRUE(w.Video()->StatusText().endsWith(
      QStringLiteral("\nSkipped bad.mpg: Does not support this file type.")))
      << w.Video()->StatusText().toStdString();

  ASSERT_TRUE(WaitForAnnouncement(SenderState::kPlaying, SenderSource::kFile, "first.wav"));
  EXPECT_EQ(LastAnnouncement(capture_)->session, static_cast<std::uint8_t>(firstSession + 2));
  EXPECT_TRUE(desktop_.messages.empty());
  // Page Down and Page Up step over the bad item both ways; without the loop the list ends
  // stopped on its last item. L hides the list.
  w.SetLoop(false);
  EXPECT_FALSE(desktop_.loop);
  QTest::keyClick(&w, Qt::Key_PageDown);
  EXPECT_EQ(w.List().Current(), 2u);
  QTest::keyClick(&w, Qt::Key_PageUp);
  EXPECT_EQ(w.List().Current(), 0u);
  EXPECT_EQ(w.SessionNumber(), 5);  // first, second, first, second, first
  ASSERT_TRUE(WaitUntil(
      [&] { return w.List().Current() == 2u && w.Session()->State() == PlayerState::kStopped; },
      10s));
  EXPECT_EQ(w.Session()->EventCounts().completes, 1u);
  QTest::keyClick(&w, Qt::Key_L);
  EXPECT_TRUE(w.ListPanel()->isHidden());
}

// A folder gives its media files in the order of their names; when none of them opens, going
// round again, nothing plays and no box stops the user. A folder without media files says so.
TEST_F(SenderWindowTest, AFolderOfFilesThatAllFailStopsWithoutABox) {
  desktop_.loop = true;
  auto& w = MakeWindow(media::OutputMode::kNullSinks);
  QTemporaryDir folder;
  JunkFile(folder, QStringLiteral("clip 10.mpg"));
  JunkFile(folder, QStringLiteral("clip 9.mpg"));
  JunkFile(folder, QStringLiteral("notes.txt"));
  desktop_.folders.push_back(folder.path());
  ASSERT_TRUE(ChooseSource(QStringLiteral("Open a folder...")));
  QTest::qWait(100);  // the status line follows on the window's timer
  ASSERT_EQ(w.List().Size(), 2u);
  EXPECT_TRUE(w.List().Exhausted());
  EXPECT_EQ(w.Session(), nullptr);
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(w.ListPanel()->item(0)->text(), QStringLiteral("clip 9.mpg"));
  EXPECT_TRUE(w.Video()->StatusText().endsWith(
      QStringLiteral("\nSkipped clip 10.mpg: Does not support this file type.")))
      << w.Video()->StatusText().toStdString();

  QTemporaryDir empty;
  EXPECT_FALSE(w.OpenFiles({empty.path()}));
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, QStringLiteral("It holds no stream that can be played."));
}

}  // namespace
}  // namespace vantorel::testing
