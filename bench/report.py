#!/usr/bin/env python3
"""Runs the benchmarks and prints them as a Markdown table.

Every benchmark counts items (samples, channel-samples or calls); the cost of
one item is 1 / items_per_second, taken from the median of the repetitions.
Ratios are against the scalar reference kernel of the same run (one sine and
one exponential of the C library per sample), and the targets of the
performance work are checked at the end.

    python3 bench/report.py [path/to/kex_benchmarks] [--repetitions N]
"""

import argparse
import json
import os
import subprocess
import sys

DEFAULT_BINARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "release", "bench",
                              "kex_benchmarks")

# Benchmark name -> (what it measures, what one item is)
ROWS = [
    ("BM_ScalarReference", "Scalar reference: one sin + one exp of the C library", "sample"),
    ("BM_WriteOnlyOneChannel", "Only writing the samples, one channel (100 000 samples)", "sample"),
    ("BM_WriteOnlySixChannels", "Only writing the samples, six channels (600 000 values)", "channel-sample"),
    ("BM_GetMgnOrdinary", "getMgn per call, ordinary kind (one-phase fault, aperiodic term alive)", "call"),
    ("BM_GetMgnSwing", "getMgn per call, power swing", "call"),
    ("BM_GetMgnAsync", "getMgn per call, asynchronous operation", "call"),
    ("BM_IsChnnelActiv", "isChnnelActiv per call", "call"),
    ("BM_Calculate/0", "calculate(), single line", "call"),
    ("BM_Calculate/1", "calculate(), tapped branch", "call"),
    ("BM_Calculate/2", "calculate(), double circuit, relay on the healthy circuit", "call"),
    ("BM_Calculate/3", "calculate(), double circuit, relay on the faulted circuit", "call"),
    ("BM_CalculateFault", "CalculationFault::calculateFault", "call"),
    ("BM_CalculateZIconst", "CalculationZ::calculateZIconst", "call"),
    ("BM_SampleChannelOrdinary", "sampleChannel, ordinary kind, 10 s record", "sample"),
    ("BM_SampleAllChannelsOrdinary", "sampleAllChannels, ordinary kind, 10 s record", "channel-sample"),
    ("BM_SampleChannelSwing", "sampleChannel, power swing, 10 s record", "sample"),
    ("BM_SampleAllChannelsSwing", "sampleAllChannels, power swing, 10 s record", "channel-sample"),
    ("BM_ExtremesOrdinary", "Extremes a recording gathers (cycle RMS, peak), ordinary kind, 10 s record", "channel-sample"),
    ("BM_ExtremesSwing", "Extremes a recording gathers, with the swing's source angle, 10 s record", "channel-sample"),
    ("BM_SampleChannelAsync", "sampleChannel, asynchronous operation, 10 s record", "sample"),
    ("BM_SampleAllChannelsAsync", "sampleAllChannels, asynchronous operation, 10 s record", "channel-sample"),
    ("BM_CtSaturationFromModel", "CT stage from the model, three current channels, 10 s record", "channel-sample"),
    ("BM_CtSaturationFromSamples", "CT stage from samples, three current channels, 10 s record", "channel-sample"),
    ("BM_CalculateExact/0", "calculate() and the exact transients, single line", "call"),
    ("BM_CalculateExact/1", "calculate() and the exact transients, tapped branch", "call"),
    ("BM_CalculateExact/2", "calculate() and the exact transients, double circuit, relay on the healthy circuit", "call"),
    ("BM_CalculateExact/3", "calculate() and the exact transients, double circuit, relay on the faulted circuit", "call"),
    ("BM_SampleChannelExact", "exact sampleChannel, ordinary kind, 10 s record", "sample"),
    ("BM_SampleAllChannelsExact", "exact sampleAllChannels, ordinary kind, 10 s record", "channel-sample"),
    ("BM_SampleChannelDecay", "sampleChannel, ordinary kind, the 0.2 s after the instant", "sample"),
    ("BM_SampleChannelExactDecay", "exact sampleChannel, ordinary kind, the 0.2 s after the instant", "sample"),
    ("BM_SampleAllChannelsDecay", "sampleAllChannels, ordinary kind, the 0.2 s after the instant", "channel-sample"),
    ("BM_SampleAllChannelsExactDecay", "exact sampleAllChannels, ordinary kind, the 0.2 s after the instant",
     "channel-sample"),
]


def run(binary, repetitions):
    command = [binary, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}",
               "--benchmark_report_aggregates_only=true", "--benchmark_enable_random_interleaving=true",
               "--benchmark_min_time=0.2"]
    result = subprocess.run(command, check=True, capture_output=True, text=True)
    return json.loads(result.stdout)


def medians(report):
    """Nanoseconds per item of each benchmark, from the median aggregate."""
    costs = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        rate = entry.get("items_per_second")
        if rate:
            costs[entry["run_name"]] = 1e9 / rate
    return costs


def number(value):
    return f"{value:.3g}" if value < 100 else f"{value:.0f}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default=DEFAULT_BINARY, help="the kex_benchmarks executable")
    parser.add_argument("--repetitions", type=int, default=5, help="repetitions of each benchmark (median shown)")
    args = parser.parse_args()
    if not os.path.isfile(args.binary):
        print(f"error: benchmark executable {args.binary!r} not found; build the release preset first",
              file=sys.stderr)
        return 2

    report = run(args.binary, args.repetitions)
    cost = medians(report)
    reference = cost["BM_ScalarReference"]

    context = report.get("context", {})
    print(f"Machine: {context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
          f"load average {', '.join(f'{x:.1f}' for x in context.get('load_avg', []))}; "
          f"median of {args.repetitions} repetitions, CPU time.")
    print()
    print("| Benchmark | What | ns per item | Item | Ratio to scalar reference |")
    print("|---|---|---:|---|---:|")
    for name, what, item in ROWS:
        if name in cost:
            print(f"| `{name}` | {what} | {number(cost[name])} | {item} | {cost[name] / reference:.2f} |")
    print()

    def verdict(met):
        return "met" if met else "NOT met"

    checks = [
        ("getMgn, ordinary kind, at most 1.3 x the scalar reference",
         cost["BM_GetMgnOrdinary"] / reference, 1.3, "x", lambda v: v <= 1.3),
        ("Block sampling, ordinary, one channel: at least 10 x faster than getMgn",
         cost["BM_GetMgnOrdinary"] / cost["BM_SampleChannelOrdinary"], 10, "x faster", lambda v: v >= 10),
        ("Block sampling, ordinary, six channels: at least 10 x faster than getMgn",
         cost["BM_GetMgnOrdinary"] / cost["BM_SampleAllChannelsOrdinary"], 10, "x faster", lambda v: v >= 10),
        ("Block sampling, ordinary, one channel: within 2 x only writing the samples",
         cost["BM_SampleChannelOrdinary"] / cost["BM_WriteOnlyOneChannel"], 2, "x", lambda v: v <= 2),
        ("Block sampling, ordinary, six channels: within 2 x only writing the samples",
         cost["BM_SampleAllChannelsOrdinary"] / cost["BM_WriteOnlySixChannels"], 2, "x", lambda v: v <= 2),
        ("Block sampling, swing, six channels: at least 5 x faster than getMgn",
         cost["BM_GetMgnSwing"] / cost["BM_SampleAllChannelsSwing"], 5, "x faster", lambda v: v >= 5),
        ("Block sampling, asynchronous, six channels: at least 5 x faster than getMgn",
         cost["BM_GetMgnAsync"] / cost["BM_SampleAllChannelsAsync"], 5, "x faster", lambda v: v >= 5),
        ("Block sampling, swing, one channel: at least 5 x faster than getMgn",
         cost["BM_GetMgnSwing"] / cost["BM_SampleChannelSwing"], 5, "x faster", lambda v: v >= 5),
        ("Block sampling, asynchronous, one channel: at least 5 x faster than getMgn",
         cost["BM_GetMgnAsync"] / cost["BM_SampleChannelAsync"], 5, "x faster", lambda v: v >= 5),
    ]
    for network in range(4):
        name = f"BM_Calculate/{network}"
        checks.append((f"calculate(), network type {network}: under 2 microseconds", cost[name] / 1000.0, 2, "us",
                       lambda v: v < 2))
    for network in (2, 3):
        name = f"BM_CalculateExact/{network}"
        checks.append((f"calculate() and the exact transients, network type {network}: at most 20 microseconds",
                       cost[name] / 1000.0, 20, "us", lambda v: v <= 20))
    for exact, today, what in (("BM_SampleChannelExact", "BM_SampleChannelOrdinary", "one channel, 10 s"),
                               ("BM_SampleAllChannelsExact", "BM_SampleAllChannelsOrdinary", "six channels, 10 s"),
                               ("BM_SampleChannelExactDecay", "BM_SampleChannelDecay", "one channel, 0.2 s"),
                               ("BM_SampleAllChannelsExactDecay", "BM_SampleAllChannelsDecay", "six channels, 0.2 s")):
        checks.append((f"Exact block sampling, {what}: at most 2 x the model's", cost[exact] / cost[today], 2, "x",
                       lambda v: v <= 2))
    print("| Target | Measured | Verdict |")
    print("|---|---:|---|")
    for what, value, _, unit, met in checks:
        print(f"| {what} | {value:.2f} {unit} | {verdict(met(value))} |")
    print()

    # Six channels at 10 kHz: 60 000 channel-samples per second of output.
    for name, label in (("BM_SampleAllChannelsOrdinary", "ordinary kinds"),
                        ("BM_SampleAllChannelsSwing", "power swing"),
                        ("BM_SampleAllChannelsAsync", "asynchronous operation"),
                        ("BM_GetMgnOrdinary", "ordinary kinds, one getMgn call per channel-sample")):
        seconds = 60000 * cost[name] * 1e-9
        print(f"Real-time factor, six channels at 10 kHz, {label}: {1.0 / seconds:,.0f} s of output per s "
              f"of computing")

    # The 10 s record at 10 kHz: 100 000 instants.
    if "BM_CtSaturationFromModel" in cost:
        sampling = 600000 * cost["BM_SampleAllChannelsOrdinary"] * 1e-6
        for name, label in (("BM_CtSaturationFromModel", "from the model"),
                            ("BM_CtSaturationFromSamples", "from samples")):
            print(f"CT stage {label}, three current channels of a 10 s record at 10 kHz: "
                  f"{300000 * cost[name] * 1e-6:.1f} ms (sampling the six channels of the record: {sampling:.2f} ms)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
