// The selection as the host runs it: which objects its masks offer, the
// size shown with each, and what picking them leaves in the session.
#pragma once

#include <string>
#include <vector>

#include "ufhost/model/model.h"
#include "ufhost/session/session.h"
#include "ufhost/session/user_interface.h"

namespace ufhost {

// A mask triple as the plug-in gives it: a type code (host/uf.h), a
// subtype (-1: any) and a solid type (0: any). Objects of this host have
// subtype 0 and no finer solid type, so any other solid type matches
// nothing.
struct SelectionMask {
  int object_type = 0;
  int object_subtype = -1;
  int solid_type = 0;
};

// The objects of `model` that some mask matches, in creation order, each
// with its name, type and size; with no masks, every body. The sizes are
// the exact boxes (kernel work, named "sizing the offered objects"); throws
// Standard_Failure when the kernel fails on one, a crash included.
std::vector<Selectable> offered_objects(const Model& model,
                                        const std::vector<SelectionMask>& masks);

// "19.843135 x 20 x 42.29512": the lengths of the object's exact box along
// X, Y and Z, "" when it has none.
std::string size_text(const Object& object);

// Switches the object's highlight and writes the change to the transcript,
// saying `by` what.
void set_highlight(Session& session, Tag tag, bool on, const char* by);

// Keeps `picked` as the session's selection (the array the C interface
// hands out) and highlights each of them.
void keep_selection(Session& session, const std::vector<Tag>& picked);

}  // namespace ufhost
