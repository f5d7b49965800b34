// The front ends: a person at the terminal, or an answers script. Each is a
// UserInterface (ufhost/core/user_interface.h) that whoever runs the host
// hands to the session.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ufhost/session/user_interface.h"

namespace ufhost {

// Answers from a script: one answer a line (see answers.h for the format).
std::unique_ptr<UserInterface> make_scripted_ui(std::vector<std::string> answer_lines,
                                                std::string source_name = "answers");
// Prompts at the terminal on standard input and output.
std::unique_ptr<UserInterface> make_terminal_ui();

// The session's front end. A session that was handed none gets the one a
// script without answers gives: every request is cancelled, every message
// box closed.
UserInterface& front_end();

}  // namespace ufhost
