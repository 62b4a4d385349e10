// fontconfig links its patterns through encoded offsets instead of pointers, so LeakSanitizer
// takes the patterns that pango's font map caches for the whole process for leaks. Only
// allocations made inside fontconfig are exempt.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
