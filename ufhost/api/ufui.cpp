// libufui: the host's user-interface calls. Each converts the plug-in's code
// page 1251 texts to UTF-8, asks the session's user interface and hands the
// answer back in the plug-in's terms, through the edge (edge.h).
//
// Sections:
//   [SECTION] Helpers
//   [SECTION] Listing window
//   [SECTION] Menu and value dialog
//   [SECTION] Selection and highlight
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "host/uf.h"
#include "ufhost/api/edge.h"
#include "ufhost/base/cp1251.h"
#include "ufhost/session/selection.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::host_call;
using ufhost::session;
using ufhost::Marks;

// [SECTION] Helpers

// The text of a fixed field: up to its first zero, never beyond `width`
// bytes, converted to UTF-8.
std::string field_text(const char* field, std::size_t width) {
  std::size_t n = 0;
  while (n < width && field[n] != '\0') ++n;
  return ufhost::cp1251_to_utf8(std::string(field, n));
}

std::string text_in(const char* text) {
  return text == nullptr ? std::string() : ufhost::cp1251_to_utf8(text);
}

// A menu whose calls all fail (a --fail rule without @N on uc1603, say)
// would be shown again by the plug-in for ever; after this many failures in
// a row the menu is answered with cancel instead, so the run ends.
constexpr int kMaxFailedMenus = 1000;

}  // namespace

// [SECTION] Listing window

int UF_UI_open_listing_window(void) {
  return host_call("UF_UI_open_listing_window", Marks::kOwnPieces, [] {
    return ufhost::front_end().open_listing() ? 0 : ufhost::kErrListingWindow;
  });
}

int UF_UI_write_listing_window(const char* text) {
  return host_call("UF_UI_write_listing_window", Marks::kOwnPieces, [&] {
    if (text == nullptr) return ufhost::kErrBadArgument;
    ufhost::front_end().write_listing(ufhost::cp1251_to_utf8(text));
    return 0;
  });
}

// [SECTION] Menu and value dialog

int uc1603(const char* title, int default_item, char items[][UF_UI_MENU_ITEM_SIZE],
           int num_items) {
  bool answered = false;  // the code is the user's answer, not the host's failure
  const int code = host_call("uc1603", Marks::kOwnPieces, [&] {
    if (num_items < 0 || (num_items > 0 && items == nullptr)) return ufhost::kErrBadArgument;
    ufhost::MenuRequest request;
    request.title = text_in(title);
    request.default_item = default_item;
    for (int i = 0; i < num_items; ++i)
      request.items.push_back(field_text(items[i], UF_UI_MENU_ITEM_SIZE));
    const int chosen = ufhost::front_end().menu(request);
    answered = true;
    return chosen;
  });
  ufhost::Session& s = session();
  if (answered) {
    s.failed_menus = 0;
    return code;
  }
  if (++s.failed_menus < kMaxFailedMenus) return code;
  std::fflush(stdout);
  std::cerr << "ufhost: uc1603 failed " << s.failed_menus
            << " times in a row; the menu is cancelled so that the run can end" << std::endl;
  s.failed_menus = 0;
  return UF_UI_CANCEL;
}

int uc1608(const char* title, char labels[][UF_UI_LABEL_SIZE], int count, int* default_int,
           double* values, int* var_type) {
  return host_call("uc1608", Marks::kOwnPieces, [&] {
    if (count < 0) return ufhost::kErrBadArgument;
    if (count > 0 && (labels == nullptr || default_int == nullptr || values == nullptr ||
                      var_type == nullptr))
      return ufhost::kErrBadArgument;
    for (int i = 0; i < count; ++i)
      if (var_type[i] != 1) return ufhost::kErrBadArgument;  // only real fields here
    ufhost::DialogRequest request;
    request.title = text_in(title);
    for (int i = 0; i < count; ++i) {
      request.labels.push_back(field_text(labels[i], UF_UI_LABEL_SIZE));
      request.values.push_back(values[i]);
    }
    std::vector<double> edited;
    const int code = ufhost::front_end().dialog(request, &edited);
    if (code == UF_UI_OK && edited.size() == static_cast<std::size_t>(count))
      for (int i = 0; i < count; ++i) values[i] = edited[i];
    return code;
  });
}

// [SECTION] Selection and highlight

int UF_UI_select_by_class(const char* message, UF_UI_selection_options_t* options,
                          int* response, int* count, tag_t** objects) {
  if (response != nullptr) *response = UF_UI_CANCEL;
  if (count != nullptr) *count = 0;
  if (objects != nullptr) *objects = nullptr;
  return host_call("UF_UI_select_by_class", Marks::kOwnPieces, [&] {
    if (options == nullptr || response == nullptr || count == nullptr || objects == nullptr)
      return ufhost::kErrBadArgument;
    if (options->num_mask_triples < 0 ||
        (options->num_mask_triples > 0 && options->mask_triples == nullptr) ||
        options->scope != UF_UI_SEL_SCOPE_WORK_PART)
      return ufhost::kErrBadArgument;
    ufhost::Session& s = session();
    ufhost::SelectRequest request;
    request.prompt = text_in(message);
    request.scope = options->scope;
    std::vector<ufhost::SelectionMask> masks;
    for (int i = 0; i < options->num_mask_triples; ++i) {
      const UF_UI_mask_t& m = options->mask_triples[i];
      masks.push_back({m.object_type, m.object_subtype, m.solid_type});
      request.masks.push_back({m.object_type, m.object_subtype, m.solid_type});
    }
    request.objects = ufhost::offered_objects(s.model, masks);

    std::vector<ufhost::Tag> chosen;
    const int answer = ufhost::front_end().select(request, &chosen);
    ufhost::keep_selection(s, chosen);
    *response = answer;
    *count = static_cast<int>(s.selection.size());
    *objects = s.selection.empty() ? nullptr : s.selection.data();
    return 0;
  });
}

int UF_DISP_set_highlight(tag_t object, int flag) {
  return host_call("UF_DISP_set_highlight", Marks::kOwnPieces, [&] {
    ufhost::Session& s = session();
    if (s.model.find(object) == nullptr) return ufhost::kErrBadTag;
    if (flag != 0 && flag != 1) return ufhost::kErrBadArgument;
    ufhost::set_highlight(s, object, flag == 1, "UF_DISP_set_highlight");
    return 0;
  });
}
