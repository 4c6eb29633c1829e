#include "receiver/reception_status.h"

#include <gtest/gtest.h>

namespace vantorel::receiver {
namespace {

using namespace std::chrono_literals;
using Clock = ReceptionStatus::Clock;

// One life of the status line: what a user sees, step by step, as a broadcast comes and goes.
TEST(ReceptionStatusTest, TellsWhatTheReceptionIsDoing) {
  ReceptionStatus status;
  const Clock::time_point t0{};
  EXPECT_EQ(status.Current(t0).kind, StatusKind::kWaiting);

  status.OnDatagrams("10.0.0.5:4000", t0 + 1s);
  EXPECT_EQ(status.Current(t0 + 1s), (StatusLine{StatusKind::kReceiving, "10.0.0.5:4000", 0}));
  status.OnDatagrams("10.0.0.5:4000", t0 + 4s);
  EXPECT_EQ(status.Current(t0 + 4s).kind, StatusKind::kReceiving);  // still within 4 s
  status.OnDatagrams("10.0.0.5:4000", t0 + 5s);
  EXPECT_EQ(status.Current(t0 + 5s).kind, StatusKind::kNone);  // the picture speaks
  status.SetHover(true);
  EXPECT_EQ(status.Current(t0 + 5s).kind, StatusKind::kReceiving);
  status.SetHover(false);

  status.SetAudioOnly(true);
  EXPECT_EQ(status.Current(t0 + 5s).kind, StatusKind::kAudioOnly);
  // Silence: counted in whole seconds from 2 s on; it goes when datagrams come back.
  EXPECT_EQ(status.Current(t0 + 6900ms).kind, StatusKind::kAudioOnly);
  EXPECT_EQ(status.Current(t0 + 8500ms), (StatusLine{StatusKind::kNoSignal, "", 3}));
  status.OnDatagrams("10.0.0.5:4000", t0 + 9s);
  EXPECT_EQ(status.Current(t0 + 9s).kind, StatusKind::kAudioOnly);

  status.OnEndOfBroadcast();
  EXPECT_EQ(status.Current(t0 + 20s).kind, StatusKind::kEnded);  // no "no signal" after an end
  status.OnDatagrams("10.0.0.6:4000", t0 + 21s);
  EXPECT_EQ(status.Current(t0 + 21s), (StatusLine{StatusKind::kReceiving, "10.0.0.6:4000", 0}));

  status.OnSenderChanged("10.0.0.7:4000", t0 + 30s);
  EXPECT_EQ(status.Current(t0 + 30s), (StatusLine{StatusKind::kReceiving, "10.0.0.7:4000", 0}));
}

}  // namespace
}  // namespace vantorel::receiver
