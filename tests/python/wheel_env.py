"""A fresh virtual environment with the wheel that carries the library, installed
offline: what a user gets from `pip install dist/kdx2xml-*.whl`."""
import os
import pathlib
import subprocess
import sys

SOURCE = pathlib.Path(os.environ["KDX2XML_SOURCE_DIR"])
LIBRARY = os.environ["KDX2XML_LIBRARY"]


def run(*command, **kwargs):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True, **kwargs)
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))} failed:\n{done.stdout}{done.stderr}")
    return done.stdout


def build_wheel(folder):
    """scripts/build-wheel.sh over the built library; the wheel's path."""
    return pathlib.Path(run(SOURCE / "scripts" / "build-wheel.sh", "--library", LIBRARY,
                            "-o", folder).strip().splitlines()[-1])


def venv_with_wheel(folder, python=sys.executable, system_site_packages=False):
    """A virtual environment in folder/venv with the wheel installed; its interpreter."""
    folder = pathlib.Path(folder)
    wheel = build_wheel(folder / "dist")
    venv = folder / "venv"
    run(python, "-m", "venv", *(["--system-site-packages"] if system_site_packages else []), venv)
    interpreter = venv / "bin" / "python"
    run(interpreter, "-m", "pip", "install", "--no-index", "--no-cache-dir", wheel,
        env=dict(os.environ, PIP_DISABLE_PIP_VERSION_CHECK="1"))
    return wheel, interpreter


def environment(**extra):
    """The environment of a user's process: no library named, fixed number texts and date."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("KDX2XML_LIBRARY", "PYTHONPATH", "LD_LIBRARY_PATH")}
    env.update(KDX2XML_DECIMAL_SEPARATOR=",", SOURCE_DATE_EPOCH="1678838400", **extra)
    return env
