#!/usr/bin/env python3
"""Writes the seed corpus of the numeric harness (fuzz/corpus/numeric/).

Each seed is the built-in scenario's record with one disturbance kind or
network type, in the byte format that fuzz/FuzzInput.h reads (every number as
tag 0 followed by its 8 bytes), followed by probe times and a steady-state
test point and a block of samples. Run from anywhere; it overwrites the seeds it writes.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "numeric")


def number(x):
    return b"\x00" + struct.pack("<d", x)


def complex_(re, im):
    return number(re) + number(im)


def record(network=0, kind=2, phase=0, fault_resistance=None, distance=50.0):
    b = struct.pack("<bBBB", network, kind, phase, 1 if fault_resistance is not None else 0)
    b += number(0.1)                                 # preFaultDuration
    b += number(1.0) + number(57.735) + number(20.0)  # loadCurrent, loadVoltage, loadAngle
    b += number(50.0)                                # frequency
    b += complex_(0.5, 6.0) + complex_(1.5, 2.0)     # zS1, kS1
    b += complex_(1.2, 12.0) + complex_(3.0, 3.2)    # zLine, kLine
    b += complex_(0.8, 9.0) + complex_(1.5, 2.0)     # zS2, kS2
    b += complex_(0.6, 6.0) + complex_(3.0, 3.2)     # zBranch, kBranch
    b += number(fault_resistance or 0.0)             # faultResistance
    b += number(distance) + number(50.0)             # faultDistance, branchDistance
    b += number(0.0)                                 # initialAngle
    b += number(0.5) + number(120.0) + number(0.05) + number(1.0)  # swing
    b += number(0.5) + number(0.1)                   # asynchronous operation
    b += complex_(54.0, 20.0)                        # zSwitched
    b += number(10000.0) + number(0.3)               # sampleRate, duration
    return b


def probes():
    b = number(0.05) + number(0.1) + number(0.125)   # host times
    b += struct.pack("<i", 4)                        # channel
    b += number(0.03)                                # tau
    b += struct.pack("<4I", 0, 999, 1000, 2999)      # sample indices
    return b


def steady_state(fault=1):
    b = struct.pack("<BB", fault, 1)                 # fault kind, voltage
    b += number(100.0) + number(0.5) + number(-1.0)  # value, angle, healthy value
    b += complex_(30.0, 40.0) + complex_(300.0, 100.0)  # complex value, power
    b += number(5.0) + number(57.735)                # current, voltage
    b += number(2.0) + number(1.2)                   # impedance point (polar)
    b += number(100.0) + number(math.radians(80.0))  # line impedance (polar)
    b += b"\x01"                                     # arc resistance
    b += number(1.0) + number(0.0)                   # k0
    b += complex_(1.0, 1.0)                          # RE/RL, XE/XL
    b += number(4.0) + number(0.0)                   # Z0/Z1
    b += struct.pack("<i", 7)                        # a ground factor mode out of range
    b += b"\x00"                                     # current reference
    b += complex_(0.1, 0.0) + complex_(10.0, 1.0) + complex_(0.5, -1.0)  # sequences
    b += struct.pack("<ii", 1, -1)                   # shift, index
    square = [(0.0, 0.0), (3.0, 0.0), (3.0, 3.0), (0.0, 3.0)]
    b += bytes([len(square)]) + b"".join(struct.pack("<ff", x, y) for x, y in square)
    b += struct.pack("<ff", 1.0, 1.5)                # point
    key = b"Faults.ABC_lin"
    b += bytes([len(key)]) + key
    return b


def block():
    b = number(0.05) + number(1e-4)                  # start time, step
    b += struct.pack("<H", 1200)                     # samples
    b += bytes([4])                                  # channel 3 (VA); -1 .. 6 from the byte
    return b


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {}
    for kind in range(13):
        seeds["kind%02d" % kind] = record(kind=kind, phase=1 if kind in (1, 3, 5, 7) else 0)
    for network in (1, 2, 3):
        seeds["network%d" % network] = record(network=network, kind=3)
    seeds["behind_relay"] = record(network=1, kind=2, distance=-10.0)
    seeds["fault_resistance"] = record(kind=4, fault_resistance=2.0)
    for name, body in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(body + probes() + steady_state(fault=len(name) % 11) + block())


if __name__ == "__main__":
    main()
