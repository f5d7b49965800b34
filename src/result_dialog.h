// The result dialog "Габариты детали" of the dimension commands: its title,
// its labels and the sum it shows after the three lengths.
//
// The application includes this header too, to find the dialog in a run's
// transcript and to form the frame command's sum as the plug-in forms its
// own. The plug-in compiles these texts to code page 1251 and the
// application keeps them as UTF-8, so each literal serves both; being
// constants, each file that includes them gets its own copy.
#pragma once

#include "host/uf.h"

constexpr char kResultTitle[] = "Габариты детали";

// Length, width, height and sum, each zero-filled to the end of its field (a
// label too long for its field does not compile).
constexpr int kResultItems = 4;
constexpr char kResultLabels[kResultItems][UF_UI_LABEL_SIZE] = {"Длина", "Ширина", "Высота",
                                                                "Сумма"};

// The sum of three lengths as the dialog and the search log show it: X + Y
// + Z, added in that order.
constexpr double dimensions_sum(const double lengths[3]) {
  return lengths[0] + lengths[1] + lengths[2];
}
