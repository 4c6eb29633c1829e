#include "platform/media/timing_log.h"

#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace vantorel::media {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct TimingFile {
  TimingFile() {
    if (const char* path = std::getenv("VANTOREL_TIMING_LOG"); path != nullptr && *path != '\0') {
      file.reset(std::fopen(path, "a"));
    }
  }
  std::mutex lock;
  std::unique_ptr<std::FILE, FileCloser> file;
};

TimingFile& Shared() {
  static TimingFile shared;
  return shared;
}

}  // namespace

void LogPresentation(const char* side, GstElement* element, bool video, std::int64_t start100ns,
                     GstClockTime runningTime) {
  TimingFile& t = Shared();
  if (!t.file || !GST_CLOCK_TIME_IS_VALID(runningTime)) return;
  GstClock* clock = gst_element_get_clock(element);
  if (clock == nullptr) return;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const auto monotonic = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  const std::uint64_t atNs = gst_element_get_base_time(element) + runningTime - now +
                             static_cast<std::uint64_t>(monotonic.count());
  std::lock_guard guard(t.lock);
  std::fprintf(t.file.get(),
               "present side=%s pid=%d stream=%s start=%" PRId64 " at-ns=%" PRIu64 "\n", side,
               static_cast<int>(getpid()), video ? "video" : "audio", start100ns, atNs);
  std::fflush(t.file.get());
}

}  // namespace vantorel::media
