"""The steady-state calculators through the module, against values worked out
by hand from the fault-loop definitions."""
import cmath
import math

import numpy as np
import pytest

import kexcalculate as kc

H = 100 / math.sqrt(3)  # default healthy-phase voltage, 57.735 V
A120 = cmath.exp(2j * math.pi / 3)


def phasors(system):
    return system.phasors


@pytest.mark.parametrize(
    "source, fault, value, expected",
    [
        # B-C loop of 100 V: each faulted phase takes half the loop voltage
        # along the loop, the healthy phase A stands at +90 degrees.
        (kc.Voltage, kc.BC, 100, [1j * H, 50 - 0.5j * H, -50 - 0.5j * H]),
        # Currents: the loop value is not halved and the healthy phase carries 0.
        (kc.Current, kc.BC, 5, [0, 5, -5]),
        # A to ground: the faulted phase at 0, the healthy ones where they were.
        (kc.Voltage, kc.AN, 30, [30, H / A120, H * A120]),
        # A line value of 100 V is a phase value of 100/sqrt(3) on all three.
        (kc.Voltage, kc.ABC_lin, 100, [H, H / A120, H * A120]),
    ],
)
def test_calculate_fault_places_the_loop_value(source, fault, value, expected):
    system = kc.CalculationFault.calculateFault(source, fault, value, 0.0, -1.0)
    np.testing.assert_allclose(phasors(system), expected, atol=1e-12)


def test_calculate_fault_with_a_complex_value_equals_magnitude_and_angle():
    by_phasor = kc.CalculationFault.calculateFault(kc.Voltage, kc.AB, 3 + 4j, 20.0)
    by_polar = kc.CalculationFault.calculateFault(kc.Voltage, kc.AB, 5.0, math.atan2(4, 3), 20.0)
    np.testing.assert_allclose(by_phasor.values, by_polar.values, atol=1e-13)
    loop = complex(by_phasor.a() - by_phasor.b())
    assert loop == pytest.approx(3 + 4j)


def test_power_with_constant_current():
    # 100 W in the A-ground loop at 5 A: 20 V in phase with the current.
    ui = kc.CalculationP.calculatePIconst(kc.AN, 100 + 0j, 5.0)
    np.testing.assert_allclose(ui.voltages.phasors, [20, H / A120, H * A120], atol=1e-12)
    np.testing.assert_allclose(ui.currents.phasors, [5, 0, 0], atol=1e-12)
    assert complex(kc.CalculationP._calcUForSI(kc.ABC, kc.Complex(300, 0), 5.0)) == pytest.approx(20)


def test_power_with_constant_voltage_gives_the_angle_to_the_current():
    # Pure Q of 100 var at 20 V: 5 A leading by 90 degrees.
    ui = kc.CalculationP.calculatePUconst(kc.AN, 100j, 20.0)
    assert complex(ui.currents.a()) == pytest.approx(5j, abs=1e-12)
    assert complex(ui.voltages.a()) == pytest.approx(20, abs=1e-12)


def test_sequence_to_phase_transform():
    V = 10 + 0j
    positive = kc.CalculationSymComponents.CalcComplex3PhseSystem(0, V, 0)
    np.testing.assert_allclose(positive.values, [V, V / A120, V * A120], atol=1e-13)
    zero = kc.CalculationSymComponents.Calc3PhseSystem([V, 0, 0])
    np.testing.assert_allclose(zero.values, [V, V, V, V], atol=1e-13)
    by_record = kc.CalculationSymComponents.Calc3PhseSystem(kc.SymComponents([1, 2j, -3]))
    by_triple = kc.CalculationSymComponents.Calc3PhseSystem(kc.Complex3(1, 2j, -3))
    np.testing.assert_array_equal(by_record.values, by_triple.values)
    phases = kc.Complex3()
    kc.CalculationSymComponents.setFaultValues([0, V, 0], phases)
    np.testing.assert_allclose(phases.values, [V, V / A120, V * A120], atol=1e-13)
    with pytest.raises(TypeError):  # a list would be a temporary copy
        kc.CalculationSymComponents.setFaultValues([0, V, 0], [0, 0, 0])


def test_impedance_test_values():
    calculator = kc.CalculationZ()
    settings = kc.DistanceParameters()  # k0 = 1: the ground loop doubles the line drop
    ui = calculator.calculateZIconst(kc.AN, (2.0, 0.5), 5.0, 0.0, settings)
    assert complex(ui.voltages.a()) == pytest.approx(cmath.rect(20, 0.5), abs=1e-12)
    np.testing.assert_allclose(ui.currents.phasors, [5, 0, 0], atol=1e-12)

    calculator.voltageReference = True
    ui = calculator.calculateZIconst(kc.AN, kc.Polar(2.0, 0.5), 5.0, 0.0, settings)
    assert complex(ui.voltages.a()) == pytest.approx(20, abs=1e-12)
    assert complex(ui.currents.a()) == pytest.approx(cmath.rect(5, -0.5), abs=1e-12)

    two_phase = kc.CalculationZ().calculateZIconst(kc.BC, (2.0, 0.5), 5.0, 0.0, settings)
    u, i = two_phase.voltages.phasors, two_phase.currents.phasors
    assert (u[1] - u[2]) / (i[1] - i[2]) == pytest.approx(cmath.rect(2, 0.5))


def test_constant_source_impedance_takes_python_numbers():
    # Phase A to ground, k0 = 1, source factors (1, 1): the loop is ZS1 + 2 ZD,
    # so 10 V behind 1 ohm drive 10 / (1 + 2 * 2) = 2 A, and phase A sees
    # 2 ZD I_A = 8 V.
    ui = kc.CalculationZ().calculateZZsconst(kc.AN, (2.0, 0.0), 1.0, 1 + 1j, 10.0, kc.DistanceParameters())
    np.testing.assert_allclose(ui.currents.phasors, [2, 0, 0], atol=1e-12)
    assert complex(ui.voltages.a()) == pytest.approx(8, abs=1e-12)
    with pytest.raises(TypeError):
        kc.CalculationZ().calculateZZsconst(kc.AN, (2.0, 0.0), "1", 1 + 1j, 10.0, kc.DistanceParameters())


def test_distance_parameters_are_live_and_select_the_ground_factor():
    calculator = kc.CalculationZ()
    p = kc.DistanceParameters()
    assert complex(calculator._faultLoopZ(kc.AN, 1 + 2j, p)) == pytest.approx(2 + 4j)
    assert complex(calculator._faultLoopZ(kc.AB, 1 + 2j, p)) == pytest.approx(1 + 2j)
    p.loop.groundFactorMode = kc.Z0_Z1
    p.loop.z0z1 = (4.0, 0.0)  # (4 - 1) / 3 = 1
    assert complex(calculator._groundZ(3 + 3j, p)) == pytest.approx(3 + 3j)
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


def test_enums_and_fault_lists():
    assert int(kc.Fault.ABC_lin) == 10 and kc.BC == kc.Fault.BC
    assert list(kc.FaultsList) == [kc.Fault(k) for k in range(11)]
    assert kc.Fault.ABC_lin not in kc.ZFaultsList and len(kc.ZFaultsList) == 10
    with pytest.raises(TypeError):
        kc.CalculationFault.calculateFault(kc.Voltage, "BC", 100, 0, -1)
