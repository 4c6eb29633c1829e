#include "platform/gui/quit_on_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <optional>

namespace vantorel::gui {
namespace {

// The handler may run on any thread that does not block the signal (the toolkit has started
// threads of its own by now), so it does no more than count the signal on an eventfd, which
// wakes the event loop whichever event dispatcher runs it.
std::atomic<int> gWakeupFd{-1};
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void OnSignal(int signal) {
  const int savedErrno = errno;
  if (signal == SIGINT) gInterrupted.store(true);
  if (const int fd = gWakeupFd.load(); fd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
  }
  errno = savedErrno;
}

constexpr int kInterruptedExitCode = 128 + SIGINT;

}  // namespace

// The eventfd and the event loop's watch on it.
class QuitOnSignal::Wakeup {
 public:
  explicit Wakeup(std::function<void()> quit) : quit_(std::move(quit)) {}
  ~Wakeup() {
    if (fd_ < 0) return;
    gWakeupFd.store(-1);
    notifier_.reset();
    close(fd_);
  }
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  // False when there is no eventfd to watch.
  bool Watch() {
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0) return false;
    notifier_.emplace(fd_, QSocketNotifier::Read);
    QObject::connect(&*notifier_, &QSocketNotifier::activated, &*notifier_, [this] {
      std::uint64_t received = 0;
      if (read(fd_, &received, sizeof received) != sizeof received) return;
      for (; received > 0; --received) quit_();
    });
    gWakeupFd.store(fd_);
    return true;
  }

 private:
  std::function<void()> quit_;
  int fd_ = -1;
  std::optional<QSocketNotifier> notifier_;
};

QuitOnSignal::QuitOnSignal(std::function<void()> quit)
    : wakeup_(std::make_unique<Wakeup>(std::move(quit))) {
  // Without a wakeup the signals keep their default action and end the program at once.
  if (!wakeup_->Watch()) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() = default;

int QuitOnSignal::ExitCode(int normal) {
  return gInterrupted.load() ? kInterruptedExitCode : normal;
}

}  // namespace vantorel::gui
