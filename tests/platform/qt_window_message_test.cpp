#include "platform/gui/qt_window_message.h"

#include <gtest/gtest.h>

#include <QThread>
#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

// Buffers travel in messages as new[] arrays. Replacing the array delete of this test program
// lets the tests see which buffers were freed, without touching the code under test.
namespace {

constexpr std::size_t kWatchSlots = 32;
std::array<std::atomic<const void*>, kWatchSlots> gWatched{};
std::array<std::atomic<bool>, kWatchSlots> gFreed{};

void NoteFree(const void* p) {
  if (p == nullptr) return;
  for (std::size_t i = 0; i < kWatchSlots; ++i) {
    if (gWatched[i].load() == p) {
      gFreed[i].store(true);
      gWatched[i].store(nullptr);
    }
  }
}

}  // namespace

// Array new and delete are replaced as a pair (on malloc and free), so that allocation and
// release always match, also for the address sanitizer.
void* operator new[](std::size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
  NoteFree(p);
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  NoteFree(p);
  std::free(p);
}

namespace vantorel::gui {
namespace {

// A buffer whose release the test can observe.
struct WatchedBuffer {
  static WatchedBuffer Make(std::uint8_t fill, std::size_t slot) {
    WatchedBuffer w;
    w.slot = slot;
    w.buffer = std::make_unique<std::uint8_t[]>(16);
    std::fill_n(w.buffer.get(), 16, fill);
    gFreed[slot].store(false);
    gWatched[slot].store(w.buffer.get());
    return w;
  }
  std::size_t slot = 0;
  std::unique_ptr<std::uint8_t[]> buffer;
};

bool Freed(std::size_t slot) {
  return gFreed[slot].load();
}

// The window side: records every window message it handles, and on which thread.
class RecordingWindow : public QObject {
 public:
  struct Handled {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::uint8_t firstByte;  // of the buffer, 0 without one
    bool onOwnThread;
  };

  bool event(QEvent* e) override {
    if (!WindowMessageEvent::IsWindowMessage(e)) return QObject::event(e);
    auto* w = static_cast<WindowMessageEvent*>(e);
    WindowMessage& m = w->Message();
    handled.push_back({m.message, m.wParam, m.lParam, m.buffer ? m.buffer[0] : std::uint8_t{0},
                       QThread::currentThread() == thread()});
    w->result = static_cast<std::intptr_t>(m.wParam) * 10 + m.lParam;
    return true;
  }

  std::vector<Handled> handled;
};

class QtWindowMessageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "vantorel_platform_tests";
      static char* argv[] = {name, nullptr};
      new QCoreApplication(argc, argv);  // lives until the program ends
    }
  }
  void Deliver() { QCoreApplication::sendPostedEvents(&window_); }

  RecordingWindow window_;
  QtWindowHandle handle_{&window_};
};

TEST_F(QtWindowMessageTest, MessagesPostedFromAnotherThreadArriveInOrderOnTheWindowThread) {
  constexpr int kMessages = 200;
  std::thread poster([&] {
    for (int i = 0; i < kMessages; ++i) {
      auto buffer = std::make_unique<std::uint8_t[]>(4);
      buffer[0] = static_cast<std::uint8_t>(i);
      EXPECT_TRUE(handle_.Post(
          WindowMessage{kMsgDatagram, static_cast<std::uintptr_t>(i), -i, std::move(buffer)}));
    }
  });
  poster.join();
  EXPECT_TRUE(window_.handled.empty());  // nothing runs before the window thread takes it
  Deliver();
  ASSERT_EQ(window_.handled.size(), static_cast<std::size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) {
    const auto& h = window_.handled[i];
    EXPECT_EQ(h.message, kMsgDatagram);
    EXPECT_EQ(h.wParam, static_cast<std::uintptr_t>(i));
    EXPECT_EQ(h.lParam, -i);
    EXPECT_EQ(h.firstByte, static_cast<std::uint8_t>(i));
    EXPECT_TRUE(h.onOwnThread);
  }
}

TEST_F(QtWindowMessageTest, HandledMessageFreesItsBuffer) {
  WatchedBuffer w = WatchedBuffer::Make(0x11, 0);
  handle_.Post(WindowMessage{kMsgDatagram, 16, 0, std::move(w.buffer)});
  EXPECT_FALSE(Freed(0));
  Deliver();
  ASSERT_EQ(window_.handled.size(), 1u);
  EXPECT_EQ(window_.handled[0].firstByte, 0x11);
  EXPECT_TRUE(Freed(0));
}

TEST_F(QtWindowMessageTest, RemovePostedMessagesFreesOnlyMessagesOfThatNumber) {
  std::vector<WatchedBuffer> datagrams, others;
  for (std::size_t i = 0; i < 3; ++i) datagrams.push_back(WatchedBuffer::Make(1, i));
  for (std::size_t i = 0; i < 2; ++i) others.push_back(WatchedBuffer::Make(2, 3 + i));
  handle_.Post(WindowMessage{kMsgDatagram, 1, 0, std::move(datagrams[0].buffer)});
  handle_.Post(WindowMessage{kMsgGraphEvent, 2, 0, std::move(others[0].buffer)});
  handle_.Post(WindowMessage{kMsgDatagram, 3, 0, std::move(datagrams[1].buffer)});
  handle_.Post(WindowMessage{kMsgEndOfBroadcast, 4, 0, std::move(others[1].buffer)});
  handle_.Post(WindowMessage{kMsgDatagram, 5, 0, std::move(datagrams[2].buffer)});

  RemovePostedMessages(&window_, kMsgDatagram);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(Freed(i)) << "datagram " << i;
  for (std::size_t i = 3; i < 5; ++i) EXPECT_FALSE(Freed(i)) << "other " << i;

  Deliver();
  ASSERT_EQ(window_.handled.size(), 2u);
  EXPECT_EQ(window_.handled[0].message, kMsgGraphEvent);
  EXPECT_EQ(window_.handled[0].firstByte, 2);
  EXPECT_EQ(window_.handled[1].message, kMsgEndOfBroadcast);
  for (std::size_t i = 3; i < 5; ++i) EXPECT_TRUE(Freed(i));
}

TEST_F(QtWindowMessageTest, MessagesForADeletedWindowAreFreed) {
  auto doomed = std::make_unique<RecordingWindow>();
  QtWindowHandle handle(doomed.get());
  WatchedBuffer w = WatchedBuffer::Make(3, 5);
  handle.Post(WindowMessage{kMsgDatagram, 1, 0, std::move(w.buffer)});
  doomed.reset();
  EXPECT_TRUE(Freed(5));
}

TEST_F(QtWindowMessageTest, MessageThatCannotBePostedIsFreed) {
  WatchedBuffer w = WatchedBuffer::Make(4, 6);
  const std::uint32_t tooLarge = static_cast<std::uint32_t>(QEvent::MaxUser - QEvent::User) + 1;
  EXPECT_FALSE(handle_.Post(WindowMessage{tooLarge, 0, 0, std::move(w.buffer)}));
  EXPECT_TRUE(Freed(6));

  QtWindowHandle nowhere(nullptr);
  WatchedBuffer v = WatchedBuffer::Make(4, 7);
  EXPECT_FALSE(nowhere.Post(WindowMessage{kMsgDatagram, 0, 0, std::move(v.buffer)}));
  EXPECT_TRUE(Freed(7));
  Deliver();
  EXPECT_TRUE(window_.handled.empty());
}

TEST_F(QtWindowMessageTest, SendWindowMessageIsHandledAtOnceAndReturnsTheResult) {
  EXPECT_EQ(SendWindowMessage(&window_, WindowMessage{WM_COMMAND, 1004, 7, nullptr}), 10047);
  ASSERT_EQ(window_.handled.size(), 1u);
  EXPECT_EQ(window_.handled[0].message, WM_COMMAND);
  EXPECT_TRUE(window_.handled[0].onOwnThread);
}

TEST_F(QtWindowMessageTest, SentMessageFreesItsBufferOnReturn) {
  WatchedBuffer w = WatchedBuffer::Make(9, 8);
  SendWindowMessage(&window_, WindowMessage{kMsgDatagram, 0, 0, std::move(w.buffer)});
  EXPECT_TRUE(Freed(8));
  EXPECT_EQ(window_.handled.at(0).firstByte, 9);
}

TEST_F(QtWindowMessageTest, OnlyWindowMessageEventsAreRecognised) {
  EXPECT_EQ(WindowMessageEvent::TypeFor(kMsgDatagram), QEvent::User + 0x40E);
  QEvent plain(WindowMessageEvent::TypeFor(kMsgDatagram));
  EXPECT_FALSE(WindowMessageEvent::IsWindowMessage(&plain));
  WindowMessageEvent message(WindowMessage{kMsgDatagram, 0, 0, nullptr});
  EXPECT_TRUE(WindowMessageEvent::IsWindowMessage(&message));
  QEvent system(QEvent::Timer);
  EXPECT_FALSE(WindowMessageEvent::IsWindowMessage(&system));
}

TEST(WindowMessageWordsTest, LongSplitsIntoLowAndHighWords) {
  constexpr std::uint32_t value = MakeLong(0x1234, 0xABCD);
  static_assert(value == 0xABCD1234u);
  EXPECT_EQ(LowWord(value), 0x1234);
  EXPECT_EQ(HighWord(value), 0xABCD);
  EXPECT_EQ(kMsgDatagram, 0x040Eu);
  EXPECT_EQ(kMsgEndOfBroadcast, 0x040Fu);
}

}  // namespace
}  // namespace vantorel::gui
