"""write_comtrade: what the binding adds to the writer (the array and model
sources, the options, the start time, the files it leaves) and the errors it
raises before anything appears. The writer's layout and scaling are tested in
C++ (ComtradeWriterTest)."""
import datetime
import os

import numpy as np
import pytest

import kexcalculate as kc
from conftest import calculated_model

RATE = 4000.0
# A FLOAT32 record of the six channels and one status word: the values as written.
FLOAT32_ROW = np.dtype([("n", "<u4"), ("timestamp", "<u4"), ("values", "<f4", 6), ("status", "<u2")])


def waveform(count=400):
    return 80 * np.sin(np.arange(6 * count).reshape(count, 6) / 7)  # every sample of every channel its own


def cfg_lines(path):
    return path.read_bytes().decode("ascii").split("\r\n")


def files_in(directory):
    return sorted(os.listdir(directory))


def test_array_columns_are_the_six_channels_in_order(tmp_path):
    samples = waveform()
    written = kc.write_comtrade(str(tmp_path / "fault"), samples, RATE, revision=2013, format="FLOAT32",
                                pre_fault_duration=0.05)
    assert written == [str(tmp_path / "fault.cfg"), str(tmp_path / "fault.dat")]
    assert files_in(tmp_path) == ["fault.cfg", "fault.dat"]  # no temporaries left
    lines = cfg_lines(tmp_path / "fault.cfg")
    assert lines[:2] == ["KexCalculate,kexcalculate,2013", "7,6A,1D"]
    assert [line.split(",")[1] for line in lines[2:9]] == ["IA", "IB", "IC", "VA", "VB", "VC", "FAULT"]
    assert lines[9:14] == ["50", "1", "4000,400", "01/01/2000,00:00:00.000000", "01/01/2000,00:00:00.050000"]
    rows = np.fromfile(tmp_path / "fault.dat", dtype=FLOAT32_ROW)
    np.testing.assert_array_equal(rows["n"], np.arange(1, 401))
    np.testing.assert_array_equal(rows["values"], samples.astype(np.float32))
    np.testing.assert_array_equal(rows["status"], np.arange(400) >= 0.05 * RATE)  # from the disturbance on


@pytest.mark.parametrize("exact", [False, True])
def test_model_writes_what_its_samples_write(tmp_path, exact):
    # The record gives the line frequency and the disturbance instant.
    model = calculated_model(frequency=60.0)
    source = kc.CalculationRlExact(model) if exact else model
    kc.write_comtrade(tmp_path / "model", source, RATE, 0.2)
    kc.write_comtrade(tmp_path / "samples", source.sampleBlock(0.0, 1 / RATE, 800), RATE, line_frequency=60.0,
                      pre_fault_duration=model.params.preFaultDuration)
    for suffix in ("cfg", "dat"):
        assert (tmp_path / f"model.{suffix}").read_bytes() == (tmp_path / f"samples.{suffix}").read_bytes()


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
        assert len(cfg_lines(tmp_path / "one.dat")) == 51  # 50 lines, each ended by CR LF


def test_start_time_from_a_datetime(tmp_path):
    start = datetime.datetime(2021, 5, 6, 7, 8, 9, 123456)  # naive: UTC
    kc.write_comtrade(tmp_path / "t", waveform(10), RATE, start_time=start)
    # Without a disturbance instant the trigger is the start.
    assert cfg_lines(tmp_path / "t.cfg")[11:13] == ["06/05/2021,07:08:09.123456"] * 2


def test_existing_files_are_replaced_unless_read_only_and_os_errors_are_python_ones(tmp_path):
    (tmp_path / "r.cfg").write_text("old")
    kc.write_comtrade(tmp_path / "r", waveform(10), RATE)
    before = (tmp_path / "r.cfg").read_bytes()
    lines = cfg_lines(tmp_path / "r.cfg")
    assert lines[0] == "KexCalculate,kexcalculate,1999" and lines[13] == "BINARY"  # the defaults
    (tmp_path / "r.dat").chmod(0o444)
    with pytest.raises(PermissionError, match="r.dat"):
        kc.write_comtrade(tmp_path / "r", waveform(20), RATE)
    with pytest.raises(FileNotFoundError):
        kc.write_comtrade(tmp_path / "missing" / "x", waveform(10), RATE)
    assert files_in(tmp_path) == ["r.cfg", "r.dat"] and (tmp_path / "r.cfg").read_bytes() == before


def nan_samples():
    samples = waveform(20)
    samples[7, 4] = np.nan
    return samples


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((nan_samples(), RATE), {}, ValueError, r"samples\[7\]: non-finite value \(channel VB\)"),
        ((waveform(20), RATE), {"revision": "2013", "format": "binary64"}, ValueError, "format"),
        ((waveform(20), RATE), {"revision": "2000"}, ValueError, "revision"),
        ((waveform(20)[:, :5], RATE), {}, ValueError, r"\(N, 6\) \(IA, IB, IC, VA, VB, VC\), got shape \(20, 5\)$"),
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
