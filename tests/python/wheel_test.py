"""The wheel that carries the library: made by scripts/build-wheel.sh, installed
offline into a fresh virtual environment with nothing else, it converts every
sample as the command-line tool does, and a cut document fails with the
tool's text."""
import os
import pathlib
import subprocess
import tempfile
import unittest
import zipfile

import wheel_env

SOURCE = wheel_env.SOURCE
CLI = os.environ["KDX2XML_CLI"]
SAMPLES = sorted((SOURCE / "examples").glob("*.kdx"))


class WheelTest(unittest.TestCase):
    def test_wheels_hold_the_library_only_when_asked(self):
        cases = [
            # (build-wheel.sh arguments, tag, the library in the package)
            (["--library", wheel_env.LIBRARY], "py3-none-linux_x86_64", "kdx2xml/libkdx2xml.so.1"),
            (["--library", wheel_env.LIBRARY, "--platform", "win_amd64"], "py3-none-win_amd64",
             "kdx2xml/kdx2xml.dll"),
            (["--pure"], "py3-none-any", None),
        ]
        with tempfile.TemporaryDirectory() as tmp:
            for arguments, tag, library in cases:
                with self.subTest(tag):
                    made = wheel_env.run(SOURCE / "scripts" / "build-wheel.sh", *arguments,
                                         "-o", tmp).split()[-1]
                    self.assertTrue(made.endswith(f"-{tag}.whl"), made)
                    with zipfile.ZipFile(made) as wheel:
                        names = wheel.namelist()
                        info = wheel.read(next(n for n in names if n.endswith("/WHEEL"))).decode()
                        shipped = [n for n in names if not n.endswith((".py", "METADATA", "WHEEL",
                                                                       "RECORD"))]
                        record = wheel.read(next(n for n in names if n.endswith("/RECORD")))
                    self.assertIn(f"Tag: {tag}\n", info)
                    self.assertIn(f"Root-Is-Purelib: {'true' if library is None else 'false'}",
                                  info)
                    self.assertEqual(shipped,
                                     ["kdx2xml/py.typed"] + ([library] if library else []))
                    if library:
                        self.assertIn(library.encode() + b",sha256=", record)

    def test_installed_offline_converts_as_the_tool(self):
        with tempfile.TemporaryDirectory() as tmp:
            tmp = pathlib.Path(tmp)
            _, python = wheel_env.venv_with_wheel(tmp)
            cut = tmp / "cut.kdx"
            cut.write_bytes((SOURCE / "examples" / "pricelist.kdx").read_bytes()[:40])
            env = wheel_env.environment()
            # The package and its library come from the environment alone.
            where = subprocess.run(
                [python, "-c", "import kdx2xml; print(kdx2xml.load_library()._name)"],
                cwd=tmp, env=env, capture_output=True, text=True)
            self.assertTrue(where.stdout.startswith(str(tmp / "venv")), where.stdout + where.stderr)

            run = subprocess.run([python, "-m", "kdx2xml", *SAMPLES, cut, "-d", tmp / "out"],
                                 cwd=tmp, env=env, capture_output=True, text=True)
            self.assertEqual(run.returncode, 1, run.stderr)
            self.assertIn(f"kdx2xml: cannot convert {cut}: EReadError: Stream read error\n",
                          run.stderr)
            self.assertRegex(run.stderr, rf"kdx2xml: {len(SAMPLES)} converted, 1 failed in ")
            for sample in SAMPLES:
                with self.subTest(sample.name):
                    tool = subprocess.run([CLI, sample], env=env, capture_output=True, check=True)
                    self.assertEqual((tmp / "out" / f"{sample.stem}.xml").read_bytes(), tool.stdout)
            self.assertFalse((tmp / "out" / "cut.xml").exists())


if __name__ == "__main__":
    unittest.main()
