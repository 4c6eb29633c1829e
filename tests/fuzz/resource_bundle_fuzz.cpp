// Any bytes given to the resource bundle check get a verdict: never a crash, a read outside the
// input, or a walk that does not end on a tree that loops back on itself.
#include <cstddef>
#include <cstdint>

#include "ui/skin/resource_bundle_check.h"

// Keeps the verdict from being optimised away.
volatile int g_fault = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_fault = static_cast<int>(vantorel::skin::CheckResourceBundle({data, size}));
  return 0;
}
