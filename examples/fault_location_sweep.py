"""Fault current and relay voltage against the fault location: a
phase-A-to-ground and a three-phase fault moved from the relay busbar (0 %)
to the remote end (100 %) of the line, plotted to a PNG.

    PYTHONPATH=build/release/python /usr/bin/python3 examples/fault_location_sweep.py [-o fault_location_sweep.png]
"""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kexcalculate as kc  # noqa: E402

LOCATIONS = np.linspace(0.0, 100.0, 51)  # percent of the line
FAULTS = ((2, "phase A to ground"), (0, "three-phase"))  # faultKind, name


def fault_state(params, model, kind, location):
    """Fault-state current and voltage magnitudes (RMS) of phase A."""
    params.faultKind = kind
    params.faultDistance = location
    model.calculate()
    return abs(model._faultI[0]), abs(model._faultU[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default="fault_location_sweep.png", help="PNG to write")
    args = parser.parse_args()

    params = kc.RlParameters(
        networkType=0, frequency=50.0, preFaultDuration=0.1,
        loadVoltage=57.735, loadCurrent=1.0, loadAngle=20.0,
        zS1=0.5 + 6.0j, kS1=1.5 + 2.0j,
        zLine=1.2 + 12.0j, kLine=3.0 + 3.2j,
        zS2=0.8 + 9.0j, kS2=1.5 + 2.0j,
        faultPhase=0,
    )
    model = kc.CalculationRl(params)  # reads params at every calculate()

    figure, (current_axis, voltage_axis) = plt.subplots(2, 1, sharex=True, figsize=(9, 6.5))
    for kind, name in FAULTS:
        values = np.array([fault_state(params, model, kind, d) for d in LOCATIONS])
        current_axis.plot(LOCATIONS, values[:, 0], marker=".", label=name)
        voltage_axis.plot(LOCATIONS, values[:, 1], marker=".", label=name)
        print(f"{name:>18}: IA {values[0, 0]:6.2f} A at 0 %, {values[-1, 0]:6.2f} A at 100 %; "
              f"VA {values[0, 1]:5.2f} V at 0 %, {values[-1, 1]:5.2f} V at 100 %")

    current_axis.set_ylabel("fault current IA (A RMS)")
    voltage_axis.set_ylabel("relay voltage VA (V RMS)")
    voltage_axis.set_xlabel("fault location (% of the line from the relay)")
    current_axis.set_title("Fault state of phase A against the fault location")
    for axis in (current_axis, voltage_axis):
        axis.grid(True, alpha=0.3)
        axis.legend()
    figure.tight_layout()
    figure.savefig(args.output, dpi=100)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
