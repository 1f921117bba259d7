// Wuffs' GIF decoder, compiled once for the decoding benchmark (its implementation mode, with
// only the modules a GIF decoder needs).
#define WUFFS_IMPLEMENTATION
#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include "wuffs-v0.4.c"
