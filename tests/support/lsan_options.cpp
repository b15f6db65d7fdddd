// LeakSanitizer's defaults for the test programs of the sanitizer build (an
// LSAN_OPTIONS in the environment still overrides each of them): the
// suppressions of tests/lsan.supp, and the full unwinder, which sees the Qt
// functions named there (Qt is built without frame pointers).
extern "C" const char* __lsan_default_options() {
    return "suppressions=" ORA_LSAN_SUPPRESSIONS ":print_suppressions=0:fast_unwind_on_malloc=0";
}
