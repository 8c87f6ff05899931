// A library without XSILoadPlugin: the host must pass over it.
extern "C" __attribute__((visibility("default"))) int NotAPluginValue() {
    return 42;
}
