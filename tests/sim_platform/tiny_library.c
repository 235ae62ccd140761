/* The smallest Windows library: an entry point and nothing else, linked with a version resource so the tests have a real PE file to read it from. */
int __stdcall TinyEntry(void* instance, unsigned reason, void* reserved) { (void)instance; (void)reason; (void)reserved; return 1; }
