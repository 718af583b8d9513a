// A small shared object that the build stamps with a package note, read back by the tests.
extern "C" int CxVersionProbe() { return 42; }
