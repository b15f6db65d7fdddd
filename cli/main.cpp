// ora2orb2-cli: configure and monitor an ORA-2 / ORB-2 sensor from the
// command line. Everything but the signals is in CliCommands.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define ORA_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define ORA_ISATTY(f) isatty(fileno(f))
#endif

#include "CliCommands.h"

namespace {

extern "C" void OnInterrupt(int) { cli::RequestInterrupt(); }

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#ifndef _WIN32
    std::signal(SIGHUP, OnInterrupt);
    // A closed pipe is told by the failed write, so that the sensor is still stopped.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::Environment env;
    env.StdoutIsTerminal = ORA_ISATTY(stdout) != 0;
    env.StderrIsTerminal = ORA_ISATTY(stderr) != 0;
    return cli::Run(args, std::cout, std::cerr, env);
}
