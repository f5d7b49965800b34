// The minimum-dimension search: the third menu command. Its parts (the
// vertex cloud, rotated extents, the angle search, the search log and the
// turning of model objects) are declared in src/ruled_internal.h for the
// tests and the benchmark.
#pragma once

#include "host/uf.h"

// The third menu command on the selected bodies.
void search_min_dimensions(const tag_t* objects, int n);
