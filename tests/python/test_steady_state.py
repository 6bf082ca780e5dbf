"""The steady-state calculators through the module: the worked cases of
tests/data, and the conversions of the arguments."""
import cmath
import json
import math
import pathlib

import numpy as np
import pytest

import kexcalculate as kc

WORKED = json.loads((pathlib.Path(__file__).parents[1] / "data" / "steady_state_cases.json").read_text())


def calculated(case):
    """The voltage and current systems of a worked case, through the module."""
    kind, held = getattr(kc, case.get("kind", "AN")), case.get("voltage", case.get("current"))
    pair = lambda name: complex(*case.get(name, (0, 0)))  # noqa: E731
    calculation = case["calculation"]
    if calculation == "fault":
        source = kc.Voltage if case["quantity"] == "voltage" else kc.Current
        system = kc.CalculationFault.calculateFault(source, kind, case["value"], math.radians(case.get("angleDeg", 0)),
                                                    -1.0)
        return {"voltages" if source == kc.Voltage else "currents": system}
    if calculation == "power":
        p = kc.CalculationP
        ui = (p.calculatePUconst if "voltage" in case else p.calculatePIconst)(kind, pair("power"), held)
    elif calculation == "impedance":
        calculator, settings = kc.CalculationZ(), kc.DistanceParameters()
        calculator.voltageReference = case.get("voltageReference", False)
        if "k0" in case:
            settings.loop.k0 = (abs(pair("k0")), cmath.phase(pair("k0")))
        z = (abs(pair("z")), cmath.phase(pair("z")))
        if "sourceZ" in case:
            ui = calculator.calculateZZsconst(kind, z, pair("sourceZ"), pair("sourceFactors"), case["sourceVoltage"],
                                              settings)
        else:
            z_const = calculator.calculateZUconst if "voltage" in case else calculator.calculateZIconst
            ui = z_const(kind, z, held, -1.0, settings)
    else:
        system = kc.CalculationSymComponents.Calc3PhseSystem([pair("zero"), pair("positive"), pair("negative")])
        return {case["quantity"] + "s": system}
    return {"voltages": ui.voltages, "currents": ui.currents}


@pytest.mark.parametrize("case", WORKED["cases"], ids=lambda case: case["name"])
def test_worked_case(case):
    for name, system in calculated(case).items():
        expected = [complex(*pair) for pair in case.get(name, [])]
        if expected:
            np.testing.assert_allclose(system.phasors, expected, rtol=0, atol=WORKED["tolerance"])


def test_calculate_fault_with_a_complex_value_equals_magnitude_and_angle():
    by_phasor = kc.CalculationFault.calculateFault(kc.Voltage, kc.AB, 3 + 4j, 20.0)
    by_polar = kc.CalculationFault.calculateFault(kc.Voltage, kc.AB, 5.0, math.atan2(4, 3), 20.0)
    np.testing.assert_allclose(by_phasor.values, by_polar.values, atol=1e-13)
    assert complex(kc.CalculationP._calcUForSI(kc.ABC, kc.Complex(300, 0), 5.0)) == pytest.approx(20)


def test_sequence_forms_take_lists_records_triples_and_outputs():
    sym = kc.CalculationSymComponents
    expected = sym.Calc3PhseSystem([1, 2j, -3]).phasors  # the form of the worked cases
    np.testing.assert_array_equal(sym.Calc3PhseSystem(kc.SymComponents([1, 2j, -3])).phasors, expected)
    np.testing.assert_array_equal(sym.Calc3PhseSystem(kc.Complex3(1, 2j, -3)).phasors, expected)
    np.testing.assert_array_equal(sym.CalcComplex3PhseSystem(1, 2j, -3).values, expected)
    phases = kc.Complex3()
    sym.setFaultValues([1, 2j, -3], phases)
    np.testing.assert_array_equal(phases.values, expected)
    with pytest.raises(TypeError):  # a list would be a temporary copy
        sym.setFaultValues([1, 2j, -3], [0, 0, 0])


def test_distance_parameters_are_live():
    calculator, p = kc.CalculationZ(), kc.DistanceParameters()
    assert complex(calculator._faultLoopZ(kc.AN, 1 + 2j, p)) == pytest.approx(2 + 4j)  # k0 = 1
    p.loop.groundFactorMode = kc.RE_RL_XE_XL
    p.loop.reRlXeXl = 2 + 0.5j
    assert complex(calculator._groundZ(1 + 4j, p)) == pytest.approx(2 + 2j)
    assert complex(calculator.parallel(2, 2)) == pytest.approx(1)


SQUARE = [(0, 0), (1, 0), (1, 1), (0, 1)]


@pytest.mark.parametrize("polygon", [SQUARE, np.array(SQUARE, dtype=float), [kc.PointF(x, y) for x, y in SQUARE]])
def test_point_in_polygon_takes_lists_and_arrays(polygon):
    assert kc.isPointInPoligon(polygon, (0.5, 0.5))
    assert not kc.isPointInPoligon(polygon, (1.5, 0.5))
    inside = kc.isPointInPoligon(polygon, np.array([[0.5, 0.5], [2.0, 2.0], [0.25, 0.75]]))
    np.testing.assert_array_equal(inside, [True, False, True])


@pytest.mark.parametrize(
    "polygon, point, error",
    [
        (np.zeros((4, 3)), (0.5, 0.5), ValueError),
        (SQUARE, (0.5, 0.5, 0.5), ValueError),
        (SQUARE, "ab", TypeError),
        ([(0, 0), (1, "x")], (0.5, 0.5), TypeError),
        (42, (0.5, 0.5), TypeError),
    ],
)
def test_point_in_polygon_rejects_bad_shapes(polygon, point, error):
    with pytest.raises(error):
        kc.isPointInPoligon(polygon, point)


def test_translated_strings_follow_the_language():
    before = kc.lng.language()
    try:
        kc.lng.setLanguage(0)
        assert kc.lng.get("Faults.ABC_lin") == "ABC line"
        kc.lng.setLanguage(1)
        assert kc.lng.get("Faults.ABC_lin") == "ABC лин."
        assert kc.lng.get("no.such.key") == "no.such.key"
        with pytest.raises(ValueError):
            kc.lng.setLanguage(256)
    finally:
        kc.lng.setLanguage(before)


def test_enums_fault_lists_and_arguments_of_the_wrong_type():
    assert int(kc.Fault.ABC_lin) == 10 and kc.BC == kc.Fault.BC
    assert list(kc.FaultsList) == [kc.Fault(k) for k in range(11)]
    assert kc.Fault.ABC_lin not in kc.ZFaultsList and len(kc.ZFaultsList) == 10
    with pytest.raises(TypeError):
        kc.CalculationFault.calculateFault(kc.Voltage, "BC", 100, 0, -1)
    with pytest.raises(TypeError):
        kc.CalculationZ().calculateZZsconst(kc.AN, (2.0, 0.0), "1", 1 + 1j, 10.0, kc.DistanceParameters())
