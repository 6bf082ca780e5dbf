"""A phase-B-to-ground fault at 40 % of a 110 kV line, in secondary values:
the six waveforms the test set outputs, plotted to a PNG.

    PYTHONPATH=build/release/python /usr/bin/python3 examples/fault_waveforms.py [-o fault_waveforms.png]
"""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kexcalculate as kc  # noqa: E402

SAMPLE_RATE = 10_000.0  # Hz
DURATION = 0.2  # s, pre-fault interval included
CHANNELS = ("IA", "IB", "IC", "VA", "VB", "VC")
COLOURS = ("tab:orange", "tab:green", "tab:red")  # phases A, B, C


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default="fault_waveforms.png", help="PNG to write")
    args = parser.parse_args()

    params = kc.RlParameters(
        networkType=0, frequency=50.0, preFaultDuration=0.06,
        loadVoltage=57.735, loadCurrent=1.0, loadAngle=30.0,  # 100 V line-to-line, 1 A at cos phi 0.87
        zS1=0.5 + 8.0j, kS1=1.0 + 1.2j,
        zLine=2.0 + 20.0j, kLine=2.0 + 3.0j,
        zS2=1.0 + 12.0j, kS2=1.0 + 1.5j,
        faultKind=2, faultPhase=1, faultDistance=40.0,  # phase B to ground at 40 %
    )
    model = kc.CalculationRl(params)
    model.calculate()

    samples = model.sampleBlock(0.0, 1.0 / SAMPLE_RATE, round(DURATION * SAMPLE_RATE))  # (N, 6)
    time_ms = np.arange(len(samples)) / SAMPLE_RATE * 1e3

    figure, (currents, voltages) = plt.subplots(2, 1, sharex=True, figsize=(10, 6.5))
    for axis, first, unit in ((currents, 0, "A"), (voltages, 3, "V")):
        for phase in range(3):
            channel = first + phase
            axis.plot(time_ms, samples[:, channel], color=COLOURS[phase], linewidth=1.2, label=CHANNELS[channel])
        axis.axvline(params.preFaultDuration * 1e3, color="grey", linestyle="--", linewidth=1)
        axis.set_ylabel(f"instantaneous value ({unit})")
        axis.grid(True, alpha=0.3)
        axis.legend(loc="upper right", ncol=3)
    voltages.set_xlabel("time (ms)")
    fault_current = abs(model._faultI[params.faultPhase])
    currents.set_title(
        f"Phase-B-to-ground fault at {params.faultDistance:g} % of the line: "
        f"IB = {fault_current:.2f} A RMS, DC time constant {model._tau * 1e3:.1f} ms"
    )
    figure.tight_layout()
    figure.savefig(args.output, dpi=100)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
