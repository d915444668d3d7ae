// The window test programs read the leak suppressions of tests/support/lsan-qt.supp under LeakSanitizer (the
// build names the file in TESSEL_LSAN_SUPPRESSIONS); options given in LSAN_OPTIONS still apply after these.
#if defined(__SANITIZE_ADDRESS__) && defined(TESSEL_LSAN_SUPPRESSIONS)
extern "C" const char* __lsan_default_options() {
    return "suppressions=" TESSEL_LSAN_SUPPRESSIONS;
}
#endif
