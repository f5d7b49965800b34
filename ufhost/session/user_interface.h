// What the host asks of the person at it: menus, value dialogs, the
// selection, message boxes, the save dialog and the listing window. Every
// modal request of the plug-in goes through the session's one
// UserInterface, which whoever runs the host hands to the session: a front
// end answering from a person at the terminal or from an answers script. All texts here are UTF-8; the C
// entry points convert the plug-in's code page 1251 bytes before they ask.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost {

class Transcript;  // ufhost/core/transcript.h

struct MenuRequest {
  std::string title;
  std::vector<std::string> items;
  int default_item = 0;
};

struct DialogRequest {
  std::string title;
  std::vector<std::string> labels;
  std::vector<double> values;  // shown; an OK answer replaces them
};

struct Selectable {
  Tag tag;
  std::string name;
  std::string type;  // "solid body", ...
  std::string size;  // "100 x 50 x 20", for the person choosing
};

struct SelectRequest {
  std::string prompt;
  std::vector<Selectable> objects;
  std::vector<std::vector<int>> masks;  // the mask triples as given
  int scope = 0;
};

struct SaveRequest {
  bool open_mode = false;
  std::string default_ext;
  std::string file_name;
  unsigned int flags = 0;
  std::string filter;
  unsigned int struct_size = 0;
};

// Result codes as the C interface returns them (UF_UI_BACK, UF_UI_CANCEL,
// UF_UI_OK; menus 5 + index).
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Returns the menu code: 5 + index of the chosen item, 1 back, 2 cancel, or
  // any raw code a script gives.
  virtual int menu(const MenuRequest& request) = 0;
  // Returns UF_UI_OK with *values edited, or UF_UI_BACK / UF_UI_CANCEL.
  virtual int dialog(const DialogRequest& request, std::vector<double>* values) = 0;
  // Returns the response; *chosen gets the picked tags in order (empty on
  // cancel or when nothing was picked).
  virtual int select(const SelectRequest& request, std::vector<Tag>* chosen) = 0;
  virtual void message(const std::string& title, const std::string& text) = 0;
  // true with *path set when confirmed.
  virtual bool save(const SaveRequest& request, std::string* path) = 0;
  // The listing window: printed to standard output as it is written.
  virtual bool open_listing() = 0;
  virtual void write_listing(const std::string& text) = 0;

  // The transcript all requests are recorded in; may be null.
  std::shared_ptr<Transcript> transcript;
};

}  // namespace ufhost
