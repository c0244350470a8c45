// A library signed like the engine component that is no engine: it exports no brevianOpcode.
// The loader must refuse it after the signature check has passed.
extern "C" __declspec(dllexport) int notAnEngine() {
    return 0;
}
