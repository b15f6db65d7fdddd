#pragma once
// The sensor's distance units (parameter 111, the link's DistanceUnit): the
// one table of their names, millimetres per unit, the decimals a distance is
// shown with, and the text the sensor takes for them on the line.
#include <cstdint>

namespace DistanceUnits {

constexpr int Count = 7;  // 0 mm, 1 m, 2 in, 3 ft, 4 yd, 5 mi, 6 nm

// An index of the table (0..6).
constexpr bool Known(std::int32_t unit) { return unit >= 0 && unit < Count; }

// Millimetres per unit; false (and *factor untouched) for an unknown index.
bool Factor(std::int32_t unit, double* factor);
// Millimetres per unit; 1 for an unknown index.
double FactorOf(std::int32_t unit);
// Short name ("mm", "m", "in" ...); "" for an unknown index.
const char* Name(std::int32_t unit);
// Text of the parameter write ("MM", "M", "IN" ...); "" for an unknown index.
const char* WireText(std::int32_t unit);
// Decimals a distance is shown with: none in mm, 3 in m and in, 4 in ft and
// yd, 8 in mi and nm and for an unknown index.
int Decimals(std::int32_t unit);

}  // namespace DistanceUnits
