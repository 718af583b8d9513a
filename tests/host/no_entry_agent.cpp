// A shared object that is not an extension agent: it exports none of the entry points.
extern "C" int NotAnExtensionAgent() { return 0; }
