// Code page 1251 <-> UTF-8: the plug-in's texts are code page 1251 bytes,
// everything the host shows or records is UTF-8. Neither direction fails: a
// byte that code page 1251 leaves undefined becomes U+FFFD, and a character
// it cannot hold (or a broken UTF-8 sequence) becomes '?', so that a stray
// byte never loses the rest of a text.
#pragma once

#include <string>

namespace ufhost {

std::string cp1251_to_utf8(const std::string& bytes);
std::string utf8_to_cp1251(const std::string& text);

}  // namespace ufhost
