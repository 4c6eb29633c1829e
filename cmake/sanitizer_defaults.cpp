// Runtime defaults for the programs of an address-sanitizer build, so that a program run by
// hand, without the test suite's suppression file, reports only leaks of ours.
//
// GLib's library constructor allocates the first block of its quark table, and GLib drops that
// block (without freeing it, so that lookups stay lock-free) when the table grows, as it does
// in every program that starts GStreamer. Allocations made while the loader initialises shared
// libraries (`_dl_init`) live as long as the process and are never ours: our code is linked
// statically and runs later. GLib is built without frame pointers, so only the slow unwinder
// records the stack up to `_dl_init`.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0";
}

extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:_dl_init\n";
}
