"""The Python package against the built shared library: conversions, their
settings and failures (also through a process pool), many files in threads,
where the library is found, `python3 -m kdx2xml` with the tool's options and
its failures, progress, and an offline `pip install` of bindings/python."""
import concurrent.futures
import datetime
import io
import os
import pathlib
import shutil
import stat
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

    def test_settings_per_call_as_the_tool_through_either_entry(self):
        sample = SOURCE / "tests" / "conformance" / "k1_00015.kdx"  # has fractions
        pricelist = SOURCE / "tests" / "conformance" / "k3_00031.kdx"  # takes today's date
        cases = [
            # (document, settings, the tool's environment for the same XML)
            (sample, {"decimal_separator": "."}, {"KDX2XML_DECIMAL_SEPARATOR": "."}),
            (sample, {"decimal_separator": "\u00b7"}, {"KDX2XML_DECIMAL_SEPARATOR": b"\xb7"}),
            (sample, {}, {}),
            (pricelist, {"today": "2021-07-09"}, {"SOURCE_DATE_EPOCH": "1625788800"}),
            (pricelist, {"today": datetime.date(1999, 12, 31)}, {"SOURCE_DATE_EPOCH": "946598400"}),
        ]
        library = kdx2xml.load_library()
        self.addCleanup(setattr, library, "with_settings", library.with_settings)
        # A library without InitKDXWithSettings (the Windows DLLs) takes them
        # through the environment.
        for library.with_settings in (True, False):
            for document, settings, env in cases:
                with self.subTest(settings=settings, with_settings=library.with_settings):
                    expected = subprocess.run([CLI, str(document)], env=dict(ENV, **env),
                                              capture_output=True, check=True).stdout
                    self.assertEqual(kdx2xml.convert_file(document, **settings), expected)
                    with self.assertRaises(kdx2xml.ConversionError) as bound:
                        kdx2xml.convert_file(document, max_xml_size=100, **settings)
                    self.assertEqual((bound.exception.failure_class, bound.exception.message),
                                     ("EOutOfMemory", "Out of memory: the XML would be larger "
                                                      "than 100 bytes"))
            self.assertEqual(os.environ["KDX2XML_DECIMAL_SEPARATOR"], ",")
            self.assertNotIn("KDX2XML_MAX_XML_SIZE", os.environ)
        tool_version = subprocess.run([CLI, "--version"], capture_output=True, text=True).stdout
        self.assertEqual(kdx2xml.library_version(), tool_version.split()[1])

    def test_wrong_arguments(self):
        for call, error in [
                (lambda: kdx2xml.convert(123), TypeError),
                (lambda: kdx2xml.convert("KR00"), TypeError),
                (lambda: kdx2xml.convert(b"", decimal_separator="ab"), ValueError),
                (lambda: kdx2xml.convert(b"", decimal_separator="\u20ac\u20ac"), ValueError),
                (lambda: kdx2xml.convert(b"", decimal_separator=44), TypeError),
                (lambda: kdx2xml.convert(b"", today="2023-02-30"), ValueError),
                (lambda: kdx2xml.convert(b"", today=20230215), TypeError),
                (lambda: kdx2xml.convert(b"", max_xml_size=0), ValueError),
                (lambda: kdx2xml.convert(b"", max_xml_size=True), TypeError),
                (lambda: kdx2xml.convert_files(str(SAMPLES[0])), TypeError)]:
            with self.subTest(error=error):
                self.assertRaises(error, call)

    def test_a_failure_crosses_a_process_pool_whole(self):
        cut = pathlib.Path(tempfile.mkdtemp()) / "cut.kdx"
        self.addCleanup(shutil.rmtree, cut.parent)
        cut.write_bytes(SAMPLES[0].read_bytes()[:40])
        with concurrent.futures.ProcessPoolExecutor(1) as pool:
            with self.assertRaises(kdx2xml.ConversionError) as ctx:
                pool.submit(kdx2xml.convert_file, cut).result()
            self.assertEqual(len(pool.submit(kdx2xml.convert_file, SAMPLES[0]).result()),
                             len(tool_xml(SAMPLES[0])))  # the pool survived
        self.assertEqual((ctx.exception.failure_class, ctx.exception.message, ctx.exception.path),
                         ("EReadError", "Stream read error", str(cut)))


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
        self.assertEqual((cut.status, cut.failure_class, cut.message, cut.xml, cut.output),
                         ("failed", "EReadError", "Stream read error", None, None))
        self.assertEqual(cut.describe(),
                         f"cannot convert {self.cut}: EReadError: Stream read error")
        self.assertEqual((missing.status, missing.failure_class, missing.message, missing.output),
                         ("unreadable", "FileNotFoundError", "No such file or directory", None))

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

    def test_iterated_as_done_into_subfolders_with_the_umask_and_progress(self):
        twins = [self.tmp / "a" / "s.kdx", self.tmp / "b" / "c" / "s.kdx"]
        for path in twins:
            path.parent.mkdir(parents=True)
            shutil.copy(SAMPLES[0], path)
        out = self.tmp / "out"
        kept = out / "a" / "s.xml"  # a file replaced keeps its permissions
        kept.parent.mkdir(parents=True)
        kept.write_bytes(b"old")
        kept.chmod(0o600)
        self.addCleanup(os.umask, os.umask(0o027))
        results = kdx2xml.iter_convert([*twins, self.cut], out, jobs=2, root=self.tmp)
        self.assertCountEqual([(r.path, r.status) for r in results],
                              [(str(twins[0]), "converted"), (str(twins[1]), "converted"),
                               (str(self.cut), "failed")])
        for output, mode in ((kept, 0o600), (out / "b" / "c" / "s.xml", 0o640)):
            self.assertEqual((output.read_bytes(), stat.S_IMODE(output.stat().st_mode)),
                             (tool_xml(SAMPLES[0]), mode))
        with self.assertRaisesRegex(ValueError, "is not below the root"):
            kdx2xml.iter_convert(SAMPLES, out, root=self.tmp)
        seen = []
        kdx2xml.convert_files(twins, jobs=2, progress=lambda *counts: seen.append(counts))
        self.assertEqual(seen, [(1, 2), (2, 2)])

    @unittest.skipUnless(MAKE_SAMPLES, "KDX2XML_MAKE_SAMPLES names no sample maker")
    def test_conversions_leave_the_interpreter_free(self):
        big = self.tmp / "big.kdx"
        # Large enough that one conversion outlasts what a busy machine's
        # scheduler may keep a thread waiting.
        subprocess.run([MAKE_SAMPLES, "--positions", "20000", big], check=True, capture_output=True)
        # The time of one conversion in a warm process, as those below.
        alone = float("inf")
        for _ in range(2):
            started = time.perf_counter()
            expected = kdx2xml.convert_file(big)
            alone = min(alone, time.perf_counter() - started)
        # While another thread converts, this one keeps running Python code: the
        # library's calls do not hold the interpreter lock.
        results, gaps = [], []
        worker = threading.Thread(
            target=lambda: results.extend(kdx2xml.convert_files([big] * 3, jobs=1)))
        last = time.perf_counter()
        worker.start()
        while worker.is_alive():
            now = time.perf_counter()
            gaps.append(now - last)
            last = now
            time.sleep(0.001)
        worker.join()
        self.assertEqual([r.xml for r in results], [expected] * 3)
        # Calls that held the lock would stop this thread for most of each of
        # the three conversions in turn; a busy machine's scheduler may stop
        # it once.
        long_gaps = [gap for gap in gaps if gap >= alone / 2]
        self.assertLessEqual(len(long_gaps), 1,
                             f"one conversion took {alone:.3f} s; the longest gaps: "
                             f"{sorted(gaps)[-3:]}")


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
    def run_module(self, *args, stdin=None, **env):
        return subprocess.run([sys.executable, "-m", "kdx2xml", *args], input=stdin,
                              env=dict(ENV, PYTHONPATH=str(PACKAGE_ROOT), **env),
                              capture_output=True)

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

    def test_failures_are_one_line_with_their_exit_code(self):
        sample, other, missing = str(SAMPLES[0]), str(SAMPLES[1]), "/nonexistent/x.kdx"
        no_library = {"KDX2XML_LIBRARY": "/nonexistent.so"}
        loading = "kdx2xml: the kdx2xml library could not be loaded; set KDX2XML_LIBRARY"
        cases = [
            # (arguments, environment, the start of the last line of stderr, exit code)
            ([sample, "-d", "/proc/nope"], {},
             "kdx2xml: cannot create the directory /proc/nope: No such file or directory", 3),
            ([sample, "-o", "/proc/nope/x.xml"], {},
             "kdx2xml: cannot write /proc/nope/x.xml: No such file or directory", 3),
            ([missing], {}, f"kdx2xml: cannot read {missing}: No such file or directory", 3),
            ([sample], no_library, loading, 3),
            ([sample, other, "-d", "/proc/nope"], no_library, loading, 3),
            (["--version"], no_library, loading, 3),
            ([sample, "--max-xml-size", "100"], {}, f"kdx2xml: cannot convert {sample}: "
             "EOutOfMemory: Out of memory: the XML would be larger than 100 bytes", 1),
            ([sample, "--max-xml-size", "0"], {}, "python3 -m kdx2xml: error: argument "
             "--max-xml-size: the XML size bound must be a number of bytes, not '0'", 2),
            ([sample, "--decimal-separator", "ab"], {}, "python3 -m kdx2xml: error: argument "
             "--decimal-separator: the decimal separator must be one character", 2),
            ([sample, "--today", "15.03.2023"], {}, "python3 -m kdx2xml: error: argument "
             "--today: today must be a date YYYY-MM-DD, not '15.03.2023'", 2),
            ([sample, sample, "-d", "/proc/nope"], {}, f"kdx2xml: {sample} and {sample} would "
             "both be written to /proc/nope/", 2),
            ([], {}, "python3 -m kdx2xml: error: no input file given", 2),
        ]
        for arguments, env, line, status in cases:
            with self.subTest(arguments=arguments, env=env):
                run = self.run_module(*arguments, **env)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertTrue(run.stderr.decode().splitlines()[-1].startswith(line), run.stderr)
                self.assertNotIn(b"Traceback", run.stderr)

    def test_version_and_info_as_the_tool(self):
        corpus = SOURCE / "tests" / "conformance"
        probe = (corpus / "k3_00031.kdx").read_bytes()
        odd = [b"", b"KR0", b"KR00", b"KR00\x09", b"KR00\x05" + probe[5:], probe[:12], probe[:19],
               probe[:9] + b"KD_Index" + probe[17:], probe[:9] + bytes(range(1, 9)) + probe[17:],
               probe[:17] + b"\x06\x00\x01\x00" + probe[21:], probe[:20] + b"\x80" + probe[21:]]
        with tempfile.TemporaryDirectory() as tmp:
            files = [*SAMPLES, *sorted(corpus.glob("k?_0000[0-2]*.kdx"))]
            for i, data in enumerate(odd):
                files.append(pathlib.Path(tmp) / f"odd{i}.kdx")
                files[-1].write_bytes(data)
            for options in (["--info"], ["--info", "-d", tmp]):
                tool = subprocess.run([CLI, *options, *map(str, files)], capture_output=True)
                ours = self.run_module(*options, *map(str, files))
                self.assertEqual((ours.returncode, ours.stdout.decode().splitlines()),
                                 (tool.returncode, tool.stdout.decode().splitlines()))
        tool = subprocess.run([CLI, "--version"], capture_output=True, text=True)
        self.assertEqual(self.run_module("--version").stdout.decode().split()[:2],
                         tool.stdout.split())


class ProgressTest(unittest.TestCase):
    class Stream(io.StringIO):
        def __init__(self, terminal):
            super().__init__()
            self.isatty = lambda: terminal

    def test_a_bar_on_a_terminal_and_a_line_every_few_seconds_in_a_log(self):
        from kdx2xml._terminal import Progress
        shown = {}
        for terminal in (True, False):
            now = [0.0]
            stream = self.Stream(terminal)
            progress = Progress(10, stream, clock=lambda: now[0])
            for done in range(1, 11):
                now[0] += 2.0
                if done == 4:
                    progress.failed += 1
                    progress.line("kdx2xml: cannot convert a.kdx: Exception: one.\rtwo")
                progress.update(done)
            progress.finish()
            shown[terminal] = stream.getvalue()
        self.assertEqual(shown[False], "kdx2xml: 3/10 done, 0.5 files/s\n"
                         "kdx2xml: cannot convert a.kdx: Exception: one.\rtwo\n"
                         "kdx2xml: 6/10 done, 1 failed, 0.5 files/s\n"
                         "kdx2xml: 9/10 done, 1 failed, 0.5 files/s\n")
        bar = shown[True]
        self.assertIn("\rkdx2xml: cannot convert a.kdx: Exception: one.\\rtwo\n[", bar)
        self.assertIn(f"[{'#' * 15}{'.' * 15}] 5/10, 1 failed", bar)
        self.assertTrue(bar.endswith(f"] 10/10, 1 failed\r{' ' * 48}\r"))  # cleared at the end


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
