"""The transient model through the module: the record, keeping it alive, the
state as numpy arrays, and the vectorised sampling against getMgn."""
import cmath
import copy
import gc
import math
import pickle
import weakref

import numpy as np
import pytest

import kexcalculate as kc
from conftest import DEFAULT_RECORD, calculated_model, sampled_while_recalculating

PRE_FAULT = DEFAULT_RECORD["preFaultDuration"]
U_LOAD = DEFAULT_RECORD["loadVoltage"]
I_LOAD = cmath.rect(DEFAULT_RECORD["loadCurrent"], -math.radians(DEFAULT_RECORD["loadAngle"]))


# ------------------------------------------------------------- RlParameters

def test_record_from_keywords_reads_back_every_field_and_copies():
    p = kc.RlParameters(**DEFAULT_RECORD)
    for name, value in DEFAULT_RECORD.items():
        got = getattr(p, name)
        assert (complex(got) if isinstance(value, complex) else got) == value, name
    for other in (p.copy(), copy.copy(p), copy.deepcopy(p), pickle.loads(pickle.dumps(p))):
        assert repr(other) == repr(p)
        other.faultKind = 9
        assert p.faultKind == 2


def test_record_fields_default_to_zero_are_writable_and_unknown_ones_refused():
    p = kc.RlParameters(loadVoltage=10)
    assert p.loadVoltage == 10.0 and p.frequency == 0.0 and p.faultKind == 0
    assert complex(p.zS1) == 0 and p.useFaultResistance is False
    with pytest.raises(TypeError, match="faultKnd"):
        kc.RlParameters(faultKnd=2)
    p.zS1 = 1 + 2j
    p.zS1.re = 3.0  # a complex field is a live view
    assert complex(p.zS1) == 3 + 2j
    p.networkType = -1
    p.faultKind = np.uint8(11)
    p.useFaultResistance = True
    p.frequency = np.float64(60)
    assert (p.networkType, p.faultKind, p.useFaultResistance, p.frequency) == (-1, 11, True, 60.0)


@pytest.mark.parametrize(
    "field, value, error",
    [
        ("faultKind", 2.5, TypeError),
        ("faultKind", 256, ValueError),
        ("faultPhase", -1, ValueError),
        ("networkType", 128, ValueError),
        ("zS1", "0.5+6j", TypeError),
        ("loadVoltage", "57.7", TypeError),
        ("loadVoltage", 1j, TypeError),
        ("useFaultResistance", "yes", TypeError),
    ],
)
def test_record_rejects_bad_values_naming_the_field(field, value, error):
    with pytest.raises(error, match=f"RlParameters.{field}"):
        kc.RlParameters(**{field: value})
    p = kc.RlParameters()
    with pytest.raises(error, match=f"RlParameters.{field}"):
        setattr(p, field, value)


# ------------------------------------------------------ keeping the record

def test_model_holds_its_record_takes_its_changes_at_calculate_and_lets_it_go():
    params = kc.RlParameters(**DEFAULT_RECORD)
    alive = weakref.ref(params)
    model = kc.CalculationRl(params)
    del params
    gc.collect()
    assert alive() is not None and model.params is alive()
    model.calculate()
    np.testing.assert_array_equal(model.sampleBlock(0.0, 1e-4, 3000), calculated_model().sampleBlock(0.0, 1e-4, 3000))
    alive().faultKind = 12  # no disturbance: the pre-fault state simply continues
    model.calculate()
    np.testing.assert_allclose(model._faultI, model._predI, atol=1e-12)
    other = kc.RlParameters(**DEFAULT_RECORD)
    model.params = other
    model.calculate()
    assert model._params is other and not np.allclose(model._faultI, model._predI)
    gone = weakref.ref(other)
    del model, other
    gc.collect()
    assert alive() is None and gone() is None


@pytest.mark.parametrize("bad", [None, 5, {"faultKind": 2}])
def test_model_needs_a_record(bad):
    with pytest.raises(TypeError, match="RlParameters"):
        kc.CalculationRl(bad)


@pytest.mark.parametrize("field, value", [("frequency", math.nan), ("loadVoltage", math.inf), ("zLine", 1 + 1j)])
def test_model_without_a_finite_calculation_raises_instead_of_sampling_zeros(field, value):
    params = kc.RlParameters(**DEFAULT_RECORD)
    model = kc.CalculationRl(params)
    with pytest.raises(RuntimeError, match=r"CalculationRl.sampleBlock: .*call calculate\(\) first"):
        model.sampleBlock(0.0, 1e-4, 10)  # never calculated
    setattr(params, field, value)
    if field == "zLine":
        params.zLine.im = -math.inf  # the live view bypasses the assignment
    with pytest.raises(ValueError, match=f"RlParameters.{field} must be finite"):
        model.calculate()
    for call in (lambda: model.getMgn(0, 0.1), lambda: model.sample([0.1]),
                 lambda: kc.write_comtrade("never", model, 1000.0, 0.2)):
        with pytest.raises(RuntimeError, match="call calculate"):
            call()


# ------------------------------------------- the state as Python values
# (the physics of these values is checked by the C++ tests)

def test_state_and_swing_values_as_python_values():
    model = calculated_model(faultKind=8)
    assert model._predU.shape == (3,) and model._predU.dtype == np.complex128
    assert complex(model._predU[0]) == pytest.approx(U_LOAD, abs=1e-9)
    start = model.getE1E2UI(0.0)
    e1, e2, u, i = start
    assert (complex(e1), complex(u), complex(i)) == (complex(start.e1), complex(start.u), complex(start.i))
    assert complex(i) == pytest.approx(I_LOAD, abs=1e-12)
    extremes = model.getSwingOrAmowUIValues()
    assert extremes.iMax > 0 and extremes.uMax >= extremes.uMin >= 0


def test_channel_activity():
    model = calculated_model(loadCurrent=0.0, faultKind=12)  # no load, no disturbance
    assert [model.isChnnelActiv(c) for c in range(6)] == [False] * 3 + [True] * 3
    assert not model.isChnnelActiv(6) and model.getMgn(6, 0.05) == 0.0


# ----------------------------------------------------------------- sampling

def test_sampling_equals_getmgn_element_by_element():
    # Block sampling to within 1e-9 of the peak; on every kind and network in the C++ tests.
    model = calculated_model()

    def check(times, rows):
        assert rows.shape == (len(times), 6) and rows.dtype == np.float64
        expected = [[model.getMgn(channel, float(t)) for channel in range(6)] for t in times]
        np.testing.assert_allclose(rows, expected, rtol=0, atol=1e-9 * np.max(np.abs(rows)))

    times = np.concatenate([np.linspace(0.0, 0.3, 1201), [PRE_FAULT, PRE_FAULT - 1e-12, 0.5, -0.01]])
    check(times, model.sample(times))
    check(times[:20], model.sample(list(times[:20])))
    for start, step, count in [(0.0, 1e-4, 3000), (0.0995, 1.0 / 7777.0, 500), (0.3, -1e-3, 10)]:
        check([start + k * step for k in range(count)], model.sampleBlock(start, step, count))
    assert model.sampleBlock(0.0, 1e-4, 0).shape == model.sample([]).shape == (0, 6)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda m: m.sample(np.zeros((3, 2))), ValueError),
        (lambda m: m.sample(0.1), ValueError),
        (lambda m: m.sample(["a", "b"]), (TypeError, ValueError)),
        (lambda m: m.sampleBlock(0.0, 1e-4, -1), ValueError),
        (lambda m: m.sampleBlock(0.0, math.nan, 10), ValueError),
        (lambda m: m.sampleBlock(math.inf, 1e-4, 10), ValueError),
        (lambda m: m.sampleBlock(0.0, 1e-4, 2.5), TypeError),
        (lambda m: m.getMgn("IA", 0.1), TypeError),
    ],
)
def test_bad_sampling_arguments_raise(call, error):
    with pytest.raises(error):
        call(calculated_model())


def test_sampling_in_threads_while_the_model_recalculates():
    # Each sampling call works on a copy taken with the GIL held, so a
    # calculate() in another thread never shows it a half-computed state.
    model = calculated_model()
    expected = model.sampleBlock(0.0, 1e-4, 3000)
    for rows in sampled_while_recalculating(lambda: model.sampleBlock(0.0, 1e-4, 3000), model.calculate):
        np.testing.assert_array_equal(rows, expected)
