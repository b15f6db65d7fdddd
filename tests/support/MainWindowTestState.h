#pragma once
// For window tests that run the real main window against the simulator:
// the program's state as after a fresh start, with `folder` as the program
// folder (its KOV.ini read), English texts, and the real event pump.
#include <string>

#include "modAPI.h"
#include "modFunctions.h"
#include "modGlobals.h"
#include "modIni.h"
#include "modKOVComm.h"
#include "modMain.h"

namespace simtest {

inline void StartProgramState(const std::string& folder) {
    modGlobals::ResetState();
    modAPI::SetClock({});
    modAPI::SetProgramFolder(folder);
    modFunctions::SetLanguageOffset(0);
    modKOVComm::SetClosing(false);
    modKOVComm::SetEventPump(modMain::PumpEvents);
    modIni::LoadSettings();
}

}  // namespace simtest
