#pragma once
// One distance as it leaves the measurement loop: what every listener
// (value label and chart, value window, recorder, command-line output,
// publishing to a broker) receives instead of the link itself.
#include <cstdint>
#include <string>

#include "modKOVComm.h"

enum class MeasurementState {
    Ok,
    NoEcho,     // the sensor saw no echo (its marker, or 0)
    TempError,  // the sensor is outside its working temperature (its marker)
};

struct Measurement {
    double Time = 0;             // days since 30 December 1899, local time, whole milliseconds
    std::int32_t Mm = 0;         // millimetres, or the sensor's marker value
    double Value = 0;            // the distance in Unit
    std::int32_t Unit = 0;       // distance unit index 0..6 (mm, m, in, ft, yd, mi, nm)
    MeasurementState State = MeasurementState::Ok;
    std::string Temperature;     // the last temperature text as received ("23 C, OK"); "" none yet
    bool TemperatureOk = true;   // false once the sensor reported "NOK"
};

// What a millimetre value from the sensor stands for.
inline MeasurementState StateOfDistance(std::int32_t mm) {
    if (mm == modKOVComm::TempErrorValue) return MeasurementState::TempError;
    if (mm == modKOVComm::NoEchoValue || mm == 0) return MeasurementState::NoEcho;
    return MeasurementState::Ok;
}
