// Interactive selection of the objects a dimension command works on.
#include "src/selected.h"

#include "host/checked.h"

static const char kSourceName[] = UF_SOURCE_NAME("selected");

int select_objects(UF_UI_mask_t* mask, int num_triples, int* count_obj, tag_t** objects) {
  char message_sel[] = "Select Objects";
  UF_UI_selection_options_t opts;
  opts.num_mask_triples = num_triples;
  opts.mask_triples = mask;
  opts.scope = UF_UI_SEL_SCOPE_WORK_PART;
  opts.other_options = 0;
  opts.reserved = 0;
  int response = 0;  // not read: only the count tells whether anything was chosen
  // clang-format off
  return CHECKED(UF_UI_select_by_class(message_sel,&opts,&response,count_obj,objects));
  // clang-format on
}
