// The lines of the search log that say where the search ended: each pass's
// angle and the final dimensions.
//
// The application includes this header too, to read a run's search log
// back. The plug-in compiles these texts to code page 1251 and the
// application keeps them as UTF-8, so each literal serves both.
#pragma once

// A pass's angle about X, Y or Z, in degrees and then in radians; by the
// slot of the angle (0 X, 1 Y, 2 Z).
constexpr const char* kSearchAngleLines[3] = {"Угол поворота по X : %f(%f)\n",
                                              "Угол поворота по Y : %f(%f)\n",
                                              "Угол поворота по Z : %f(%f)\n"};
// What every angle line starts with, the axis's letter right after it.
constexpr char kSearchAnglePrefix[] = "Угол поворота по ";

// The final dimensions along X, Y and Z, then their sum.
constexpr char kSearchFinalLine[] = "Конечные габариты: %f %f %f Сумма: %f\n";
constexpr char kSearchFinalPrefix[] = "Конечные габариты:";
constexpr char kSearchSumLabel[] = "Сумма:";

// The log writes its numbers with %f: six decimals, so a length there lies
// up to half a unit of the last from what the search measured.
constexpr double kSearchLogRounding = 5e-7;
