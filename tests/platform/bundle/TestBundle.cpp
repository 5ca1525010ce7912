// A tiny loadable module for the bundle tests.
extern "C" __attribute__((visibility("default"))) int sxTestBundleAnswer(int x) {
    return x * 2 + 1;
}
