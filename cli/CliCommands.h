#pragma once
// The subcommands of ora2orb2-cli, on top of the program's own units: the
// measurement loop, the configuration transfer, the *.kov reader and writer
// and the .rec writer. main() only installs the signal handlers and calls Run.
#include <ostream>
#include <string>
#include <vector>

#include "CliSession.h"

namespace cli {

struct Environment {
    bool StdoutIsTerminal = false;
    bool StderrIsTerminal = false;
    // The tick's clock and sleep (empty: the real ones).
    TickDriver::ClockMs Clock;
    TickDriver::SleepMs Sleep;
};

// Runs the command line `args` (without the program name). Data goes to
// `out`, messages and progress to `err`. Returns the exit code.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env = {});

}  // namespace cli
