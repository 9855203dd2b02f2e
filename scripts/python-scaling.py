#!/usr/bin/python3
"""Measures the Python package's throughput on this machine, for docs/SCALING.md:
convert_files with 1 and with 2 threads, and one process against a local Dask
cluster of two worker processes (one thread each), over the same folder of
generated estimates, XML written to files. Prints wall times (best of the runs),
documents and XML megabytes per second, and the ratios.

Usage (after a release build in build/; Dask from Debian's python3-distributed):
    /usr/bin/python3 scripts/python-scaling.py [--documents N] [--positions P] [--runs R]
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def timed(work):
    """(wall seconds, CPU seconds of this process) of work()."""
    wall, cpu = time.perf_counter(), time.process_time()
    work()
    return time.perf_counter() - wall, time.process_time() - cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--documents", type=int, default=200)
    parser.add_argument("--positions", type=int, default=1000,
                        help="positions of the largest estimate; the others have 1/2, 1/4, 1/8")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build", default=str(ROOT / "build"))
    args = parser.parse_args()

    build = pathlib.Path(args.build)
    os.environ.setdefault("KDX2XML_LIBRARY", str(build / "libkdx2xml.so.1"))
    os.environ.setdefault("SOURCE_DATE_EPOCH", "1678838400")
    sys.path.insert(0, str(ROOT / "bindings" / "python"))
    import kdx2xml
    from kdx2xml import cluster

    tmp = pathlib.Path(tempfile.mkdtemp(prefix="kdx2xml-scaling-"))
    try:
        sources = []
        for share in (1, 2, 4, 8):
            path = tmp / f"source{share}.kdx"
            subprocess.run([build / "tests" / "make_samples", "--positions",
                            str(max(1, args.positions // share)), path], check=True,
                           capture_output=True)
            sources.append(path)
        archive = tmp / "archive"
        archive.mkdir()
        paths = []
        for i in range(args.documents):
            path = archive / f"doc{i:05d}.kdx"
            shutil.copyfile(sources[i % len(sources)], path)
            paths.append(path)
        input_mb = sum(p.stat().st_size for p in paths) / 1e6
        xml_mb = sum(len(r.xml) for r in kdx2xml.convert_files(paths)) / 1e6

        def threads(jobs):
            return lambda: kdx2xml.convert_files(paths, tmp / f"threads{jobs}", jobs=jobs)

        client = cluster.local_client(2)
        try:
            client.wait_for_workers(2)
            runs = iter(range(1 << 30))

            def on_cluster():
                summary = cluster.run([str(archive)], str(tmp / f"cluster{next(runs)}"), client)
                assert summary.converted == len(paths), summary.line()

            on_cluster()  # the workers load the library
            # The three ways in turn, so that a change of the machine's load
            # falls on all of them; the best run of each counts.
            modes = {"one process, convert_files jobs=1": threads(1),
                     "one process, convert_files jobs=2": threads(2),
                     "local cluster, 2 workers x 1 thread": on_cluster}
            times = {name: [] for name in modes}
            for _ in range(args.runs):
                for name, work in modes.items():
                    times[name].append(timed(work))
        finally:
            local = client.cluster
            client.close()
            local.close()
    finally:
        shutil.rmtree(tmp)

    print(f"{len(paths)} estimates of up to {args.positions} positions: {input_mb:.1f} MB in, "
          f"{xml_mb:.1f} MB of XML; {os.cpu_count()} cores, load {os.getloadavg()[0]:.2f}")
    best = {}
    for name, runs in times.items():
        wall, cpu = min(runs)
        best[name] = wall
        # The client's CPU time says nothing of the workers'.
        used = f"{cpu / wall:5.2f} cores busy" if "cluster" not in name else ""
        print(f"{name:38s} {wall:7.2f} s {len(paths) / wall:8.1f} docs/s "
              f"{xml_mb / wall:7.1f} MB/s XML {used}")
    one, two, workers = best.values()
    print(f"jobs=2 / jobs=1 wall time: {two / one:.2f}; "
          f"cluster of 2 / one process (jobs=1): {workers / one:.2f}")


if __name__ == "__main__":
    main()
