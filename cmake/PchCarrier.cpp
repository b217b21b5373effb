// Compiled only for the precompiled header its target carries for others to reuse.
