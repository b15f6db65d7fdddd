#pragma once
// A text of the chart with its font and colour: header, watermarks, axis
// titles and the tick labels.
#include <cstdint>
#include <string>

struct LabelFont {
    std::string Name;    // face name; empty = the system's default face
    double Size = 8.0;   // in points
    bool Bold = false;
};

class clsLabel {
public:
    std::string Caption;
    LabelFont Font;
    std::int32_t ForeColor = 0;    // 0x00BBGGRR
    std::int32_t Orientation = 0;  // degrees, counter-clockwise; 0 = horizontal
};
