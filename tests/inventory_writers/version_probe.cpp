// A shared object that exists only to carry version strings for the writers' tests.
extern "C" int cx_writers_probe() { return 1; }
