"""Scenarios through the module: the command line's reader, checks and
messages, from JSON text, a file or a dict."""
import json
import math
import pathlib

import numpy as np
import pytest

import kexcalculate as kc

SCENARIOS = json.loads((pathlib.Path(__file__).parents[1] / "data" / "scenarios.json").read_text())


def test_default_scenario_is_the_built_in_one():
    s = kc.default_scenario()
    assert (s.sampleRate, s.duration, s.sampleCount, s.station, s.device) == (10000.0, 0.3, 3000, "KexCalculate",
                                                                               "kexcalc")
    assert s.startTime == "2000-01-01 00:00:00" and s.startTimeNanoseconds == 946684800 * 10**9
    assert s.aperiodicModel == "exact" and s.ct is None
    assert (s.record.faultKind, s.record.faultDistance, complex(s.record.zLine)) == (2, 50.0, 1.2 + 12j)
    assert kc.load_scenario(s.to_json()).to_json() == s.to_json()


@pytest.mark.parametrize("form", ["text", "path", "dict"])
def test_scenario_from_text_a_file_or_a_dict(tmp_path, form):
    text = '{"faultKind": "two-phase", "faultPhase": "BC", "zS1": [0.5, 7], "sampleRate": 4000}'
    path = tmp_path / "bc.json"
    path.write_text(text)
    source = {"text": text, "path": path,
              "dict": {"faultKind": "two-phase", "faultPhase": "BC", "zS1": 0.5 + 7j, "sampleRate": np.int64(4000)}}
    s = kc.load_scenario(source[form])
    assert (s.record.faultKind, s.record.faultPhase, complex(s.record.zS1), s.sampleCount) == (1, 1, 0.5 + 7j, 1200)
    model = kc.CalculationRl(s.record)
    model.calculate()
    assert model.sampleBlock(0.0, 1.0 / s.sampleRate, s.sampleCount).shape == (1200, 6)


def test_a_scenarios_cts_are_ct_parameters_of_its_frequency():
    s = kc.load_scenario({"frequency": 60, "ct": {"saturationVoltage": 20, "remanence": [0.2, 0, -0.2]}})
    assert [ct.remanence for ct in s.ct] == [0.2, 0.0, -0.2]
    assert (s.ct[0].frequency, s.ct[0].saturationVoltage, s.ct[0].burdenResistance) == (60.0, 20.0, 4.0)


@pytest.mark.parametrize(
    "source, error, lines",
    [
        ({"faultKnd": 2, "frequency": math.nan}, ValueError,
         ["faultKnd: unknown key; did you mean faultKind?", 'frequency: must be a number, not the string "nan"']),
        ({"ct": {"exponent": math.inf}}, ValueError, ['ct.exponent: must be a number, not the string "inf"']),
        ("/dev/zero", ValueError, ["/dev/zero: larger than 4 MiB"]),
        ("/no/such/scenario.json", FileNotFoundError, ["/no/such/scenario.json"]),
        (42, TypeError, ["JSON text, a file path or a dict"]),
    ],
)
def test_bad_scenarios_raise_the_command_lines_messages(source, error, lines):
    with pytest.raises(error) as raised:
        kc.load_scenario(source)
    text = str(raised.value)
    assert all(line in text for line in lines), text
    if hasattr(raised.value, "problems"):
        assert raised.value.problems == text.splitlines()


# The reader's own problems pass through the module as they stand: a few of
# the reader's table (a typo, bad JSON, a CT key, text that is not ASCII, an
# escape in a key); the reader's tests go through all of it.
@pytest.mark.parametrize("case", [case for case in SCENARIOS["malformed"] if case["what"] in (
    "Typo", "SyntaxError", "CtTypo", "StationNotAscii", "KeyWithEscape")], ids=lambda case: case["what"])
def test_malformed_scenario_text_raises_the_readers_problem(case):
    with pytest.raises(ValueError) as raised:
        kc.load_scenario(case["json"])
    assert raised.value.problems[0].startswith(case["key"] + ": ") and case["mentions"] in str(raised.value)
