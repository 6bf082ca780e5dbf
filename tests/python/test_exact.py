"""The exact transients through the module: the status, the modes as numpy
arrays, sampling, the copy it keeps, and the records it refuses. The physics
is tested in C++ (CalculationRlExactTest)."""
import gc

import numpy as np
import pytest

import kexcalculate as kc
from conftest import calculated_model, sampled_while_recalculating


def test_modes_and_samples_of_the_default_record():
    exact = kc.CalculationRlExact(calculated_model())
    assert exact.status == kc.RlExactStatus.Exact
    assert exact.statusText.startswith("exact")
    taus, dc = exact.modeTimeConstants, exact.modeDc
    assert taus.shape == (3,) and dc.shape == (3, 6) and exact.initialDc.shape == (6,)
    assert np.all(np.diff(taus) < 0)  # longest first
    np.testing.assert_allclose(exact.initialDc, dc.sum(axis=0), rtol=1e-12)
    times = np.arange(3000) * 1e-4
    expected = np.array([[exact.getMgn(channel, t) for channel in range(6)] for t in times])
    np.testing.assert_array_equal(exact.sample(times), expected)
    peaks = np.abs(expected).max(axis=0)  # the block sampling's bound, channel by channel
    assert np.all(np.abs(exact.sampleBlock(0.0, 1e-4, 3000) - expected).max(axis=0) <= 1e-9 * peaks)


def test_keeps_its_own_copy_of_the_model_and_record():
    model = calculated_model()
    exact = kc.CalculationRlExact()
    assert exact.status == kc.RlExactStatus.NotCalculated
    exact.calculate(model)
    before = exact.sampleBlock(0.0, 1e-4, 2000)
    model.params.preFaultDuration = 0.05
    model.params.faultKind = 0
    model.calculate()
    del model
    gc.collect()
    np.testing.assert_array_equal(exact.sampleBlock(0.0, 1e-4, 2000), before)


def test_kind_outside_the_scope_is_the_models_waveform():
    model = calculated_model(faultKind=10)
    exact = kc.CalculationRlExact(model)
    assert exact.status == kc.RlExactStatus.KindOutsideScope
    assert exact.modeTimeConstants.shape == (0,) and exact.modeDc.shape == (0, 6)
    np.testing.assert_array_equal(exact.sampleBlock(0.0, 1e-4, 3000), model.sampleBlock(0.0, 1e-4, 3000))


@pytest.mark.parametrize(
    "call",
    [
        lambda e: e.getMgn(0, 0.1),
        lambda e: e.sample([0.1]),
        lambda e: e.sampleBlock(0.0, 1e-4, 10),
        lambda e: kc.CtSaturation(kc.CtParameters(frequency=50.0, burdenResistance=1.0, saturationVoltage=10.0,
                                                  exponent=22.0)).saturate(e, 0, 1e-4, 10),
    ],
)
def test_a_network_without_exact_transients_has_no_waveforms(call):
    exact = kc.CalculationRlExact(calculated_model(faultDistance=150.0))  # beyond the line's end
    assert exact.status == kc.RlExactStatus.NotPassive
    with pytest.raises(ValueError, match="no exact transients: network not passive"):
        call(exact)
    with pytest.raises(ValueError, match="no exact transients: not calculated"):
        call(kc.CalculationRlExact())


def test_needs_a_model():
    with pytest.raises(TypeError, match="model must be a calculated CalculationRl, got RlParameters"):
        kc.CalculationRlExact(kc.RlParameters())
    with pytest.raises(TypeError, match="calculate: model"):
        kc.CalculationRlExact().calculate(None)


def test_sampling_in_threads_while_it_recalculates():
    model = calculated_model()
    exact = kc.CalculationRlExact(model)
    expected = exact.sampleBlock(0.0, 1e-4, 3000)
    for rows in sampled_while_recalculating(lambda: exact.sampleBlock(0.0, 1e-4, 3000), lambda: exact.calculate(model)):
        np.testing.assert_array_equal(rows, expected)
