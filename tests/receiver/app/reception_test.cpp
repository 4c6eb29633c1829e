// Reception end to end on loopback: a real sender session plays a generated file and
// broadcasts it to the window's socket; the window must show the video, rebuild on the end of
// the broadcast, and keep to the first sender it heard.
#include "receiver/app/receiver_main_window.h"

#include <QTest>

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gst/gst.h>

#include <array>
#include <filesystem>
#include <thread>

#include "platform/media/gst_ptr.h"
#include "platform/media/video_output.h"
#include "platform/profile/key_files.h"

#include "receiver_test_support.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver::app {
namespace {

using testing::BrightPixelsInVideoArea;
using testing::FreeLoopbackPort;
using testing::LoopbackReceiver;
using testing::LoopbackSender;
using testing::TestMedia;
using testing::WaitUntil;

// The test pattern is a white ball on black: a few hundred bright pixels once it shows.
constexpr int kBallPixels = 100;

bool ShowsVideo(ReceiverMainWindow& window) {
  return BrightPixelsInVideoArea(window) > kBallPixels;
}

void Pause(std::chrono::milliseconds time) {
  WaitUntil([] { return false; }, time);
}

class ReceptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clip_ = TestMedia("mpeg1-av.mpg");
    otherClip_ = TestMedia("mpeg1-av-no-b.mpg");
    if (clip_.empty() || otherClip_.empty()) GTEST_SKIP() << "generated test media missing";
    port_ = FreeLoopbackPort();
    ASSERT_NE(port_, 0);
  }
  std::string clip_;
  std::string otherClip_;
  std::uint16_t port_ = 0;
};

TEST_F(ReceptionTest, ALateJoinerShowsTheSendersVideo) {
  LoopbackSender sender(port_, 0);
  ASSERT_TRUE(sender.Start(clip_));
  Pause(std::chrono::milliseconds(1500));

  LoopbackReceiver receiver(port_);
  ReceiverMainWindow& window = receiver.Window();
  EXPECT_EQ(BrightPixelsInVideoArea(window), 0);
  EXPECT_TRUE(WaitUntil([&] { return ShowsVideo(window); }));

  // I shows the reception's figures until pressed again: the sender, its streams' formats,
  // the bit rate and the losses.
  Pause(std::chrono::milliseconds(500));
  QTest::keyClick(&window, Qt::Key_I);
  const QStringList lines = window.Video().StatusText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 4) << window.Video().StatusText().toStdString();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Receiving from 127.0.0.1:")))
      << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains(QStringLiteral("MPEG-1 320x240 25 fps"))) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(QStringLiteral("MPEG audio 44100 Hz 2 ch")))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" Mbit/s"))) << lines[2].toStdString();
  EXPECT_GT(lines[2].section(QLatin1Char(' '), 0, 0).toDouble(), 0.1);
  EXPECT_EQ(lines[3], QStringLiteral("Messages lost 0 · datagrams recovered 0 · dropped 0"));
  QTest::keyClick(&window, Qt::Key_I);
  EXPECT_FALSE(window.Video().StatusText().contains(QStringLiteral("Mbit/s")));
}

// Without an audio device the picture plays on and the status line says so for a while, the
// figures for good: there is no box for anyone to close.
TEST_F(ReceptionTest, AMissingAudioDeviceIsNotedWithoutABox) {
  if (!media::AudioDeviceMissing()) GTEST_SKIP() << "this machine has an audio device";
  LoopbackSender sender(port_, 0);
  ASSERT_TRUE(sender.Start(clip_));
  LoopbackReceiver receiver(
      port_, [](ReceiverWindowOptions& options) { options.audioNote = AudioNote::kShow; });
  ReceiverMainWindow& window = receiver.Window();
  const QString note = QStringLiteral(
      "No audio device was found. The sound of the broadcast is received but not played here.");
  ASSERT_TRUE(WaitUntil([&] { return window.Video().StatusText().endsWith(note); }));
  EXPECT_TRUE(WaitUntil([&] { return ShowsVideo(window); }));
  for (QWidget* shown : QApplication::topLevelWidgets()) {
    EXPECT_EQ(qobject_cast<QMessageBox*>(shown), nullptr);
  }
  QTest::keyClick(&window, Qt::Key_I);
  EXPECT_EQ(window.Video().StatusText().split(QLatin1Char('\n')).last(), note);
}

// Two named senders on the air: the status line names the one played and counts the others,
// the S key lists them to choose from, a choice is remembered by name and waited for, and a
// pause the sender tells of is no fault.
TEST_F(ReceptionTest, NamedSendersAreToldListedAndChosen) {
  using protocol::SenderState;
  LoopbackReceiver receiver(port_,
                            [](ReceiverWindowOptions& options) { options.sender = std::string(); });
  ReceiverMainWindow& window = receiver.Window();
  LoopbackSender north(port_, 0), foyer(port_, 1);
  ASSERT_TRUE(north.Start(clip_));
  const auto status = [&] { return window.Video().StatusText(); };
  const auto announcing = [&](const std::function<bool()>& done) {
    return WaitUntil([&] {
      north.Announce("Saal Nord", north.Paused() ? SenderState::kPaused : SenderState::kPlaying,
                     "mpeg1-av.mpg");
      foyer.Announce("Foyer", SenderState::kStopped, "");
      return done();
    });
  };
  ASSERT_TRUE(announcing([&] {
    return status().startsWith(QStringLiteral("Receiving from Saal Nord (127.0.0.1:")) &&
           status().contains(QStringLiteral("2 senders on the air · S: choose"));
  })) << status().toStdString();

  QTest::keyClick(&window, Qt::Key_S);
  QMenu* menu = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
  QStringList entries;
  for (const QAction* action : menu->actions()) {
    if (!action->isSeparator()) entries << action->text().section(QStringLiteral(" · 127"), 0, 0);
  }
  EXPECT_EQ(entries, (QStringList{"The first sender heard", "Saal Nord · mpeg1-av.mpg",
                                  "Foyer · (stopped)"}));
  menu->actions().last()->trigger();
  menu->close();
  // Foyer sends nothing: the window leaves Saal Nord and waits for it.
  ASSERT_TRUE(announcing([&] {
    return status().startsWith(QStringLiteral("Stopped by Foyer")) ||
           status().startsWith(QStringLiteral("Waiting for Foyer on UDP port"));
  })) << status().toStdString();
  EXPECT_EQ(RememberedSender(), "Foyer");
  EXPECT_EQ(window.Reception().choice.name, "Foyer");

  // Back to the first heard: Saal Nord plays; its pause is told by name, with the quiet mark.
  QTest::keyClick(&window, Qt::Key_S);
  ASSERT_TRUE(
      WaitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
  menu->actions().first()->trigger();
  menu->close();
  ASSERT_TRUE(announcing([&] { return ShowsVideo(window); }));
  north.Pause(true);
  EXPECT_TRUE(announcing([&] {
    return status().startsWith(QStringLiteral("Paused by Saal Nord"));
  })) << status().toStdString();
  EXPECT_FALSE(status().contains(QStringLiteral("No signal")));
  EXPECT_EQ(RememberedSender(), "");
}

// A window held up for 2 s (a modal box, a slow repaint) holds up nothing of the reception:
// every datagram goes on to the pins meanwhile.
TEST_F(ReceptionTest, AWindowHeldUpLosesNothing) {
  LoopbackReceiver receiver(port_);
  ReceiverMainWindow& window = receiver.Window();
  LoopbackSender sender(port_, 0);
  ASSERT_TRUE(sender.Start(clip_));
  ASSERT_TRUE(WaitUntil([&] { return window.Reception().session == 0; }));
  const std::uint64_t before = window.Totals().reassembly.delivered;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_GT(window.Totals().reassembly.delivered, before + 50) << "reception waited for the window";
  const ReceptionTotals totals = window.Totals();
  EXPECT_EQ(totals.receive.queueOverflow, 0u);
  EXPECT_EQ(totals.LostMessages(), 0u);
}

TEST_F(ReceptionTest, EndOfBroadcastRebuildsOncePerAcceptedDatagramAndTheNextCastPlays) {
  LoopbackReceiver receiver(port_);
  ReceiverMainWindow& window = receiver.Window();
  {
    LoopbackSender first(port_, 0);
    ASSERT_TRUE(first.Start(clip_));
    ASSERT_TRUE(WaitUntil([&] { return ShowsVideo(window); }));
  }  // closes and sends the end of broadcast three times
  ASSERT_TRUE(WaitUntil([&] { return window.Totals().endOfBroadcastHandled > 0; }));
  Pause(std::chrono::milliseconds(500));
  const ReceptionTotals totals = window.Totals();
  EXPECT_EQ(totals.endOfBroadcastHandled, totals.receive.endOfBroadcast);
  EXPECT_LE(totals.endOfBroadcastHandled, 3u);
  EXPECT_EQ(totals.pipelinesBuilt, 1 + totals.endOfBroadcastHandled);
  EXPECT_EQ(BrightPixelsInVideoArea(window), 0) << "the old picture went with its graph";

  LoopbackSender next(port_, 1);
  ASSERT_TRUE(next.Start(otherClip_));
  EXPECT_TRUE(WaitUntil([&] { return ShowsVideo(window); }));
  EXPECT_EQ(window.Reception().session, 1);
}

TEST_F(ReceptionTest, OnlyTheFirstSenderHeardPlaysUntilThePipelineIsRebuilt) {
  LoopbackReceiver receiver(port_);
  ReceiverMainWindow& window = receiver.Window();
  auto first = std::make_unique<LoopbackSender>(port_, 1);
  ASSERT_TRUE(first->Start(clip_));
  ASSERT_TRUE(WaitUntil([&] { return window.Reception().session == 1; }));

  LoopbackSender second(port_, 2);
  ASSERT_TRUE(second.Start(otherClip_));
  Pause(std::chrono::milliseconds(2500));
  EXPECT_EQ(window.Reception().session, 1);
  EXPECT_EQ(window.Reception().builds, 1u);
  EXPECT_GT(window.Totals().receive.foreignSender, 0u);

  first.reset();
  EXPECT_TRUE(WaitUntil([&] { return window.Reception().session == 2; }));
  EXPECT_TRUE(WaitUntil([&] { return ShowsVideo(window); }));
}

// Trust on first use: the window names who signs what it plays, T trusts that sender (saved
// for the next start), and from then on an unsigned sender gets nothing in, not even after the
// trusted one has ended its broadcast.
TEST_F(ReceptionTest, TrustingTheSenderKeepsOthersOut) {
  QTemporaryDir config;
  const std::filesystem::path file =
      std::filesystem::path(config.path().toStdString()) / "vantorel" / "trusted-senders";
  LoopbackReceiver receiver(port_, {}, LoopbackReceiver::Pictures::kLibrary, {}, file);
  ReceiverMainWindow& window = receiver.Window();
  std::array<std::uint8_t, protocol::kSeedSize> seed{};
  seed.fill(9);
  const protocol::SigningKey key = protocol::SigningKey::FromSeed(seed);
  const QString fingerprint = QString::fromStdString(key.FingerprintOf().Text());
  auto trusted = std::make_unique<LoopbackSender>(port_, 1, key);
  ASSERT_TRUE(trusted->Start(clip_));
  ASSERT_TRUE(WaitUntil([&] { return ShowsVideo(window) && window.Reception().fingerprint; }));
  QTest::keyClick(&window, Qt::Key_I);
  EXPECT_TRUE(window.Video().StatusText().contains(QStringLiteral("Signed by ") + fingerprint))
      << window.Video().StatusText().toStdString();
  QTest::keyClick(&window, Qt::Key_I);

  QTest::keyClick(&window, Qt::Key_T);
  EXPECT_TRUE(window.Reception().trustedOnly);
  const auto saved = profile::LoadTrustedSenders(file);
  ASSERT_TRUE(saved.value && saved.value->size() == 1) << saved.error;
  EXPECT_EQ((*saved.value)[0].fingerprint, key.FingerprintOf());
  EXPECT_TRUE(window.Video().StatusText().contains(QStringLiteral("Only trusted senders")));
  ASSERT_TRUE(WaitUntil([&] { return ShowsVideo(window); }));

  LoopbackSender stranger(port_, 2);
  ASSERT_TRUE(stranger.Start(otherClip_));
  trusted.reset();  // its signed end of broadcast
  ASSERT_TRUE(WaitUntil([&] { return window.Totals().endOfBroadcastHandled > 0; }));
  Pause(std::chrono::milliseconds(2500));
  EXPECT_FALSE(window.Reception().sender);
  EXPECT_EQ(BrightPixelsInVideoArea(window), 0);
  EXPECT_GT(window.Totals().trust.unsignedDropped, 0u);
}

}  // namespace
}  // namespace vantorel::receiver::app
