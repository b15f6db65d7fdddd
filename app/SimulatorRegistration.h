#pragma once
// Offers the built-in simulated sensor to the serial layer, so that a port
// mapped to SIMULATOR in KOV.ini (section PORTS) talks to it.
void RegisterSimulatedSensor();
