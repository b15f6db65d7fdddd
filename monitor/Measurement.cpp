#include "Measurement.h"

#include <cstdio>
#include <vector>

#include "DistanceUnits.h"
#include "clsKOV.h"
#include "modKOVComm.h"

MeasurementState StateOfDistance(std::int32_t mm) {
    if (mm == modKOVComm::TempErrorValue) return MeasurementState::TempError;
    if (mm == modKOVComm::NoEchoValue || mm == 0) return MeasurementState::NoEcho;
    if (modKOVComm::MarkerForm(mm)) return MeasurementState::Marker;
    return MeasurementState::Ok;
}

Measurement MeasurementOf(const clsKOV& link) {
    Measurement m;
    m.Time = link.CurrentTime;
    m.Mm = link.MeasValue_mm;
    m.Value = link.MeasValue;
    m.Unit = link.DistanceUnit;
    m.Format = link.OutputFormat;
    m.State = StateOfDistance(link.MeasValue_mm);
    m.Temperature = link.sTemperature;
    m.TemperatureOk = link.TempStatus != modKOVComm::TempState::Error;
    return m;
}

Measurement RecordedMeasurement(double time, std::int32_t mm) {
    Measurement m;
    m.Time = time;
    m.Mm = mm;
    m.Value = mm;
    m.Unit = 0;  // millimetres
    m.State = StateOfDistance(mm);
    return m;
}

std::string DistanceText(const Measurement& m, char decimal) {
    if (m.State == MeasurementState::TempError) return "TempError";
    if (m.State == MeasurementState::NoEcho) return "No Echo";
    const int decimals = DistanceUnits::Decimals(m.Unit);
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, m.Value);
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, m.Value);
    std::string number(buffer.data(), static_cast<std::size_t>(length));
    if (decimal != '.') {
        const std::size_t point = number.find('.');
        if (point != std::string::npos) number[point] = decimal;
    }
    const std::string unit = DistanceUnits::Name(m.Unit);
    if (m.Format == modKOVComm::OutputFormat::Ascii) return number + " [" + unit + "]";
    return number + " " + unit;
}
