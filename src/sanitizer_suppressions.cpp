// Linked into the program and the tests of the sanitizer build only. libmsi keeps a few small
// allocations of its own until the process ends; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libmsi.so\n"; }
