"""write_comtrade: the files it produces read back to the samples, and bad
input raises before anything appears."""
import datetime
import os
import struct

import numpy as np
import pytest

import kexcalculate as kc
from conftest import calculated_model

RATE = 4000.0


def waveform(count=400):
    t = np.arange(count) / RATE
    phases = np.array([0.0, -2.0943951023931953, 2.0943951023931953])
    currents = 5.0 * np.sin(2 * np.pi * 50 * t[:, None] + phases)
    voltages = 81.65 * np.sin(2 * np.pi * 50 * t[:, None] + phases + 0.3)
    return np.hstack([currents, voltages])


def read_cfg(path):
    with open(path, "rb") as f:
        text = f.read().decode("ascii")
    assert text.endswith("\r\n")
    return text.split("\r\n")[:-1]


def timing(lines):
    """The lines after the channel lines: frequency, rates, start, trigger, format, timemult."""
    first = 2 + int(lines[1].split(",")[0])
    frequency, rates, rate, start, trigger, data_format, timemult = lines[first:first + 7]
    assert rates == "1"
    return dict(frequency=frequency, rate=rate, start=start, trigger=trigger, format=data_format,
                timemult=timemult)


def analog_scaling(lines):
    """(id, a, b) of each analog channel of a cfg."""
    count = int(lines[1].split(",")[1].rstrip("A"))
    return [(fields[1], float(fields[5]), float(fields[6]))
            for fields in (line.split(",") for line in lines[2:2 + count])]


def read_binary16(dat_path, analog, status_words):
    record = struct.Struct("<II" + "h" * analog + "H" * status_words)
    with open(dat_path, "rb") as f:
        data = f.read()
    assert len(data) % record.size == 0
    return [record.unpack_from(data, k * record.size) for k in range(len(data) // record.size)]


def files_in(directory):
    return sorted(os.listdir(directory))


def test_binary_pair_reads_back_to_the_samples(tmp_path):
    samples = waveform()
    written = kc.write_comtrade(str(tmp_path / "fault"), samples, RATE, pre_fault_duration=0.05)
    assert written == [str(tmp_path / "fault.cfg"), str(tmp_path / "fault.dat")]
    assert files_in(tmp_path) == ["fault.cfg", "fault.dat"]  # no temporaries left

    lines = read_cfg(tmp_path / "fault.cfg")
    assert lines[0] == "KexCalculate,kexcalculate,1999"
    assert lines[1] == "7,6A,1D"
    scaling = analog_scaling(lines)
    assert [s[0] for s in scaling] == ["IA", "IB", "IC", "VA", "VB", "VC"]
    assert timing(lines) == dict(frequency="50", rate=f"4000,{len(samples)}", start="01/01/2000,00:00:00.000000",
                                 trigger="01/01/2000,00:00:00.050000",  # at the disturbance
                                 format="BINARY", timemult="250")

    rows = read_binary16(tmp_path / "fault.dat", 6, 1)
    assert len(rows) == len(samples)
    for k, row in enumerate(rows):
        assert row[0] == k + 1 and row[1] == k
        for channel, (_, a, b) in enumerate(scaling):
            assert abs(a * row[2 + channel] + b - samples[k, channel]) <= a / 2 * (1 + 1e-9)
        assert row[8] == (0 if k / RATE < 0.05 else 1)


@pytest.mark.parametrize("source", [calculated_model, lambda: kc.CalculationRlExact(calculated_model())])
def test_model_record_reads_back_to_the_model(tmp_path, source):
    model = source()
    kc.write_comtrade(tmp_path / "model", model, RATE, 0.2, revision="2013")
    lines = read_cfg(tmp_path / "model.cfg")
    assert lines[0] == "KexCalculate,kexcalculate,2013"
    assert timing(lines)["rate"] == "4000,800"
    assert timing(lines)["trigger"] == "01/01/2000,00:00:00.100000"  # preFaultDuration of the record
    expected = model.sample(np.arange(800) / RATE)
    scaling = analog_scaling(lines)
    for k, row in enumerate(read_binary16(tmp_path / "model.dat", 6, 1)):
        for channel, (_, a, b) in enumerate(scaling):
            assert abs(a * row[2 + channel] + b - expected[k, channel]) <= a / 2 * (1 + 1e-9)
        assert row[8] == (0 if k / RATE < 0.1 else 1)


@pytest.mark.parametrize(
    "options, names",
    [
        ({"revision": "2013", "single_file": True}, ["one.cff"]),
        ({"revision": 2013, "format": "FLOAT32"}, ["one.cfg", "one.dat"]),
        ({"format": "ascii"}, ["one.cfg", "one.dat"]),
    ],
)
def test_formats_and_single_file(tmp_path, options, names):
    kc.write_comtrade(tmp_path / "one", waveform(50), RATE, **options)
    assert files_in(tmp_path) == names
    if options.get("format") == "ascii":
        assert len(read_cfg(tmp_path / "one.dat")) == 50


def test_start_time_from_a_datetime(tmp_path):
    start = datetime.datetime(2021, 5, 6, 7, 8, 9, 123456)  # naive: UTC
    kc.write_comtrade(tmp_path / "t", waveform(10), RATE, start_time=start)
    lines = read_cfg(tmp_path / "t.cfg")
    assert timing(lines)["start"] == "06/05/2021,07:08:09.123456"
    assert timing(lines)["trigger"] == timing(lines)["start"]  # no disturbance instant given


def test_existing_files_are_replaced_unless_read_only(tmp_path):
    (tmp_path / "r.cfg").write_text("old")
    kc.write_comtrade(tmp_path / "r", waveform(10), RATE)
    assert read_cfg(tmp_path / "r.cfg")[0].startswith("KexCalculate,")
    before = (tmp_path / "r.cfg").read_bytes()
    (tmp_path / "r.dat").chmod(0o444)
    with pytest.raises(PermissionError, match="r.dat"):
        kc.write_comtrade(tmp_path / "r", waveform(20), RATE)
    assert files_in(tmp_path) == ["r.cfg", "r.dat"] and (tmp_path / "r.cfg").read_bytes() == before


def nan_samples():
    samples = waveform(20)
    samples[7, 4] = np.nan
    return samples


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((nan_samples(), RATE), {}, ValueError, r"samples\[7\]: non-finite value \(channel VB\)"),
        ((waveform(20), RATE), {"single_file": True}, ValueError, "2013"),
        ((waveform(20), RATE), {"revision": "2013", "format": "binary64"}, ValueError, "format"),
        ((waveform(20), RATE), {"revision": "2000"}, ValueError, "revision"),
        ((waveform(20)[:, :5], RATE), {}, ValueError, r"\(N, 6\)"),
        ((waveform(20), 0.0), {}, ValueError, "sample_rate"),
        ((waveform(20), RATE, 0.1), {}, ValueError, "duration"),
        ((waveform(20), RATE), {"pre_fault_duration": 5.0}, ValueError, "pre_fault_duration: the disturbance at 5 s"),
        ((calculated_model(), RATE, 0.05), {}, ValueError, "duration: the disturbance at 0.1 s"),
        ((waveform(20), RATE), {"station_name": "a,b"}, ValueError, "stationName: contains a comma"),
        (("not samples", RATE), {}, (TypeError, ValueError), "samples"),
        ((calculated_model(), RATE), {}, ValueError, "duration"),
        ((calculated_model(), RATE, 0.1), {"line_frequency": 60.0}, ValueError, "line_frequency"),
        ((kc.CalculationRlExact(calculated_model(faultDistance=150.0)), RATE, 0.1), {}, ValueError,
         "source: no exact transients: network not passive"),
        ((waveform(20), RATE), {"start_time": 1.5}, TypeError, "start_time"),
    ],
)
def test_bad_input_raises_and_writes_nothing(tmp_path, args, kwargs, error, message):
    with pytest.raises(error, match=message):
        kc.write_comtrade(tmp_path / "bad", *args, **kwargs)
    assert files_in(tmp_path) == []


def test_missing_directory_is_an_os_error(tmp_path):
    with pytest.raises(FileNotFoundError):
        kc.write_comtrade(tmp_path / "missing" / "x", waveform(10), RATE)
    assert files_in(tmp_path) == []
