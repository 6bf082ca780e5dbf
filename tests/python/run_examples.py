"""Runs every example script into a temporary directory and checks that each
writes a PNG with a picture in it. Exit status 0 when all of them do.

    PYTHONPATH=build/release/python /usr/bin/python3 tests/python/run_examples.py examples
"""
import os
import pathlib
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.image  # noqa: E402

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def check_png(path):
    """None when the file is a PNG that is not one flat colour, else the problem."""
    if not path.is_file():
        return "no PNG written"
    if not path.read_bytes().startswith(PNG_SIGNATURE):
        return "not a PNG file"
    pixels = matplotlib.image.imread(path)
    if pixels.shape[0] < 200 or pixels.shape[1] < 200:
        return f"picture of only {pixels.shape[1]} x {pixels.shape[0]} pixels"
    if pixels.std() == 0:
        return "the picture is one flat colour"
    return None


def main():
    examples = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "examples")
    scripts = sorted(examples.glob("*.py"))
    if not scripts:
        print(f"no example scripts in {examples}")
        return 1
    failures = 0
    with tempfile.TemporaryDirectory() as directory:
        environment = dict(os.environ, MPLBACKEND="Agg", MPLCONFIGDIR=directory)
        for script in scripts:
            png = pathlib.Path(directory) / (script.stem + ".png")
            run = subprocess.run([sys.executable, str(script), "--output", str(png)], cwd=directory,
                                 env=environment, capture_output=True, text=True, timeout=300)
            problem = f"exit status {run.returncode}" if run.returncode != 0 else check_png(png)
            print(f"{script.name}: {problem or 'ok'}")
            if problem:
                failures += 1
                print(run.stdout + run.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
