// The subcommand `transient`: runs a disturbance scenario through the
// transient network model and writes the six channel waveforms as COMTRADE,
// CSV and a picture.
#pragma once

namespace CLI {
class App;
}

namespace kexcalc {

void addTransientCommand(CLI::App& app);

}  // namespace kexcalc
