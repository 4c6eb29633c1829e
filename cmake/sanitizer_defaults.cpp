// Runtime defaults for the programs and tests of an address-sanitizer build, so that they
// report only leaks of ours, with or without the suite's suppression file.

#include <sanitizer/lsan_interface.h>

extern "C" void __asan_init();

// What shared libraries allocate while the loader runs their initialisers lives as long as the
// process and is never ours: our code is linked statically and runs later. (GLib's initialiser
// allocates the first block of its quark table and drops it, unfreed, when the table grows, as
// it does in every program that starts GStreamer; GLib has no frame pointers, so the fast
// unwinder cannot name where that block came from.) The leak checker looks away from the
// first initialiser the loader runs, in the executable's pre-initialisation array, until the
// executable's own first initialiser, which runs after every library's.
namespace {

// The sanitizer's runtime may not have run its own pre-initialiser yet; starting it twice is
// harmless.
void IgnoreLibraryInitialisers() {
  __asan_init();
  __lsan_disable();
}

__attribute__((constructor(101))) void WatchFromHere() {
  __lsan_enable();
}

}  // namespace

__attribute__((section(".preinit_array"),
               used)) void (*const kIgnoreLibraryInitialisers)() = &IgnoreLibraryInitialisers;

#ifdef VANTOREL_SANITIZED_PROGRAM
// A program records whole allocation stacks (the fast unwinder stops in libraries built
// without frame pointers), so that the suppressions below can name their function.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0";
}
#endif

// On a virtual X server the toolkit's D-Bus thread leaves the buffer that libdbus reads its
// messages into when the program ends.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:_dbus_read\n";
}
