// The main menu, the dimension command driver and the frame box command, and
// the result dialog, which the debug build of the search shows too.
//
// [SECTION] Fixed text fields and the result dialog
// [SECTION] Frame box
// [SECTION] Dimension command driver
// [SECTION] Main menu
//
// The three checked calls of this file are reported with their line numbers,
// and reports are compared across builds and releases: keep them on the
// lines they are on (the tests read the lines back from the reports).
#include "src/Main.h"

#include <cstddef>
#include <cstring>

#include "host/checked.h"
#include "platform/winplat.h"
#include "src/get_zarvel.h"
#include "src/result_dialog.h"
#include "src/ruled.h"
#include "src/selected.h"

static const char kSourceName[] = UF_SOURCE_NAME("Main");

//-----------------------------------------------------------------------------
// [SECTION] Fixed text fields and the result dialog
//-----------------------------------------------------------------------------

// The host reads menu items and dialog labels from fixed-width fields; a text
// that does not fit (in code page 1251 bytes, terminator included) is a build
// error rather than a cut label.
template <std::size_t N, std::size_t M>
static void set_field(char (&field)[N], const char (&text)[M]) {
  static_assert(M <= N, "text does not fit its field");
  std::memset(field, 0, N);
  std::memcpy(field, text, M);
}

// The values are not read back: the dialog only shows them. The host takes
// the labels as fields it may write, so it gets a copy, zero-filled to the
// end of each field as the constants are: the bytes it reads are the same
// whichever command shows the dialog.
void show_dimensions(double* values, int count) {
  char menu[kResultItems][UF_UI_LABEL_SIZE];
  std::memcpy(menu, kResultLabels, sizeof menu);
  int default_int[kResultItems] = {1, 1, 1, 1};
  int var_type[kResultItems] = {1, 1, 1, 1};
  uc1608(kResultTitle, menu, count, default_int, values, var_type);
}

//-----------------------------------------------------------------------------
// [SECTION] Frame box
//-----------------------------------------------------------------------------

void frame_box(tag_t object, double* extents) {
  double box[6];
  if (UF_MODL_ask_bounding_box(object, box) != 0) {
    // The host wrote nothing meaningful into box: show zeros, draw nothing.
    extents[0] = extents[1] = extents[2] = 0.0;
    return;
  }
  const double x0 = box[0], y0 = box[1], z0 = box[2];
  const double x1 = box[3], y1 = box[4], z1 = box[5];
  // Absolute differences: the host may give either corner first.
  extents[0] = x0 > x1 ? x0 - x1 : x1 - x0;
  extents[1] = y0 > y1 ? y0 - y1 : y1 - y0;
  extents[2] = z0 > z1 ? z0 - z1 : z1 - z0;

  // Three edges from each of the two corners, first from the corner the host
  // gave first, each time along X, then Y, then Z. The order gives the lines
  // their tags, which a run's transcript and the saved part show, and differs
  // from the one the extents command draws its corners in. A flat box still
  // gets all six, some of zero length. The lines and the two points stay in
  // the part, after the undo mark of the command.
  draw_box_edges(&box[0], &box[3], kAxesXYZ);
  draw_box_edges(&box[3], &box[0], kAxesXYZ);

  tag_t pset = NULL_TAG;
  // clang-format off
  CHECKED(UF_CURVE_create_point(&box[3], &pset));
  CHECKED(UF_CURVE_create_point(&box[0], &pset));
  // clang-format on
}

//-----------------------------------------------------------------------------
// [SECTION] Dimension command driver
//-----------------------------------------------------------------------------

void dimension_command(int mode) {
  // Meshes, sheets and solids: whatever has a body to measure.
  UF_UI_mask_t select_mask[3] = {
      {UF_mesh_body_type, -1, 0}, {UF_sheet_body_type, -1, 0}, {UF_solid_body_type, -1, 0}};
  TextBuffer message_str;

  // The mark comes before everything the command adds, so one undo takes the
  // whole command back.
  UF_UNDO_mark_id_t Undo = 0;
  // clang-format off
  CHECKED(UF_UNDO_set_mark(UF_UNDO_visible, NULL, &Undo));
  // clang-format on

  int selected_count = 0;
  tag_t* sel1_tags = NULL;
  // A failed selection is reported inside; whatever it left in the count and
  // the array, nothing was chosen.
  if (select_objects(select_mask, 3, &selected_count, &sel1_tags) != 0) selected_count = 0;
  if (selected_count <= 0 || sel1_tags == NULL) {
    message_str = "Нет выбранных объектов...";
    MessageBoxA(NULL, message_str, "Неувязочка", MB_OK);
    return;
  }

  for (int i = 0; i < selected_count; ++i) UF_DISP_set_highlight(sel1_tags[i], 0);

  double extents[4] = {0.0, 0.0, 0.0, 0.0};
  switch (mode) {
    case 1:
      compute_extents(sel1_tags, selected_count, extents, kExtentsTolerance, true);
      extents[3] = dimensions_sum(extents);
      show_dimensions(extents, 4);
      break;
    case 2:
      frame_box(sel1_tags[0], extents);
      show_dimensions(extents, 3);
      break;
    case 3:
      search_min_dimensions(sel1_tags, selected_count);
      break;
    default:
      break;
  }
}

//-----------------------------------------------------------------------------
// [SECTION] Main menu
//-----------------------------------------------------------------------------

// The codes uc1603 returns for the menu's four items, in their order.
enum MenuCode {
  kExtentsItem = UF_UI_MENU_FIRST_ITEM,
  kFrameItem,
  kSearchItem,
  kAboutItem,
};

void main_menu() {
  char items[4][UF_UI_MENU_ITEM_SIZE];
  set_field(items[0], "Габарит объекта(ов)");
  set_field(items[1], "Габариты по рамке");
  set_field(items[2], "Угол поворота(min габариты)");
  set_field(items[3], "____О программе____");

  for (;;) {
    const int code = uc1603("Габариты", 0, items, 4);
    // Cancel, OK and the code just below the first item leave the menu.
    if (code == UF_UI_CANCEL || code == UF_UI_OK || code == UF_UI_MENU_FIRST_ITEM - 1) break;
    if (code >= kExtentsItem && code <= kSearchItem) {
      dimension_command(code - kExtentsItem + 1);  // command modes 1, 2, 3
    } else if (code == kAboutItem) {
      tell_user(
          "Программа для вычисления габаритов одной или нескольких деталей.\n"
          "Автор: Zarvel Руководитель: Zarvel");
    }
  }
}
