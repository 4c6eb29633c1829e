// How one thread hands typed events to another: a window's thread, a worker's queue, a test.
// The event type says what happened and carries its data (a std::variant when a receiver takes
// several kinds); whoever holds an event owns what it carries, so a dropped event frees it.
// This header is free of Qt so that portable and media code can post without the toolkit.
#pragma once

namespace vantorel::gui {

template <class Event>
class Mailbox {
 public:
  virtual ~Mailbox() = default;
  // Queues the event for the receiving thread; callable from any thread. False when it could
  // not be queued (it is then dropped, with what it carries).
  virtual bool Post(Event event) = 0;
};

// The overload set of several lambdas, for std::visit over an event variant.
template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace vantorel::gui
