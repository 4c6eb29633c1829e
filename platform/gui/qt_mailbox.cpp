#include "platform/gui/qt_mailbox.h"

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

namespace vantorel::gui::detail {

// The toolkit's posted-event queue locks in code that ThreadSanitizer does not instrument; in
// other builds the queue's own lock already orders the two threads.
void ReleaseToTarget([[maybe_unused]] const void* event) {
#ifdef VANTOREL_THREAD_SANITIZER
  __tsan_release(const_cast<void*>(event));
#endif
}

void AcquireFromPoster([[maybe_unused]] const void* event) {
#ifdef VANTOREL_THREAD_SANITIZER
  __tsan_acquire(const_cast<void*>(event));
#endif
}

}  // namespace vantorel::gui::detail
