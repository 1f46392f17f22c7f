/* A small shared library that the DLL transport tests load. */
int SampleAdd(int a, int b) { return a + b; }

const char* SampleName(void) { return "sample"; }
