#include "platform/gui/qt_window_message.h"

#include <mutex>

namespace vantorel::gui {

namespace {
// Orders a message's hand-over between the posting thread and the window's thread in a way
// that ThreadSanitizer can see (the toolkit's own queue locking happens in uninstrumented code).
std::mutex gHandOver;
}  // namespace

WindowMessageEvent::WindowMessageEvent(WindowMessage message)
    : QEvent(TypeFor(message.message)), message_(std::move(message)) {}

WindowMessageEvent::~WindowMessageEvent() {
  std::lock_guard guard(gHandOver);
}

WindowMessage& WindowMessageEvent::Message() {
  std::lock_guard guard(gHandOver);
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
  std::lock_guard guard(gHandOver);
  QCoreApplication::postEvent(target_, new WindowMessageEvent(std::move(message)));
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
