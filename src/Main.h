// The main menu, the dimension command driver, the frame box command and
// the result dialog.
#pragma once

#include "host/uf.h"

// Shows the menu "Габариты" until the user leaves it.
void main_menu();

// One dimension command: mode 1 object extents, 2 frame box, 3 minimum
// dimension search. Sets a visible undo mark, lets the user select, and shows
// the result.
void dimension_command(int mode);

// Measures `object` by the host's axis-aligned box and draws the box as a
// frame of six lines and two points.
// Output:
//   extents  lengths along X, Y and Z (the first three of four doubles)
void frame_box(tag_t object, double* extents);

// Shows the result dialog "Габариты детали" with the first `count` values:
// 3, the lengths along X, Y and Z, or 4, the lengths and their sum
// (dimensions_sum in src/result_dialog.h).
void show_dimensions(double* values, int count);
