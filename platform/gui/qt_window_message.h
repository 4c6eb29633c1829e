// Qt side of the window-message layer: a posted message is a QEvent whose type encodes the
// message number, so that the posted messages of one number can be removed on their own.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>

#include "platform/gui/window_message.h"

namespace vantorel::gui {

class WindowMessageEvent : public QEvent {
 public:
  explicit WindowMessageEvent(WindowMessage message);
  ~WindowMessageEvent() override;
  // Called on the window's thread.
  WindowMessage& Message();
  std::intptr_t result = 0;

  // Message numbers 0 to 64535 map onto the user event range.
  static QEvent::Type TypeFor(std::uint32_t message);
  static bool IsWindowMessage(const QEvent* event);

 private:
  WindowMessage message_;
};

// Posts to a QObject living on the window's thread; safe to call from any thread.
class QtWindowHandle : public WindowHandle {
 public:
  explicit QtWindowHandle(QObject* target) : target_(target) {}
  bool Post(WindowMessage message) override;

 private:
  QObject* target_;
};

// Delivers the message to the target at once, on the calling thread; returns the handler's
// result.
std::intptr_t SendWindowMessage(QObject* target, WindowMessage message);

// Removes every message with this number still queued for the target; their buffers are freed.
void RemovePostedMessages(QObject* target, std::uint32_t message);

}  // namespace vantorel::gui
