#pragma once
// The chart's arithmetic, free of any drawing, in parts:
//   modChartNumbers    rounding, steps and tick label texts
//   modChartDates      clock and date texts of the time axis
//   modChartLayout     margins, bands and the x and y grids
//   modChartAutoScale  the y auto-scaling
//   modChartUnits      the y range in millimetres and in the unit shown
// All of them are in namespace modChartCommon. This header brings them all;
// new code includes the part it needs.
#include "modChartAutoScale.h"
#include "modChartDates.h"
#include "modChartLayout.h"
#include "modChartNumbers.h"
#include "modChartUnits.h"
