"""Complex, Polar, Complex3, the three-phase systems and the sequence record
as Python and numpy values."""
import cmath
import copy
import math
import pickle

import numpy as np
import pytest

import kexcalculate as kc

A120 = cmath.exp(2j * math.pi / 3)  # a: turns a phasor 120 degrees forward


# ------------------------------------------------------------------ Complex

OPERAND_PAIRS = [(1 + 2j, 3 - 4j), (-0.5 + 0j, 0 + 2j), (1e3 - 7j, -2.5 + 0.25j), (1 + 1j, 1 + 1j)]


@pytest.mark.parametrize("z, w", OPERAND_PAIRS)
def test_arithmetic_matches_python_complex_in_both_operand_orders(z, w):
    cz, cw = kc.Complex(z), kc.Complex(w)
    for got, want in [
        (cz + cw, z + w), (cz - cw, z - w), (cz * cw, z * w), (cz / cw, z / w),
        (cz + w, z + w), (z + cw, z + w), (z - cw, z - w), (z * cw, z * w), (z / cw, z / w), (-cz, -z),
    ]:
        assert isinstance(got, kc.Complex)
        assert complex(got) == pytest.approx(want, rel=1e-15, abs=1e-15)


def test_complex_converts_to_and_from_python_numbers_copies_and_pickles():
    assert complex(kc.Complex(1.5, -2.0)) == 1.5 - 2.0j
    assert kc.Complex(3 + 4j) == kc.Complex(3.0, 4.0)
    assert kc.Complex(2) == 2 + 0j
    assert kc.Complex(np.complex128(1 - 1j)) == 1 - 1j
    assert kc.Complex(np.float32(0.5)) == 0.5
    assert kc.Complex(np.int64(7)) == 7
    z = kc.Complex(1.0, 2.0)
    assert (z.re, z.im) == (1.0, 2.0)
    z.im = -3.0
    assert complex(z) == 1 - 3j
    assert eval(repr(z), {"Complex": kc.Complex}) == z
    for other in (copy.copy(z), copy.deepcopy(z), pickle.loads(pickle.dumps(z))):
        assert other == z and other is not z


def test_library_operations_of_complex():
    assert kc.Complex.abs(3 + 4j) == 5.0 and abs(kc.Complex(3, 4)) == 5.0
    assert complex(kc.Complex.fromPolar(2.0, math.pi / 2)) == pytest.approx(2j, abs=1e-15)
    assert kc.Complex.fromPolar((2.0, 0.5)) == kc.Complex.fromPolar(kc.Polar(2.0, 0.5))
    assert complex(kc.Complex.exp(1j * math.pi)) == pytest.approx(-1, abs=1e-15)
    z = kc.Complex(1, 0)
    assert complex(kc.Complex.rotated(z, math.pi / 2)) == pytest.approx(1j, abs=1e-15)
    assert z == 1  # the static form leaves its argument alone
    assert z.rotate(math.pi / 2) is None
    assert complex(z) == pytest.approx(1j, abs=1e-15)
    part_by_part = kc.Complex(2, 3)
    assert part_by_part.mul(4 + 5j) == 8 + 15j and part_by_part == 8 + 15j
    assert kc.Conjugate(1 + 2j) == 1 - 2j


def test_division_by_zero_gives_nan_and_no_exception():
    q = kc.Complex(1, 0) / 0j
    assert math.isnan(q.re) and math.isnan(q.im)


@pytest.mark.parametrize("bad", ["1+2j", None, [1, 2], object()])
def test_complex_rejects_what_is_not_a_number(bad):
    with pytest.raises(TypeError):
        kc.Complex(bad)


# ------------------------------------------------------------- Polar, points

def test_polar_from_tuple_and_fields():
    p = kc.Polar(2.0, 0.5)
    assert (p.amplitude, p.angle) == (2.0, 0.5)
    assert tuple(p) == (2.0, 0.5)
    assert kc.Polar((2.0, 0.5)) == p
    with pytest.raises(ValueError):
        kc.Polar((1.0, 2.0, 3.0))
    with pytest.raises(TypeError):
        kc.Polar("ab")


# ----------------------------------------------------------------- Complex3

def test_complex3_to_numpy_and_back_and_index_rules():
    t = kc.Complex3(1 + 1j, 2, -3j)
    values = np.asarray(t)
    assert values.dtype == np.complex128 and values.shape == (3,)
    np.testing.assert_array_equal(values, [1 + 1j, 2, -3j])
    np.testing.assert_array_equal(t.values, values)
    assert kc.Complex3(values) == t
    assert kc.Complex3([1 + 1j, 2, -3j]) == t
    assert complex(t[-1]) == -3j
    t[1] = 5j
    assert [complex(v) for v in t] == [1 + 1j, 5j, -3j]
    t.values = np.array([1, 2, 3])
    assert complex(t[2]) == 3
    assert t.ix(2) == 3 and t.ix(3) == 0 and t.ix(-1) == 0  # the library's accessor
    with pytest.raises(IndexError):
        t[3]
    with pytest.raises(ValueError):
        kc.Complex3([1, 2])
    with pytest.raises(TypeError):
        kc.Complex3("abc")


# ------------------------------------------------------- three-phase systems

def test_symmetrical_system_from_phase_a():
    s = kc.ThreePhaseSystem(10 + 0j, True)  # B lags A
    np.testing.assert_allclose(s.phasors, [10, 10 / A120, 10 * A120], atol=1e-13)
    assert s.values.shape == (4,) and s.phasors.dtype == np.complex128


def test_system_from_phases_moves_and_turns():
    s = kc.ThreePhaseSystem([3, 6j, -9])
    assert complex(s.n()) == pytest.approx((3 + 6j - 9) / 3)
    s.shftPhaseValues(1)  # A to B
    np.testing.assert_array_equal(s.phasors, [-9, 3, 6j])
    s.rotate(math.pi / 2)
    np.testing.assert_allclose(s.values, [-9j, 3j, -6, (3 + 6j - 9) / 3 * 1j], atol=1e-14)
    s.a(1 + 1j)
    assert s.a() == 1 + 1j and complex(s.getPhaseComplexValue(kc.Phase.A)) == 1 + 1j
    s.phasors = [1, 2, 3]
    assert complex(s.sumOfPhases()) == 6
    with pytest.raises(ValueError):
        s.phasors = [1, 2]


def test_ui_system_members_are_live():
    ui = kc.ThreePhaseUISystem([1, 2, 3], [4, 5, 6])
    ui.voltages.a(7)
    assert complex(ui.voltages.a()) == 7 and complex(ui.uSystem().a()) == 7
    np.testing.assert_array_equal(ui.currents.phasors, [4, 5, 6])


def test_sym_components_record():
    s = kc.SymComponents([1, 2j, 3])
    assert complex(s.GetComponent(kc.SymComponentType.Positive)) == 2j
    s.NegativeComponent(-1)
    np.testing.assert_array_equal(s.components, [1, 2j, -1])
