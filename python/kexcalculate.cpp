// The kexcalculate Python module: the library's host-facing interface with
// the library's names, numpy arrays for phasor triples and sampled waveforms,
// and the COMTRADE writer of the command line.
#include <pybind11/pybind11.h>

#include "Conversions.h"

PYBIND11_MODULE(kexcalculate, module) {
    module.doc() =
        "KexCalculate, the calculation library of a relay-protection test set: steady-state test values, the "
        "transient two-source network model and COMTRADE output. Angles are in radians, phasors are RMS values.";
    module.attr("__version__") = KEX_VERSION;
    kexpy::bindPhasors(module);
    kexpy::bindSteadyState(module);
    kexpy::bindTransient(module);
    kexpy::bindExact(module);
    kexpy::bindScenario(module);
    kexpy::bindComtrade(module);
    kexpy::bindCtSaturation(module);
}
