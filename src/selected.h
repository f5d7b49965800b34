// Interactive selection of the objects a command works on.
#pragma once

#include "host/uf.h"

// Asks the user to pick objects matching any of the mask triples.
// Inputs:
//   mask        num_triples mask triples
// Outputs:
//   count_obj   number of chosen objects; left as it was when the host sets
//               nothing, so the caller sets it to 0 first
//   objects     host-owned array of the chosen tags, in the order picked
// Returns the checked status of the host's selection.
int select_objects(UF_UI_mask_t* mask, int num_triples, int* count_obj, tag_t** objects);
