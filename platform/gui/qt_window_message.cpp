#include "platform/gui/qt_window_message.h"

#include <memory>

#if defined(__SANITIZE_THREAD__)
#define VANTOREL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANTOREL_THREAD_SANITIZER 1
#endif
#endif

#ifdef VANTOREL_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace vantorel::gui {

namespace {
// The toolkit's posted-event queue locks in code that ThreadSanitizer does not instrument, so
// a message's hand-over from the posting thread to the window's thread is declared to it: a
// release when the event is posted, an acquire before the window reads or frees it. In other
// builds both are nothing; the queue's own lock already orders the two threads.
void ReleaseToWindow([[maybe_unused]] WindowMessageEvent* event) {
#ifdef VANTOREL_THREAD_SANITIZER
  __tsan_release(event);
#endif
}

void AcquireFromPoster([[maybe_unused]] WindowMessageEvent* event) {
#ifdef VANTOREL_THREAD_SANITIZER
  __tsan_acquire(event);
#endif
}
}  // namespace

WindowMessageEvent::WindowMessageEvent(WindowMessage message)
    : QEvent(TypeFor(message.message)), message_(std::move(message)) {}

WindowMessageEvent::~WindowMessageEvent() {
  AcquireFromPoster(this);
}

WindowMessage& WindowMessageEvent::Message() {
  AcquireFromPoster(this);
  return message_;
}

QEvent::Type WindowMessageEvent::TypeFor(std::uint32_t message) {
  return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message));
}

bool WindowMessageEvent::IsWindowMessage(const QEvent* event) {
  return event->type() >= QEvent::User && event->type() <= QEvent::MaxUser &&
         dynamic_cast<const WindowMessageEvent*>(event) != nullptr;
}

bool QtWindowHandle::Post(WindowMessage message) {
  if (target_ == nullptr || message.message > QEvent::MaxUser - QEvent::User) return false;
  auto event = std::make_unique<WindowMessageEvent>(std::move(message));
  ReleaseToWindow(event.get());
  QCoreApplication::postEvent(target_, event.release());
  return true;
}

std::intptr_t SendWindowMessage(QObject* target, WindowMessage message) {
  WindowMessageEvent event(std::move(message));
  QCoreApplication::sendEvent(target, &event);
  return event.result;
}

void RemovePostedMessages(QObject* target, std::uint32_t message) {
  QCoreApplication::removePostedEvents(target, WindowMessageEvent::TypeFor(message));
}

}  // namespace vantorel::gui
