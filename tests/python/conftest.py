"""Shared records of the kexcalculate tests.

The module is found through PYTHONPATH (CTest sets it to the build's python/
directory); run by hand with
    PYTHONPATH=build/release/python /usr/bin/python3 -m pytest tests/python
"""
import threading

import kexcalculate as kc

# The command line's built-in scenario's record as keywords: a phase-A-to-ground
# fault at 50 % of a transmission line, secondary values of a 50 Hz network.
_BUILT_IN = kc.default_scenario().record
DEFAULT_RECORD = {name: getattr(_BUILT_IN, name) for name in kc.RlParameters._fields}
DEFAULT_RECORD.update({name: complex(value) for name, value in DEFAULT_RECORD.items() if isinstance(value, kc.Complex)})


def calculated_model(**changes):
    """A calculated model of the default record with some fields changed."""
    record = dict(DEFAULT_RECORD)
    record.update(changes)
    model = kc.CalculationRl(kc.RlParameters(**record))
    model.calculate()
    return model


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
