"""The Python package against the built shared library: conversions and
failures, where the library is found, `python3 -m kdx2xml`, and an offline
`pip install` of bindings/python."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = pathlib.Path(os.environ["KDX2XML_SOURCE_DIR"])
LIBRARY = pathlib.Path(os.environ["KDX2XML_LIBRARY"])
CLI = os.environ["KDX2XML_CLI"]
PACKAGE_ROOT = SOURCE / "bindings" / "python"
SAMPLES = sorted((SOURCE / "examples").glob("*.kdx"))
ENV = dict(os.environ, KDX2XML_DECIMAL_SEPARATOR=",", SOURCE_DATE_EPOCH="1678838400",
           PIP_DISABLE_PIP_VERSION_CHECK="1")

os.environ.update(KDX2XML_DECIMAL_SEPARATOR=",", SOURCE_DATE_EPOCH="1678838400")
sys.path.insert(0, str(PACKAGE_ROOT))
import kdx2xml  # noqa: E402


def tool_xml(path):
    return subprocess.run([CLI, str(path)], env=ENV, capture_output=True, check=True).stdout


def run_python(code, path, **env):
    """Runs code in a fresh interpreter that imports from path; env entries of None are removed."""
    environment = dict(ENV, PYTHONPATH=str(path))
    for key, value in env.items():
        if value is None:
            environment.pop(key, None)
        else:
            environment[key] = value
    return subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True,
                          text=True)


class ConvertTest(unittest.TestCase):
    def test_samples_convert_as_with_the_tool(self):
        self.assertGreaterEqual(len(SAMPLES), 6)
        for sample in SAMPLES:
            with self.subTest(sample.name):
                self.assertEqual(kdx2xml.convert_file(sample), tool_xml(sample))

    def test_any_bytes_like_and_path_like(self):
        data = SAMPLES[0].read_bytes()
        expected = kdx2xml.convert(data)
        for value in (bytearray(data), memoryview(data)):
            self.assertEqual(kdx2xml.convert(value), expected)
        self.assertEqual(kdx2xml.convert_file(str(SAMPLES[0])), expected)

    def test_failures_carry_class_and_message(self):
        cut = (SOURCE / "examples" / "pricelist.kdx").read_bytes()[:40]
        cases = [
            (b"KR00\x05", "EConvertException", "Неподдерживаемый тип документа: 5"),
            (b"", "EConvertException", "Неверная сигнатура заголовка данных: 00000000"),
            (b"KR00", "EKDInvalidDoc", "Файл (блок данных) не является документом программы Орвакплан"),
            (cut, "EReadError", "Stream read error"),
        ]
        for data, failure_class, message in cases:
            with self.subTest(data=data[:8]):
                with self.assertRaises(kdx2xml.ConversionError) as ctx:
                    kdx2xml.convert(data)
                self.assertEqual(ctx.exception.failure_class, failure_class)
                self.assertEqual(ctx.exception.message, message)
                self.assertEqual(str(ctx.exception), f"{failure_class}: {message}")


class LibraryLocationTest(unittest.TestCase):
    CODE = ("import kdx2xml; xml = kdx2xml.convert_file({!r}); "
            "print(kdx2xml._library._lib._name, len(xml))").format(str(SAMPLES[0]))

    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.tmp)
        shutil.copytree(PACKAGE_ROOT / "kdx2xml", self.tmp / "kdx2xml")

    def test_found_in_order(self):
        beside = self.tmp / "kdx2xml" / "libkdx2xml.so.1"
        cases = [
            # (description, copy the library beside the package, environment, loaded name)
            ("KDX2XML_LIBRARY", False, {"KDX2XML_LIBRARY": str(LIBRARY)}, str(LIBRARY)),
            ("beside the package", True, {"KDX2XML_LIBRARY": None}, str(beside)),
            ("installed, through the loader's path", False,
             {"KDX2XML_LIBRARY": None, "LD_LIBRARY_PATH": str(LIBRARY.parent)}, "libkdx2xml.so.1"),
        ]
        for what, copy, env, loaded in cases:
            with self.subTest(what):
                if copy:
                    shutil.copy(LIBRARY, beside)
                else:
                    beside.unlink(missing_ok=True)
                run = run_python(self.CODE, self.tmp, **env)
                self.assertEqual(run.returncode, 0, run.stderr)
                name, size = run.stdout.split()
                self.assertEqual(name, loaded)
                self.assertEqual(int(size), len(tool_xml(SAMPLES[0])))

    def test_a_wrong_explicit_path_is_reported(self):
        shutil.copy(LIBRARY, self.tmp / "kdx2xml" / "libkdx2xml.so.1")
        missing = str(self.tmp / "missing.so")
        run = run_python(self.CODE, self.tmp, KDX2XML_LIBRARY=missing)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("OSError", run.stderr)
        self.assertIn(missing, run.stderr)


class CommandLineTest(unittest.TestCase):
    def run_module(self, *args, stdin=None):
        return subprocess.run([sys.executable, "-m", "kdx2xml", *args], input=stdin,
                              env=dict(ENV, PYTHONPATH=str(PACKAGE_ROOT)), capture_output=True)

    def test_converts_to_a_file_standard_output_and_from_standard_input(self):
        sample = SAMPLES[0]
        expected = tool_xml(sample)
        with tempfile.TemporaryDirectory() as tmp:
            out = pathlib.Path(tmp) / "out.xml"
            self.assertEqual(self.run_module(str(sample), "-o", str(out)).returncode, 0)
            self.assertEqual(out.read_bytes(), expected)
        self.assertEqual(self.run_module(str(sample)).stdout, expected)
        self.assertEqual(self.run_module("-", stdin=sample.read_bytes()).stdout, expected)

    def test_exit_status_and_reason(self):
        with tempfile.TemporaryDirectory() as tmp:
            cut = pathlib.Path(tmp) / "cut.kdx"
            cut.write_bytes(SAMPLES[0].read_bytes()[:40])
            run = self.run_module(str(cut))
            self.assertEqual(run.returncode, 1)
            self.assertEqual(run.stderr.decode(),
                             f"kdx2xml: cannot convert {cut}: EReadError: Stream read error\n")
            self.assertEqual(self.run_module(str(pathlib.Path(tmp) / "missing.kdx")).returncode, 3)
        self.assertEqual(self.run_module().returncode, 2)


class PipInstallTest(unittest.TestCase):
    def test_installs_offline_and_converts(self):
        with tempfile.TemporaryDirectory() as tmp:
            pip = subprocess.run([sys.executable, "-m", "pip", "install", "--no-index",
                                  "--no-cache-dir", "--target", tmp, str(PACKAGE_ROOT)],
                                 env=ENV, capture_output=True, text=True)
            self.assertEqual(pip.returncode, 0, pip.stdout + pip.stderr)
            code = ("import kdx2xml, importlib.metadata as m; "
                    "print(kdx2xml.__file__, m.version('kdx2xml'), kdx2xml.__version__, "
                    "len(kdx2xml.convert_file({!r})))").format(str(SAMPLES[0]))
            run = run_python(code, tmp, KDX2XML_LIBRARY=str(LIBRARY))
            self.assertEqual(run.returncode, 0, run.stderr)
            location, version, module_version, size = run.stdout.split()
            self.assertTrue(location.startswith(tmp), location)
            self.assertEqual(version, module_version)
            self.assertEqual(int(size), len(tool_xml(SAMPLES[0])))
        # The package's version is the library's (major.minor.patch of the build).
        tool_version = subprocess.run([CLI, "--version"], capture_output=True, text=True).stdout
        self.assertEqual(tool_version.split()[1].rsplit(".", 1)[0], kdx2xml.__version__)
        leftovers = [p.name for p in PACKAGE_ROOT.iterdir()
                     if p.name in ("build", "dist") or p.name.endswith(".egg-info")]
        self.assertEqual(leftovers, [], "pip left build files in the source folder")


if __name__ == "__main__":
    unittest.main()
