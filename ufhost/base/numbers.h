// Numbers as text, one formatter for each way the host shows them, so that
// the same number reads the same in the listing, the selection, the batch's
// table and its files.
#pragma once

#include <string>

namespace ufhost {

// Six decimals, for lengths and coordinates in tables ("80.000000"); never
// "-0.000000".
std::string fixed6(double value);
// The same with the zeros after the point dropped ("19.843135", "20").
std::string fixed6_trimmed(double value);
// Every digit ("%.17g"), for files whose numbers must read back as the very
// same doubles.
std::string all_digits(double value);
// The shortest text that reads back as the same double ("100", "0.1",
// "1e-08"), for a person who may type it again.
std::string shortest(double value);
// "%g", for steps and seconds a user gave ("0.5", "600", "0.01").
std::string general(double value);
// One digit and an exponent ("1.0e-07"), for how exact a length is.
std::string one_digit(double value);

}  // namespace ufhost
