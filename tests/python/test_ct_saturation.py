"""The CT stage through the module: on a model channel and on a numpy array,
the record, the errors. The physics is tested in C++ (CtSaturationTest)."""
import numpy as np
import pytest

import kexcalculate as kc
from conftest import calculated_model

STEP = 1e-4
COUNT = 3000


def saturating_ct(**changes):
    """A CT that the default scenario's fault current drives into saturation."""
    fields = dict(frequency=50.0, windingResistance=0.2, burdenResistance=1.0, burdenReactance=0.3,
                  saturationVoltage=10.0, exponent=22.0, remanence=0.2)
    fields.update(changes)
    return kc.CtParameters(**fields)


def test_on_a_model_channel_and_on_samples():
    model = calculated_model()
    ct = kc.CtSaturation(saturating_ct(), maxStep=5e-5, tolerance=1e-6)
    assert (ct.maxStep, ct.tolerance) == (5e-5, 1e-6)
    ideal = model.sampleBlock(0.0, STEP, COUNT)[:, 0]  # a column of the (count, 6) block: not contiguous
    current, flux = ct.saturate(model, 0, STEP, COUNT, flux=True)
    assert current.dtype == np.float64 and current.shape == flux.shape == (COUNT,)
    assert flux[0] == pytest.approx(0.2 * ct.saturationFlux)
    departure = kc.CtSaturation.firstDeparture(ideal, current)
    assert departure is not None and departure * STEP > 0.1  # after the fault instant
    assert kc.CtSaturation.firstDeparture(ideal, ideal) is None
    from_samples = ct.saturateSamples(list(ideal), STEP)
    assert np.max(np.abs(from_samples - current)) < 1e-3 * np.max(np.abs(ideal))
    assert np.array_equal(ct.saturateSamples(ideal, STEP), from_samples)
    assert ct.excitationCurrent(ct.saturationFlux) > ct.excitationCurrent(0.5 * ct.saturationFlux) > 0


def test_record_and_copies():
    p = saturating_ct()
    ct = kc.CtSaturation(p)
    p.exponent = 10  # the stage copied the record
    assert ct.params.exponent == 22.0
    assert repr(kc.CtParameters(exponent=3)).startswith("CtParameters(frequency=0.0, ")
    with pytest.raises(TypeError, match="no field 'burden'"):
        kc.CtParameters(burden=1)
    with pytest.raises(TypeError, match="CtParameters.exponent"):
        p.exponent = "22"


@pytest.mark.parametrize("call, error, message", [
    (lambda: kc.CtSaturation(saturating_ct(exponent=0.5)), ValueError, "CtParameters.exponent: must be a number"),
    (lambda: kc.CtSaturation(saturating_ct(remanence=1.0)), ValueError, "CtParameters.remanence"),
    (lambda: kc.CtSaturation(saturating_ct(frequency=0)), ValueError, "CtParameters.frequency"),
    (lambda: kc.CtSaturation(saturating_ct(), maxStep=-1), ValueError, "maxStep"),
    (lambda: kc.CtSaturation(saturating_ct()).saturate(calculated_model(), 3, STEP, 10), ValueError, "channel"),
    (lambda: kc.CtSaturation(saturating_ct()).saturate("model", 0, STEP, 10), TypeError, "CalculationRl"),
    (lambda: kc.CtSaturation(saturating_ct()).saturate(calculated_model(), 0, 0.0, 10), ValueError, "step"),
    (lambda: kc.CtSaturation(saturating_ct()).saturate(calculated_model(), 0, STEP, -1), ValueError, "count"),
    (lambda: kc.CtSaturation(saturating_ct()).saturateSamples(np.zeros((3, 2)), STEP), ValueError, "samples"),
    (lambda: kc.CtSaturation(saturating_ct()).saturateSamples(["a"], STEP), TypeError, "samples"),
    (lambda: kc.CtSaturation.firstDeparture([1, 2], [1]), ValueError, "same length"),
])
def test_errors_name_the_argument(call, error, message):
    with pytest.raises(error, match=message):
        call()
