"""Shared records of the kexcalculate tests.

The module is found through PYTHONPATH (CTest sets it to the build's python/
directory); run by hand with
    PYTHONPATH=build/release/python /usr/bin/python3 -m pytest tests/python
"""
import threading

import pytest

import kexcalculate as kc

# The command line's built-in scenario: a phase-A-to-ground fault at 50 % of a
# transmission line, secondary values of a 50 Hz network.
DEFAULT_RECORD = dict(
    networkType=0,
    preFaultDuration=0.1,
    loadCurrent=1.0,
    loadVoltage=57.735,
    loadAngle=20.0,
    frequency=50.0,
    zS1=0.5 + 6.0j,
    kS1=1.5 + 2.0j,
    zLine=1.2 + 12.0j,
    kLine=3.0 + 3.2j,
    zS2=0.8 + 9.0j,
    kS2=1.5 + 2.0j,
    zBranch=0.6 + 6.0j,
    kBranch=3.0 + 3.2j,
    faultKind=2,
    faultPhase=0,
    useFaultResistance=False,
    faultResistance=0.0,
    faultDistance=50.0,
    branchDistance=50.0,
    initialAngle=0.0,
    swingPeriod=0.5,
    swingAngle=120.0,
    swingRiseTau=0.05,
    swingDecayTau=1.0,
    asyncSlipPeriod=0.5,
    asyncRiseTau=0.1,
    zSwitched=54.0 + 20.0j,
)


def calculated_model(**changes):
    """A calculated model of the default record with some fields changed."""
    record = dict(DEFAULT_RECORD)
    record.update(changes)
    model = kc.CalculationRl(kc.RlParameters(**record))
    model.calculate()
    return model


@pytest.fixture
def default_model():
    return calculated_model()


def sampled_while_recalculating(sample, recalculate, threads=3, calls=5):
    """What sample() returns when called in `threads` threads, `calls` times each,
    while another thread runs recalculate() again and again."""
    results = []
    done = threading.Event()

    def again():
        while not done.is_set():
            recalculate()

    recalculating = threading.Thread(target=again)
    recalculating.start()
    samplers = [threading.Thread(target=lambda: results.extend(sample() for _ in range(calls)))
                for _ in range(threads)]
    for thread in samplers:
        thread.start()
    for thread in samplers:
        thread.join()
    done.set()
    recalculating.join()
    assert len(results) == threads * calls
    return results
