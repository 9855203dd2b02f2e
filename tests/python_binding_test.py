"""The Python package against the built shared library: conversions and
failures, many files in threads, where the library is found, `python3 -m
kdx2xml` with the tool's batch options, and an offline `pip install` of
bindings/python."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SOURCE = pathlib.Path(os.environ["KDX2XML_SOURCE_DIR"])
LIBRARY = pathlib.Path(os.environ["KDX2XML_LIBRARY"])
CLI = os.environ["KDX2XML_CLI"]
MAKE_SAMPLES = os.environ.get("KDX2XML_MAKE_SAMPLES")
PACKAGE_ROOT = SOURCE / "bindings" / "python"
SAMPLES = sorted((SOURCE / "examples").glob("*.kdx"))
ENV = dict(os.environ, KDX2XML_DECIMAL_SEPARATOR=",", SOURCE_DATE_EPOCH="1678838400",
           PIP_DISABLE_PIP_VERSION_CHECK="1")

os.environ.update(KDX2XML_DECIMAL_SEPARATOR=",", SOURCE_DATE_EPOCH="1678838400")
sys.path.insert(0, str(PACKAGE_ROOT))
import kdx2xml  # noqa: E402


def tool_xml(path, *options):
    return subprocess.run([CLI, str(path), *options], env=ENV, capture_output=True,
                          check=True).stdout


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


class ConvertFilesTest(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.tmp)
        self.cut = self.tmp / "cut.kdx"
        self.cut.write_bytes(SAMPLES[0].read_bytes()[:40])
        self.inputs = [*SAMPLES, self.cut, self.tmp / "missing.kdx"]

    def check(self, results, out_dir=None, encoding=()):
        """Results in input order: the samples as the tool converts them, then the cut
        document and the missing file."""
        self.assertEqual([r.path for r in results], [str(p) for p in self.inputs])
        for sample, r in zip(SAMPLES, results):
            expected = tool_xml(sample, *encoding)
            self.assertEqual(r.status, "converted", r.describe())
            if out_dir is None:
                self.assertEqual((r.output, r.xml), (None, expected))
            else:
                self.assertEqual((r.output, r.xml), (str(out_dir / f"{sample.stem}.xml"), None))
                self.assertEqual(pathlib.Path(r.output).read_bytes(), expected)
        cut, missing = results[-2:]
        self.assertEqual((cut.status, cut.failure_class, cut.message, cut.xml),
                         ("failed", "EReadError", "Stream read error", None))
        self.assertEqual(cut.describe(),
                         f"cannot convert {self.cut}: EReadError: Stream read error")
        self.assertEqual((missing.status, missing.failure_class, missing.message),
                         ("unreadable", "FileNotFoundError", "No such file or directory"))

    def test_in_memory_and_into_a_folder_with_any_number_of_threads(self):
        for jobs in (1, 2, 8):
            with self.subTest(jobs=jobs):
                self.check(kdx2xml.convert_files(self.inputs, jobs=jobs))
                out = self.tmp / f"out{jobs}"
                self.check(kdx2xml.convert_files(self.inputs, out, jobs=jobs), out)
                self.assertFalse((out / "cut.xml").exists())
        self.check(kdx2xml.convert_files(self.inputs, encoding="utf-8"), None,
                   ("--encoding", "utf-8"))

    def test_unwritable_output_and_refused_batches(self):
        out = self.tmp / "out"
        (out / f"{SAMPLES[0].stem}.xml").mkdir(parents=True)
        result = kdx2xml.convert_files(SAMPLES[:1], out)[0]
        self.assertEqual((result.status, result.failure_class), ("unwritable", "IsADirectoryError"))
        self.assertEqual(os.listdir(out), [f"{SAMPLES[0].stem}.xml"])  # no temporary left
        twins = self.tmp / "twin"
        twins.mkdir()
        shutil.copy(SAMPLES[0], twins)
        for paths, jobs, error in [
                ([SAMPLES[0], twins / SAMPLES[0].name], 1, "would both be written to"),
                (SAMPLES, 0, "jobs must be at least 1")]:
            with self.subTest(error):
                with self.assertRaisesRegex(ValueError, error):
                    kdx2xml.convert_files(paths, self.tmp / "refused", jobs=jobs)
        self.assertFalse((self.tmp / "refused").exists())

    @unittest.skipUnless(MAKE_SAMPLES, "KDX2XML_MAKE_SAMPLES names no sample maker")
    def test_conversions_leave_the_interpreter_free(self):
        big = self.tmp / "big.kdx"
        subprocess.run([MAKE_SAMPLES, "--positions", "5000", big], check=True, capture_output=True)
        started = time.perf_counter()
        expected = kdx2xml.convert_file(big)
        alone = time.perf_counter() - started
        # While another thread converts, this one keeps running Python code: the
        # library's calls do not hold the interpreter lock.
        results, gaps = [], []
        worker = threading.Thread(target=lambda: results.extend(kdx2xml.convert_files([big] * 3)))
        last = time.perf_counter()
        worker.start()
        while worker.is_alive():
            now = time.perf_counter()
            gaps.append(now - last)
            last = now
            time.sleep(0.001)
        worker.join()
        self.assertEqual([r.xml for r in results], [expected] * 3)
        self.assertLess(max(gaps), alone / 2, f"one conversion took {alone:.3f} s")


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

    def test_batches_as_the_tool(self):
        with tempfile.TemporaryDirectory() as tmp:
            tmp = pathlib.Path(tmp)
            cut = tmp / "cut.kdx"
            cut.write_bytes(SAMPLES[0].read_bytes()[:40])
            cases = [
                # (inputs, options, exit status, failure lines)
                (SAMPLES, ["-j", "2"], 0, []),
                (SAMPLES, ["--encoding", "utf-8", "-j1"], 0, []),
                ([*SAMPLES, cut], [], 1,
                 [f"kdx2xml: cannot convert {cut}: EReadError: Stream read error"]),
                ([SAMPLES[0], tmp / "missing.kdx"], ["-j", "3"], 3,
                 [f"kdx2xml: cannot read {tmp / 'missing.kdx'}: No such file or directory"]),
            ]
            for i, (inputs, options, status, failures) in enumerate(cases):
                with self.subTest(options=options, status=status):
                    out = tmp / f"out{i}"
                    run = self.run_module(*map(str, inputs), "-d", str(out), *options)
                    lines = run.stderr.decode().splitlines()
                    self.assertEqual(run.returncode, status, run.stderr)
                    self.assertEqual(lines[:-1], failures)
                    converted = sum(1 for p in inputs if p in SAMPLES)
                    self.assertRegex(lines[-1], rf"^kdx2xml: {converted} converted, "
                                     rf"{len(inputs) - converted} failed in \d+\.\d\d s$")
                    encoding = options[:2] if options[:1] == ["--encoding"] else []
                    for sample in inputs[:converted]:
                        self.assertEqual((out / f"{sample.stem}.xml").read_bytes(),
                                         tool_xml(sample, *encoding))
        for wrong in (["a.kdx", "b.kdx"], ["a.kdx", "-o", "x", "-d", "y"],
                      ["a.kdx", "-d", "y", "-j", "0"], ["-", "-d", "y"],
                      ["a.kdx", "--encoding", "latin-1"]):
            with self.subTest(wrong=wrong):
                self.assertEqual(self.run_module(*wrong).returncode, 2)

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
