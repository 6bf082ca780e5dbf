"""A phase-A-to-ground fault with full DC offset seen through a saturating
current transformer, with remanence in the direction of the offset, none, and
against it: the ideal and the secondary currents and the core's flux linkage,
plotted to a PNG.

    PYTHONPATH=build/release/python /usr/bin/python3 examples/ct_saturation.py [-o ct_saturation.png]
"""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kexcalculate as kc  # noqa: E402

SAMPLE_RATE = 10_000.0  # Hz
DURATION = 0.2  # s, pre-fault interval included
REMANENCE = (0.6, 0.0, -0.6)
COLOURS = ("tab:red", "tab:blue", "tab:green")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default="ct_saturation.png", help="PNG to write")
    args = parser.parse_args()

    params = kc.RlParameters(
        networkType=0, frequency=50.0, preFaultDuration=0.04,
        loadVoltage=57.735, loadCurrent=1.0, loadAngle=30.0,
        zS1=0.2 + 4.0j, kS1=1.0 + 1.2j, zLine=0.4 + 6.0j, kLine=2.0 + 3.0j, zS2=1.0 + 12.0j, kS2=1.0 + 1.5j,
        faultKind=2, faultPhase=0, faultDistance=20.0, initialAngle=0.0,  # at a voltage zero: full offset
    )
    model = kc.CalculationRl(params)
    model.calculate()
    step, count = 1.0 / SAMPLE_RATE, round(DURATION * SAMPLE_RATE)
    ideal = model.sampleBlock(0.0, step, count)[:, 0]
    time_ms = np.arange(count) * step * 1e3

    figure, (currents, fluxes) = plt.subplots(2, 1, sharex=True, figsize=(10, 6.5))
    currents.plot(time_ms, ideal, color="grey", linewidth=2.5, alpha=0.5, label="IA ideal")
    for remanence, colour in zip(REMANENCE, COLOURS):
        ct = kc.CtSaturation(kc.CtParameters(frequency=50.0, windingResistance=0.3, burdenResistance=1.0,
                                             burdenReactance=0.2, saturationVoltage=20.0, exponent=22.0,
                                             remanence=remanence))
        secondary, flux = ct.saturate(model, 0, step, count, flux=True)
        departure = kc.CtSaturation.firstDeparture(ideal, secondary)
        when = "never" if departure is None else f"at {departure * step * 1e3:.1f} ms"
        label = f"remanence {remanence:+.1f}: saturates {when}"
        currents.plot(time_ms, secondary, color=colour, linewidth=1.1, label=label)
        fluxes.plot(time_ms, flux / ct.saturationFlux, color=colour, linewidth=1.1, label=label)
    for axis in (currents, fluxes):
        axis.axvline(params.preFaultDuration * 1e3, color="grey", linestyle="--", linewidth=1)
        axis.grid(True, alpha=0.3)
        axis.legend(loc="upper right", fontsize="small")
    currents.set_ylabel("IA (A)")
    fluxes.set_ylabel("flux / saturation flux")
    fluxes.set_xlabel("time (ms)")
    currents.set_title("Phase A to ground with full DC offset through a CT: S = 22, Vs = 20 V, 1.3 ohm burden")
    figure.tight_layout()
    figure.savefig(args.output, dpi=100)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
