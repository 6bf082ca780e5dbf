// kexcalc: test values of the relay-protection test set from the command line.
// Each group of subcommands lives in a source file of its own and registers
// itself here.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "CommandLine.h"
#include "SteadyStateCommands.h"
#include "TransientCommand.h"

int main(int argc, char** argv) {
    try {
        CLI::App app{
            "Test values of the relay-protection test set. Angles are in degrees; a complex value is written RE,IM "
            "and a polar one MAGNITUDE@DEGREES. Run 'kexcalc SUBCOMMAND --help' for the options.",
            "kexcalc"};
        app.require_subcommand(1);
        app.set_version_flag("--version", std::string("kexcalc ") + KEX_VERSION);
        kexcalc::addSteadyStateCommands(app);
        kexcalc::addTransientCommand(app);
        return kexcalc::runCommandLine(app, argc, argv);
    } catch (const std::exception& error) {
        // Setting up the command line itself failed (not an argument's fault).
        std::fprintf(stderr, "kexcalc: %s\n", error.what());
        return 1;
    }
}
