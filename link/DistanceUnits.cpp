#include "DistanceUnits.h"

namespace DistanceUnits {
namespace {

struct Unit {
    const char* Name;
    const char* Wire;
    double Millimetres;
    int Decimals;
};

constexpr Unit Table[Count] = {
    {"mm", "MM", 1.0, 0},   {"m", "M", 1000.0, 3},      {"in", "IN", 25.4, 3},      {"ft", "FT", 304.8, 4},
    {"yd", "YD", 914.4, 4}, {"mi", "MI", 1609344.0, 8}, {"nm", "NM", 1852000.0, 8},
};

constexpr int UnknownDecimals = 8;

}  // namespace

bool Factor(std::int32_t unit, double* factor) {
    if (!Known(unit)) return false;
    *factor = Table[unit].Millimetres;
    return true;
}

double FactorOf(std::int32_t unit) { return Known(unit) ? Table[unit].Millimetres : 1.0; }

const char* Name(std::int32_t unit) { return Known(unit) ? Table[unit].Name : ""; }

const char* WireText(std::int32_t unit) { return Known(unit) ? Table[unit].Wire : ""; }

int Decimals(std::int32_t unit) { return Known(unit) ? Table[unit].Decimals : UnknownDecimals; }

}  // namespace DistanceUnits
