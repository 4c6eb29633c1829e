#include "platform/gui/qt_mailbox.h"

#include <gtest/gtest.h>

#include <QThread>
#include <array>
#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

// Buffers travel in events as new[] arrays. Replacing the array delete of this test program
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

// What the tests post: a number and a buffer it owns; and an event of another type.
struct Carried {
  int number = 0;
  std::unique_ptr<std::uint8_t[]> buffer;
};
struct Other {
  std::unique_ptr<std::uint8_t[]> buffer;
};

// The receiving side: records every event it takes, and on which thread.
class RecordingWindow : public QObject {
 public:
  struct Handled {
    int number;              // -1 for Other
    std::uint8_t firstByte;  // of the buffer, 0 without one
    bool onOwnThread;
  };

  bool event(QEvent* e) override {
    if (Carried* c = PostedEvent<Carried>::From(e)) {
      handled.push_back({c->number, c->buffer ? c->buffer[0] : std::uint8_t{0},
                         QThread::currentThread() == thread()});
      return true;
    }
    if (Other* o = PostedEvent<Other>::From(e)) {
      handled.push_back(
          {-1, o->buffer ? o->buffer[0] : std::uint8_t{0}, QThread::currentThread() == thread()});
      return true;
    }
    return QObject::event(e);
  }

  std::vector<Handled> handled;
};

class QtMailboxTest : public ::testing::Test {
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
  QtMailbox<Carried> carried_{&window_};
  QtMailbox<Other> other_{&window_};
};

TEST_F(QtMailboxTest, EventsPostedFromAnotherThreadArriveInOrderOnTheTargetThread) {
  constexpr int kEvents = 200;
  std::thread poster([&] {
    for (int i = 0; i < kEvents; ++i) {
      auto buffer = std::make_unique<std::uint8_t[]>(4);
      buffer[0] = static_cast<std::uint8_t>(i);
      EXPECT_TRUE(carried_.Post(Carried{i, std::move(buffer)}));
    }
  });
  poster.join();
  EXPECT_TRUE(window_.handled.empty());  // nothing runs before the target's thread takes it
  Deliver();
  ASSERT_EQ(window_.handled.size(), static_cast<std::size_t>(kEvents));
  for (int i = 0; i < kEvents; ++i) {
    const auto& h = window_.handled[i];
    EXPECT_EQ(h.number, i);
    EXPECT_EQ(h.firstByte, static_cast<std::uint8_t>(i));
    EXPECT_TRUE(h.onOwnThread);
  }
}

TEST_F(QtMailboxTest, HandledEventFreesItsBuffer) {
  WatchedBuffer w = WatchedBuffer::Make(0x11, 0);
  carried_.Post(Carried{16, std::move(w.buffer)});
  EXPECT_FALSE(Freed(0));
  Deliver();
  ASSERT_EQ(window_.handled.size(), 1u);
  EXPECT_EQ(window_.handled[0].firstByte, 0x11);
  EXPECT_TRUE(Freed(0));
}

TEST_F(QtMailboxTest, RemovePostedFreesOnlyEventsOfThatType) {
  std::vector<WatchedBuffer> carried, others;
  for (std::size_t i = 0; i < 3; ++i) carried.push_back(WatchedBuffer::Make(1, i));
  for (std::size_t i = 0; i < 2; ++i) others.push_back(WatchedBuffer::Make(2, 3 + i));
  carried_.Post(Carried{1, std::move(carried[0].buffer)});
  other_.Post(Other{std::move(others[0].buffer)});
  carried_.Post(Carried{3, std::move(carried[1].buffer)});
  other_.Post(Other{std::move(others[1].buffer)});
  carried_.Post(Carried{5, std::move(carried[2].buffer)});

  carried_.RemovePosted();
  for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(Freed(i)) << "carried " << i;
  for (std::size_t i = 3; i < 5; ++i) EXPECT_FALSE(Freed(i)) << "other " << i;

  Deliver();
  ASSERT_EQ(window_.handled.size(), 2u);
  EXPECT_EQ(window_.handled[0].number, -1);
  EXPECT_EQ(window_.handled[0].firstByte, 2);
  EXPECT_EQ(window_.handled[1].number, -1);
  for (std::size_t i = 3; i < 5; ++i) EXPECT_TRUE(Freed(i));
}

TEST_F(QtMailboxTest, EventsForADeletedTargetAreFreed) {
  auto doomed = std::make_unique<RecordingWindow>();
  QtMailbox<Carried> mailbox(doomed.get());
  WatchedBuffer w = WatchedBuffer::Make(3, 5);
  mailbox.Post(Carried{1, std::move(w.buffer)});
  doomed.reset();
  EXPECT_TRUE(Freed(5));
}

TEST_F(QtMailboxTest, EventThatCannotBePostedIsFreed) {
  QtMailbox<Carried> nowhere(nullptr);
  WatchedBuffer v = WatchedBuffer::Make(4, 7);
  EXPECT_FALSE(nowhere.Post(Carried{0, std::move(v.buffer)}));
  EXPECT_TRUE(Freed(7));
  Deliver();
  EXPECT_TRUE(window_.handled.empty());
}

TEST_F(QtMailboxTest, EachEventTypeHasItsOwnEventNumber) {
  EXPECT_NE(PostedEvent<Carried>::Type(), PostedEvent<Other>::Type());
  EXPECT_GE(PostedEvent<Carried>::Type(), QEvent::User);
  QEvent plain(PostedEvent<Carried>::Type() == QEvent::User ? QEvent::Timer : QEvent::User);
  EXPECT_EQ(PostedEvent<Carried>::From(&plain), nullptr);
  PostedEvent<Carried> carried(Carried{7, nullptr});
  ASSERT_NE(PostedEvent<Carried>::From(&carried), nullptr);
  EXPECT_EQ(PostedEvent<Carried>::From(&carried)->number, 7);
  EXPECT_EQ(PostedEvent<Other>::From(&carried), nullptr);
}

}  // namespace
}  // namespace vantorel::gui
