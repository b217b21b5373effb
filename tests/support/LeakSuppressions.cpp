// Linked into every test. Under LeakSanitizer: fontconfig keeps its font caches until the
// process ends and never frees them. Only those are suppressed, so a leak in our own code still
// fails the test.

extern "C" const char *__lsan_default_suppressions();
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }
