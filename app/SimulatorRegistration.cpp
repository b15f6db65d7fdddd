#include "SimulatorRegistration.h"

#include "SimPort.h"

void RegisterSimulatedSensor() { Sim::RegisterInProcessSimulator(Sim::Options()); }
