"""kdx2xml.cluster on a local Dask cluster of two worker processes (127.0.0.1),
from a fresh virtual environment of Debian's interpreter (its Dask packages
seen through --system-site-packages) with the wheel that carries the library:
300 documents of every kind, damaged ones among them, converted as the
command-line tool converts them, with a manifest of every input; a second run
converts nothing; a run that loses a worker process still records every input
once.

Run as a program: it makes the environment and runs the tests inside it. When
Dask is missing it exits 77 (skipped) naming the packages, unless CI=true,
where that is a failure.
"""
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = pathlib.Path(os.environ["KDX2XML_SOURCE_DIR"])
CLI = os.environ["KDX2XML_CLI"]
PACKAGES = "python3-dask, python3-distributed and python3-fsspec"
SKIPPED = 77


def make_archive(folder):
    """300 documents below folder/archive: corpus documents of the six kinds with
    their cut and changed-byte variants, the samples, and the samples cut in half
    and with a byte changed. Returns their paths."""
    corpus = SOURCE / "tests" / "conformance"
    documents = []
    for kind in ("k0", "k1", "k2", "k3", "k4", "k6"):
        documents += [(kind, corpus / f"{kind}_{n:05d}{variant}.kdx")
                      for n in range(16) for variant in ("", "_byte", "_cut")][:47]
    archive = folder / "archive"
    paths = []
    for i, (kind, document) in enumerate(documents):
        path = archive / kind / str(i % 3) / document.name
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(document, path)
        paths.append(path)
    for sample in sorted((SOURCE / "examples").glob("*.kdx")):
        data = sample.read_bytes()
        changed = bytearray(data)
        changed[len(data) // 3] ^= 0x5A
        for name, content in ((sample.name, data),
                              (f"{sample.stem}_half.kdx", data[:len(data) // 2]),
                              (f"{sample.stem}_flip.kdx", bytes(changed))):
            path = archive / "samples" / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)
            paths.append(path)
    return paths


def tool_outcomes(paths, folder):
    """{input path: ("xml", bytes) or ("failure", text)} from the command-line tool."""
    done = subprocess.run([CLI, "-j", "2", "-d", folder, *paths], capture_output=True)
    # Failure texts may hold a CR of their own: lines end at LF only.
    failures = dict(re.findall(r"^kdx2xml: cannot convert (.*?\.kdx): (.*)$",
                               done.stderr.decode("utf-8").replace("\r\n", "\n"), re.M))
    outcomes = {}
    for path in paths:
        xml = pathlib.Path(folder) / (path.stem + ".xml")
        outcomes[str(path)] = ("failure", failures[str(path)]) if str(path) in failures else \
            ("xml", xml.read_bytes())
    return outcomes


def manifest_rows(out, runs=False):
    """The rows of the inputs, or with runs, the lines of the runs."""
    with open(out / "_manifest.jsonl", encoding="utf-8") as f:
        return [row for row in map(json.loads, f) if ("input" in row) != runs]


class ClusterTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        from kdx2xml import cluster
        cls.cluster = cluster
        cls.tmp = pathlib.Path(tempfile.mkdtemp())
        cls.paths = make_archive(cls.tmp)
        cls.expected = tool_outcomes(cls.paths, cls.tmp / "tool")
        cls.client = cluster.local_client(2)

    @classmethod
    def tearDownClass(cls):
        local = cls.client.cluster
        cls.client.close()
        local.close()
        shutil.rmtree(cls.tmp)

    def setUp(self):
        self.client.wait_for_workers(2, timeout=120)  # after the test that kills one

    def run_cluster(self, out, **options):
        return self.cluster.run([str(self.tmp / "archive" / "**" / "*.kdx")], str(out),
                                self.client, **options)

    def check_outputs(self, out):
        """Every input once in the manifest; every XML the tool's, every failure its text.
        Returns the count of failures."""
        rows = manifest_rows(out)
        self.assertEqual(sorted(r["input"] for r in rows), sorted(self.expected))
        failed = 0
        for row in rows:
            kind, expected = self.expected[row["input"]]
            relative = pathlib.Path(row["input"]).relative_to(self.tmp / "archive")
            output = out / relative.with_suffix(".xml")
            if kind == "xml":
                self.assertEqual(row["status"], "converted", row)
                self.assertEqual(row["output"], str(output))
                self.assertEqual(row["output_size"], len(expected))
                self.assertEqual(output.read_bytes(), expected, row["input"])
            else:
                failed += 1
                self.assertEqual((row["status"], f"{row['failure_class']}: {row['message']}"),
                                 ("failed", expected), row["input"])
                self.assertFalse(output.exists(), output)
        self.assertGreater(failed, 50)
        self.assertEqual([p.name for p in out.rglob("*.tmp")], [])
        return failed

    def test_a_failure_crosses_to_the_client_whole(self):
        import kdx2xml
        cut = next(p for p in self.paths if p.name.endswith("_half.kdx"))
        with self.assertRaises(kdx2xml.ConversionError) as ctx:
            self.client.submit(kdx2xml.convert_file, cut).result()
        self.assertEqual((f"{ctx.exception}", ctx.exception.path),
                         (self.expected[str(cut)][1], str(cut)))

    def test_workers_use_the_wheels_library(self):
        names = self.client.run(lambda: __import__("kdx2xml").load_library()._name)
        self.assertEqual(len(names), 2)
        for name in names.values():
            self.assertTrue(name.startswith(sys.prefix), name)

    def test_archive_converts_as_the_tool_and_a_second_run_converts_nothing(self):
        self.assertEqual(len(self.paths), 300)
        out = self.tmp / "out"
        summary = self.run_cluster(out)
        failed = self.check_outputs(out)
        self.assertEqual((summary.converted, summary.failed, summary.exit_status),
                         (300 - failed, failed, 1))
        self.assertRegex(summary.line(), r"^kdx2xml: \d+ converted, \d+ failed in \d+\.\d\d s$")
        before = manifest_rows(out)

        run, = manifest_rows(out, runs=True)
        self.assertEqual((run["library_version"], run["settings"]), (
            self.client.run(lambda: __import__("kdx2xml").library_version()).popitem()[1],
            {"encoding": "windows-1251", "decimal_separator": ",", "today": "2023-03-15",
             "max_xml_size": 2147483647}))
        self.assertEqual({r["run"] for r in before}, {run["run"]})
        self.assertEqual([r["mtime"] for r in before],
                         [os.stat(r["input"]).st_mtime for r in before])

        # Failures that remain are in the exit status of a resumed run.
        again = self.run_cluster(out)
        self.assertEqual((again.converted, again.failed, again.skipped, again.failed_before),
                         (0, 0, 300, failed))
        self.assertEqual(again.exit_status, 1)
        self.assertEqual(manifest_rows(out), before)

        # An output that went missing is made again, and only that one.
        converted = next(r for r in before if r["status"] == "converted")
        pathlib.Path(converted["output"]).unlink()
        third = self.run_cluster(out)
        self.assertEqual((third.converted, third.skipped), (1, 299))
        # Asked to, the documents that failed are tried again, and fail again.
        fourth = self.run_cluster(out, retry_failed=True)
        self.assertEqual((fourth.converted, fourth.failed, fourth.skipped),
                         (0, failed, 300 - failed))
        self.assertEqual(self.check_outputs(out), failed)

        # An input whose last byte changed is converted again, and only that one.
        changed = pathlib.Path(next(r for r in before if r["status"] == "converted")["input"])
        data = bytearray(changed.read_bytes())
        self.addCleanup(changed.write_bytes, bytes(data))
        data[-1] ^= 0x01
        changed.write_bytes(data)
        again = self.run_cluster(out)
        row, = [r for r in manifest_rows(out) if r["input"] == str(changed)]
        self.assertEqual((again.converted + again.failed, again.skipped, row["run"]),
                         (1, 299, manifest_rows(out, runs=True)[-1]["run"]))
        tool = tool_outcomes([changed], self.tmp / "changed")[str(changed)]
        if tool[0] == "xml":
            self.assertEqual(pathlib.Path(row["output"]).read_bytes(), tool[1])
        else:
            self.assertEqual(f"{row['failure_class']}: {row['message']}", tool[1])

    def test_a_worker_killed_mid_run_loses_nothing(self):
        out = self.tmp / "out-killed"
        pids = self.client.run(os.getpid)
        killed = []

        def progress(recorded, total):
            if not killed and recorded < total:
                busy = [w for w, keys in self.client.processing().items() if keys]
                victim = busy[0] if busy else next(iter(pids))
                os.kill(pids[victim], signal.SIGKILL)
                killed.append(pids[victim])

        # What a worker killed while writing leaves under a temporary name is
        # swept at the end: planted here too, as the kill may miss a write.
        first = pathlib.Path(self.paths[0]).relative_to(self.tmp / "archive")
        planted = out / first.parent / f".{first.with_suffix('.xml').name}.{'0' * 32}.tmp"
        planted.parent.mkdir(parents=True)
        planted.write_bytes(b"<Docu")
        summary = self.run_cluster(out, batch_files=2, progress=progress)
        self.assertEqual(len(killed), 1)
        self.assertNotIn(killed[0], self.client.run(os.getpid).values())
        failed = self.check_outputs(out)
        self.assertEqual((summary.converted, summary.failed), (300 - failed, failed))

    def test_unreadable_inputs_and_unwritable_outputs_are_rows(self):
        out = self.tmp / "out-errors"
        good = self.paths[0]
        blocked = self.paths[3]
        (out / f"{blocked.stem}.xml").mkdir(parents=True)  # a folder where the XML goes
        missing = self.tmp / "gone.kdx"
        summary = self.cluster.run([str(good), str(blocked), str(missing)], str(out), self.client)
        rows = {pathlib.Path(r["input"]).name: r for r in manifest_rows(out)}
        self.assertEqual(
            {name: (r["status"], r["failure_class"]) for name, r in rows.items()},
            {good.name: ("converted", None), blocked.name: ("unwritable", "IsADirectoryError"),
             missing.name: ("unreadable", "FileNotFoundError")})
        self.assertEqual(rows[missing.name]["message"], "No such file or directory")
        self.assertEqual(summary.exit_status, 3)


class InputsTest(unittest.TestCase):
    def test_patterns_folders_and_names(self):
        from kdx2xml import cluster
        with tempfile.TemporaryDirectory() as tmp:
            for name in ("a.kdx", "b.KDX", "x/c.kdx", "x/y/d.kdx", "x/y/e.txt", "k1/f.kdx"):
                (pathlib.Path(tmp) / name).parent.mkdir(parents=True, exist_ok=True)
                (pathlib.Path(tmp) / name).write_bytes(b"KR00")
            cases = [
                # (inputs, the paths below their fixed folders)
                (["**/*.kdx"], ["a.kdx", "k1/f.kdx", "x/c.kdx", "x/y/d.kdx"]),
                (["*.kdx", "*.kdx"], ["a.kdx"]),
                (["x/**"], ["c.kdx", "y/d.kdx", "y/e.txt"]),
                (["k[!0]/*.kdx", "x/?/*.kdx"], ["k1/f.kdx", "y/d.kdx"]),
                (["x", "gone.kdx"], ["c.kdx", "y/d.kdx", "gone.kdx"]),
            ]
            for inputs, expected in cases:
                with self.subTest(inputs):
                    found = cluster.list_inputs([f"{tmp}/{i}" for i in inputs])
                    self.assertEqual([i.relative for i in found], expected)
                    self.assertEqual([(i.size, i.mtime) for i in found],
                                     [(None, None) if "gone" in i.url else
                                      (4, os.stat(i.url).st_mtime) for i in found])
            with self.assertRaisesRegex(cluster.NothingToDo, "no input matches .*/none/"):
                cluster.plan([f"{tmp}/none/*.kdx", f"{tmp}/x/*.txt"], tmp)
            with self.assertRaisesRegex(ValueError, "would both be written to"):
                cluster.plan([f"{tmp}/x/c.kdx", f"{tmp}/k1/c.kdx", f"{tmp}/a.kdx"], tmp)


class ObjectStoreTest(unittest.TestCase):
    def test_urls_with_a_protocol(self):
        # fsspec's in-memory file system, seen by workers that are threads of
        # this process: URLs with a protocol, outputs moved into place by the
        # file system's own move, as on an object store.
        import distributed
        import fsspec
        from kdx2xml import cluster
        memory = fsspec.filesystem("memory")
        samples = sorted((SOURCE / "examples").glob("*.kdx"))
        for sample in samples:
            memory.pipe(f"memory://archive/{sample.parent.name}/{sample.name}", sample.read_bytes())
        memory.pipe("memory://archive/cut.kdx", samples[0].read_bytes()[:40])
        with tempfile.TemporaryDirectory() as tmp:
            tool = tool_outcomes(samples, pathlib.Path(tmp))

        def outputs():
            return [memory.cat(f"memory://out/{s.parent.name}/{s.stem}.xml") for s in samples]

        with distributed.Client(processes=False, n_workers=1, threads_per_worker=2,
                                dashboard_address=None) as client:
            summary = cluster.run(["memory://archive/**/*.kdx"], "memory://out", client)
            again = cluster.run(["memory://archive/**/*.kdx"], "memory://out", client)
            self.assertEqual(outputs(), [tool[str(s)][1] for s in samples])
            # Other settings make other XML: everything is converted again.
            point = cluster.run(["memory://archive/**/*.kdx"], "memory://out", client,
                                decimal_separator=".")
        self.assertEqual((summary.converted, summary.failed), (len(samples), 1))
        self.assertEqual(summary.failures[0]["input"], "memory:///archive/cut.kdx")
        self.assertEqual((again.skipped, point.skipped), (len(samples) + 1, 0))
        self.assertNotEqual(outputs(), [tool[str(s)][1] for s in samples])
        self.assertEqual(sorted(memory.find("memory://out"))[0], "/out/_manifest.jsonl")
        lines = memory.cat("memory://out/_manifest.jsonl").splitlines()
        self.assertEqual(len(lines), 1 + len(samples) + 1)  # the run and each input
        self.assertEqual(json.loads(lines[0])["settings"]["decimal_separator"], ".")


class CommandLineTest(unittest.TestCase):
    def test_local_cluster_from_the_command_line(self):
        with tempfile.TemporaryDirectory() as tmp:
            tmp = pathlib.Path(tmp)
            samples = [p for p in make_archive(tmp) if p.parent.name == "samples"]
            pattern = str(tmp / "archive" / "samples" / "*.kdx")
            expected = tool_outcomes(samples, tmp / "tool")
            command = [sys.executable, "-m", "kdx2xml.cluster", pattern, "-d", str(tmp / "out"),
                       "--local", "1"]
            first = subprocess.run(command, capture_output=True)
            self.assertEqual(first.returncode, 1, first.stderr)
            lines = first.stderr.decode().replace("\r\n", "\n").split("\n")
            for path, (kind, outcome) in expected.items():
                if kind == "failure":
                    self.assertIn(f"kdx2xml: cannot convert {path}: {outcome}", lines)
            failed = sum(kind == "failure" for kind, _ in expected.values())
            self.assertIn(f"kdx2xml: manifest {tmp / 'out' / '_manifest.jsonl'}", lines)
            self.assertRegex(first.stderr.decode(), rf"kdx2xml: {len(samples) - failed} converted, "
                             rf"{failed} failed in \d+\.\d\d s\n$")
            again = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(again.returncode, 1, again.stderr)
            self.assertRegex(again.stderr, rf"kdx2xml: 0 converted, 0 failed, {len(samples)} "
                             rf"done before \({failed} of them failed\) in ")
            self.assertEqual(subprocess.run(command[:-2], capture_output=True).returncode, 2)

    def test_failures_are_one_line_with_their_exit_code(self):
        with tempfile.TemporaryDirectory() as tmp:
            (pathlib.Path(tmp) / "a.kdx").write_bytes(b"KR00")
            cases = [
                # (arguments, the last line of stderr, exit code)
                ([f"{tmp}/none/*.kdx", "-d", tmp],
                 f"kdx2xml: nothing to do: no input matches {tmp}/none/*.kdx", 2),
                ([tmp, "-d", "/proc/nope"],
                 "kdx2xml: cannot create the output folder /proc/nope: No such file or directory",
                 3),
                ([tmp, "-d", "memory://out"], "kdx2xml: memory:// is the memory of each process: "
                 "the workers are other processes, so what they wrote would be lost; use a file "
                 "system they share", 3),
                ([tmp, "-d", tmp, "--max-xml-size", "1k"], "python3 -m kdx2xml.cluster: error: "
                 "argument --max-xml-size: the XML size bound must be a number of bytes, not '1k'",
                 2),
            ]
            try:
                import s3fs  # noqa: F401
            except ImportError:
                cases.append((["s3://bucket/*.kdx", "-d", tmp],
                              "kdx2xml: cannot use s3://bucket/*.kdx: Install s3fs to access S3", 3))
            for arguments, line, status in cases:
                with self.subTest(arguments):
                    run = subprocess.run([sys.executable, "-m", "kdx2xml.cluster", *arguments,
                                          "--local", "1"], capture_output=True, text=True)
                    self.assertEqual((run.stderr.splitlines()[-1], run.returncode), (line, status))


def main():
    try:
        import dask  # noqa: F401
        import distributed  # noqa: F401
        import fsspec  # noqa: F401
    except ImportError as e:
        message = f"the cluster tests need Dask: install {PACKAGES} for /usr/bin/python3 ({e})"
        if os.environ.get("CI") == "true":
            print(f"FAILED: {message}")
            return 1
        print(f"SKIPPED: {message}")
        return SKIPPED
    sys.path.insert(0, str(HERE))
    import wheel_env
    with tempfile.TemporaryDirectory() as tmp:
        _, python = wheel_env.venv_with_wheel(tmp, system_site_packages=True)
        env = wheel_env.environment(KDX2XML_SOURCE_DIR=str(SOURCE), KDX2XML_CLI=CLI)
        return subprocess.run([python, "-m", "unittest", "-v", "cluster_test"], cwd=tmp,
                              env=dict(env, PYTHONPATH=str(HERE))
                              ).returncode


if __name__ == "__main__":
    sys.exit(main())
