// libufui: the host's user-interface calls. Each converts the plug-in's code
// page 1251 texts to UTF-8, asks the session's user interface and hands the
// answer back in the plug-in's terms. Nothing thrown leaves these functions.
//
// Sections:
//   [SECTION] Helpers
//   [SECTION] Listing window
//   [SECTION] Menu and value dialog
//   [SECTION] Selection and highlight
#include <Standard_Failure.hxx>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "host/uf.h"
#include "ufhost/core/cp1251.h"
#include "ufhost/core/geometry.h"
#include "ufhost/core/numbers.h"
#include "ufhost/core/session.h"
#include "ufhost/core/transcript.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::session;

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

// The code for an exception caught at an entry point; the reason goes to
// standard error, since the plug-in only sees the code.
int caught(const char* operation, int code, const char* what) {
  std::fflush(stdout);
  std::cerr << "ufhost: " << operation << ": " << what << std::endl;
  return code;
}

void record_highlight(ufhost::Tag tag, bool on, const char* by) {
  if (ufhost::session().ui)
    ufhost::record(session().ui->transcript, {{"kind", "highlight"},
                                              {"tag", tag},
                                              {"on", on},
                                              {"by", by}});
}

// "19.843135 x 20 x 42.29512".
std::string size_text(const ufhost::Object& object) {
  double box[6];
  if (!ufhost::exact_box(object, box)) return "";
  std::string out;
  for (int i = 0; i < 3; ++i) out += (i ? " x " : "") + ufhost::fixed6_trimmed(box[i + 3] - box[i]);
  return out;
}

// Subtype -1 and solid type 0 match any object of the type. Objects of this
// host have subtype 0 and no finer solid type, so any other solid type
// matches nothing.
bool matches(const UF_UI_mask_t& mask, const ufhost::Object& object) {
  return mask.object_type == ufhost::type_code(object.kind) &&
         (mask.object_subtype == -1 || mask.object_subtype == 0) && mask.solid_type == 0;
}

// The array handed out by the last selection; the plug-in may hold its
// address until the next selection, so it lives here.
std::vector<tag_t>& selection_array() {
  static std::vector<tag_t> tags;
  return tags;
}

// A menu whose calls all fail (a --fail rule without @N on uc1603, say)
// would be shown again by the plug-in for ever; after this many failures in
// a row the menu is answered with cancel instead, so the run ends.
constexpr int kMaxFailedMenus = 1000;

}  // namespace

// [SECTION] Listing window

int UF_UI_open_listing_window(void) {
  if (int rc = session().fail_point("UF_UI_open_listing_window")) return rc;
  try {
    return ufhost::front_end().open_listing() ? 0 : ufhost::kErrListingWindow;
  } catch (const Standard_Failure& e) {
    return caught("UF_UI_open_listing_window", ufhost::kErrInternal, e.GetMessageString());
  } catch (const std::exception& e) {
    return caught("UF_UI_open_listing_window", ufhost::kErrInternal, e.what());
  }
}

int UF_UI_write_listing_window(const char* text) {
  if (int rc = session().fail_point("UF_UI_write_listing_window")) return rc;
  if (text == nullptr) return ufhost::kErrBadArgument;
  try {
    ufhost::front_end().write_listing(ufhost::cp1251_to_utf8(text));
    return 0;
  } catch (const Standard_Failure& e) {
    return caught("UF_UI_write_listing_window", ufhost::kErrInternal, e.GetMessageString());
  } catch (const std::exception& e) {
    return caught("UF_UI_write_listing_window", ufhost::kErrInternal, e.what());
  }
}

// [SECTION] Menu and value dialog

// *failed: the code is the host's failure, not the user's answer.
static int menu_call(const char* title, int default_item, char items[][UF_UI_MENU_ITEM_SIZE],
                     int num_items, bool* failed) {
  *failed = true;
  if (int rc = session().fail_point("uc1603")) return rc;
  if (num_items < 0 || (num_items > 0 && items == nullptr)) return ufhost::kErrBadArgument;
  try {
    ufhost::MenuRequest request;
    request.title = text_in(title);
    request.default_item = default_item;
    for (int i = 0; i < num_items; ++i)
      request.items.push_back(field_text(items[i], UF_UI_MENU_ITEM_SIZE));
    const int code = ufhost::front_end().menu(request);
    *failed = false;
    return code;
  } catch (const Standard_Failure& e) {
    return caught("uc1603", ufhost::kErrInternal, e.GetMessageString());
  } catch (const std::exception& e) {
    return caught("uc1603", ufhost::kErrInternal, e.what());
  }
}

int uc1603(const char* title, int default_item, char items[][UF_UI_MENU_ITEM_SIZE],
           int num_items) {
  static int failed_in_a_row = 0;
  bool failed = false;
  const int code = menu_call(title, default_item, items, num_items, &failed);
  if (!failed) {
    failed_in_a_row = 0;
    return code;
  }
  if (++failed_in_a_row < kMaxFailedMenus) return code;
  std::fflush(stdout);
  std::cerr << "ufhost: uc1603 failed " << failed_in_a_row
            << " times in a row; the menu is cancelled so that the run can end" << std::endl;
  failed_in_a_row = 0;
  return UF_UI_CANCEL;
}

int uc1608(const char* title, char labels[][UF_UI_LABEL_SIZE], int count, int* default_int,
           double* values, int* var_type) {
  if (int rc = session().fail_point("uc1608")) return rc;
  if (count < 0) return ufhost::kErrBadArgument;
  if (count > 0 && (labels == nullptr || default_int == nullptr || values == nullptr ||
                    var_type == nullptr))
    return ufhost::kErrBadArgument;
  for (int i = 0; i < count; ++i)
    if (var_type[i] != 1) return ufhost::kErrBadArgument;  // only real fields here
  try {
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
  } catch (const Standard_Failure& e) {
    return caught("uc1608", ufhost::kErrInternal, e.GetMessageString());
  } catch (const std::exception& e) {
    return caught("uc1608", ufhost::kErrInternal, e.what());
  }
}

// [SECTION] Selection and highlight

int UF_UI_select_by_class(const char* message, UF_UI_selection_options_t* options,
                          int* response, int* count, tag_t** objects) {
  if (response != nullptr) *response = UF_UI_CANCEL;
  if (count != nullptr) *count = 0;
  if (objects != nullptr) *objects = nullptr;
  if (int rc = session().fail_point("UF_UI_select_by_class")) return rc;
  if (options == nullptr || response == nullptr || count == nullptr || objects == nullptr)
    return ufhost::kErrBadArgument;
  if (options->num_mask_triples < 0 ||
      (options->num_mask_triples > 0 && options->mask_triples == nullptr) ||
      options->scope != UF_UI_SEL_SCOPE_WORK_PART)
    return ufhost::kErrBadArgument;
  try {
    ufhost::Session& s = session();
    ufhost::SelectRequest request;
    request.prompt = text_in(message);
    request.scope = options->scope;
    for (int i = 0; i < options->num_mask_triples; ++i) {
      const UF_UI_mask_t& m = options->mask_triples[i];
      request.masks.push_back({m.object_type, m.object_subtype, m.solid_type});
    }
    for (ufhost::Tag tag : s.model.tags()) {
      const ufhost::Object* o = s.model.find(tag);
      bool offered = options->num_mask_triples == 0 && ufhost::is_body(o->kind);
      for (int i = 0; i < options->num_mask_triples && !offered; ++i)
        offered = matches(options->mask_triples[i], *o);
      if (offered) request.objects.push_back({tag, o->name, ufhost::kind_name(o->kind), size_text(*o)});
    }

    std::vector<ufhost::Tag> chosen;
    const int answer = ufhost::front_end().select(request, &chosen);
    std::vector<tag_t>& kept = selection_array();
    kept.assign(chosen.begin(), chosen.end());
    for (tag_t tag : kept) {
      s.model.set_highlight(tag, true);
      record_highlight(tag, true, "select");
    }
    *response = answer;
    *count = static_cast<int>(kept.size());
    *objects = kept.empty() ? nullptr : kept.data();
    return 0;
  } catch (const Standard_Failure& e) {
    return caught("UF_UI_select_by_class", ufhost::kErrInternal, e.GetMessageString());
  } catch (const std::exception& e) {
    return caught("UF_UI_select_by_class", ufhost::kErrInternal, e.what());
  }
}

int UF_DISP_set_highlight(tag_t object, int flag) {
  if (int rc = session().fail_point("UF_DISP_set_highlight")) return rc;
  try {
    ufhost::Session& s = session();
    if (s.model.find(object) == nullptr) return ufhost::kErrBadTag;
    if (flag != 0 && flag != 1) return ufhost::kErrBadArgument;
    s.model.set_highlight(object, flag == 1);
    record_highlight(object, flag == 1, "UF_DISP_set_highlight");
    return 0;
  } catch (const Standard_Failure& e) {
    return caught("UF_DISP_set_highlight", ufhost::kErrInternal, e.GetMessageString());
  } catch (const std::exception& e) {
    return caught("UF_DISP_set_highlight", ufhost::kErrInternal, e.what());
  }
}
