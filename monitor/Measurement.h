#pragma once
// One distance as it leaves the measurement loop: what every listener (value
// label and chart, value window, recorder, command-line output) receives
// instead of the link itself. Played-back values take the same form.
#include <cstdint>
#include <string>

#include "modKOVComm.h"

class clsKOV;

// What a millimetre value from the sensor stands for.
enum class MeasurementState {
    Ok,
    NoEcho,     // the sensor saw no echo (its marker, or 0)
    TempError,  // the sensor is outside its working temperature (its marker)
    Marker,     // another value of the sensor's marker shape: no distance either
};

struct Measurement {
    double Time = 0;        // days since 30 December 1899, local time, whole milliseconds
    std::int32_t Mm = 0;    // millimetres, or the sensor's marker value
    double Value = 0;       // the distance in Unit
    std::int32_t Unit = 0;  // distance unit index 0..6 (DistanceUnits)
    std::int32_t Format = modKOVComm::OutputFormat::AsciiUnit;  // the output format it came in
    MeasurementState State = MeasurementState::Ok;
    std::string Temperature;    // the last temperature text as received ("23 C, OK"); "" none yet
    bool TemperatureOk = true;  // false once the sensor reported "NOK"
};

MeasurementState StateOfDistance(std::int32_t mm);

// The link's newest distance, stamped with its CurrentTime.
Measurement MeasurementOf(const clsKOV& link);
// A distance read back from a recording: millimetres, no temperature.
Measurement RecordedMeasurement(double time, std::int32_t mm);

// The value label's text: "TempError", "No Echo", or the value with its
// unit's decimals and `decimal` as separator, then the unit name, in square
// brackets after plain ASCII ("1.234 [m]"), else after a blank ("1.234 m").
std::string DistanceText(const Measurement& m, char decimal);
