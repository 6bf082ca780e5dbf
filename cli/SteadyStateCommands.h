// The subcommands for the steady-state calculators: fault, power, impedance
// and sym.
#pragma once

namespace CLI {
class App;
}

namespace kexcalc {

void addSteadyStateCommands(CLI::App& app);

}  // namespace kexcalc
