// Typed events on Qt's event queue: each event type has an event number of its own, so that the
// posted events of one type can be removed on their own, and a QObject takes them in event().
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <memory>
#include <utility>

#include "platform/gui/mailbox.h"

namespace vantorel::gui {

namespace detail {
// The hand-over of a posted event between threads, declared to ThreadSanitizer, which cannot
// see the toolkit's queue lock: a release when posted, an acquire before it is read or freed.
// Nothing in other builds.
void ReleaseToTarget(const void* event);
void AcquireFromPoster(const void* event);
}  // namespace detail

template <class Event>
class PostedEvent : public QEvent {
 public:
  explicit PostedEvent(Event event) : QEvent(Type()), event_(std::move(event)) {}
  ~PostedEvent() override { detail::AcquireFromPoster(this); }

  // The event number of this event type, the same for every poster and receiver.
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  // The event when `e` carries one of this type, else null. On the receiving thread.
  static Event* From(QEvent* e) {
    if (e->type() != Type()) return nullptr;
    auto* posted = static_cast<PostedEvent*>(e);
    detail::AcquireFromPoster(posted);
    return &posted->event_;
  }

 private:
  Event event_;
};

// Posts to a QObject living on the receiving thread; safe to call from any thread. The events
// still queued when the target is deleted are dropped with it.
template <class Event>
class QtMailbox : public Mailbox<Event> {
 public:
  explicit QtMailbox(QObject* target) : target_(target) {}

  bool Post(Event event) override {
    if (target_ == nullptr) return false;
    auto posted = std::make_unique<PostedEvent<Event>>(std::move(event));
    detail::ReleaseToTarget(posted.get());
    QCoreApplication::postEvent(target_, posted.release());
    return true;
  }

  // Drops every event of this type still queued for the target. On the target's thread.
  void RemovePosted() {
    if (target_ != nullptr) {
      QCoreApplication::removePostedEvents(target_, PostedEvent<Event>::Type());
    }
  }

 private:
  QObject* target_;
};

}  // namespace vantorel::gui
