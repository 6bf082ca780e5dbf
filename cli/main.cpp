// kexcalc: test values of the relay-protection test set from the command line.
// Each group of subcommands lives in a source file of its own and registers
// itself here.
#include <CLI/CLI.hpp>

#include "CommandLine.h"
#include "SteadyStateCommands.h"
#include "TransientCommand.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Test values of the relay-protection test set. Angles are in degrees; a complex value is written RE,IM "
        "and a polar one MAGNITUDE@DEGREES. Run 'kexcalc SUBCOMMAND --help' for the options.",
        "kexcalc"};
    app.require_subcommand(1);
    kexcalc::addSteadyStateCommands(app);
    kexcalc::addTransientCommand(app);
    return kexcalc::runCommandLine(app, argc, argv);
}
