// The sanitizers read these before the environment's options: a report ends the test program at
// once with a failing status, so no later assertion or clean exit can hide it.

extern "C" {

__attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return QUORVEL_ASAN_OPTIONS;
}

__attribute__((visibility("default"), used)) const char* __ubsan_default_options() {
    return QUORVEL_UBSAN_OPTIONS;
}

__attribute__((visibility("default"), used)) const char* __tsan_default_options() {
    return QUORVEL_TSAN_OPTIONS;
}

} // extern "C"
