// A library with declarations beside it but without the entry point main: the host must refuse it.
extern "C" int NotTheEntryPoint(void) { return 0; }
