/* A module with no soname, loaded by the module lookup tests by its full path. */
int KubikLookupProbeValue(void) {
  return 42;
}
