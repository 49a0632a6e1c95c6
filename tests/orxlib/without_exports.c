/* A library named liborxlib.so that lacks the Orx entry points, placed
 * beside libmorvel2.so to see the driver report a missing entry point. */
int orx_without_exports(void) { return 0; }
