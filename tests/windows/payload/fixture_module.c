/* The payload test module carries only resources; this unit gives the linker an object to build it from. */
int zelPayloadFixtureMarker = 1;
