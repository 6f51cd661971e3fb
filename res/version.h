// The stub's file version; the agent log reads it back from the version resource.
#define Z_VERSION_COMMAS 1,0,0,1
#define Z_VERSION_TEXT "1.0.0.1"
