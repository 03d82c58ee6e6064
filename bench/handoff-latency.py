#!/usr/bin/env python3
"""Time from a second start of the player to its file arriving in the first instance.

Uses the single-instance stand-in built with the tests (build/tests/app/tovira_instance_probe),
which runs the player's own start-up claim and prints each handed-over file as it arrives.
The player window then gathers handed-over files for three seconds before adding them to the
playlist; that delay is by design and comes on top of the figures here.

    python3 bench/handoff-latency.py build/tests/app/tovira_instance_probe [--runs 50] [--burst 20]
"""
import argparse
import os
import select
import statistics
import subprocess
import tempfile
import time


def read_until(proc, wanted, deadline, lines):
    """Reads the first instance's output until every path in `wanted` has arrived."""
    buf = b""
    while wanted - lines:
        left = deadline - time.perf_counter()
        if left <= 0:
            raise TimeoutError(f"missing {sorted(wanted - lines)[:3]}")
        ready, _, _ = select.select([proc.stdout], [], [], left)
        if ready:
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                raise RuntimeError("first instance ended")
            buf += chunk
            *done, buf = buf.split(b"\n")
            for line in done:
                if line.startswith(b"CMD "):
                    lines.update(p.decode() for p in line[4:].split(b"\0") if p)
    return time.perf_counter()


def summary(name, values_ms):
    values_ms = sorted(values_ms)
    p90 = values_ms[int(0.9 * (len(values_ms) - 1))]
    print(f"{name}: median {statistics.median(values_ms):.1f} ms, p90 {p90:.1f} ms, "
          f"max {values_ms[-1]:.1f} ms over {len(values_ms)}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("probe")
    ap.add_argument("--runs", type=int, default=50)
    ap.add_argument("--burst", type=int, default=20)
    args = ap.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        sock = os.path.join(tmp, "s")
        first = subprocess.Popen([args.probe, "start", sock], stdout=subprocess.PIPE)
        try:
            line = first.stdout.readline()
            if line.strip() != b"FIRST":
                raise RuntimeError(f"first instance said {line!r}")
            seen = set()
            arrive, exit_ = [], []
            for i in range(args.runs):
                path = f"/bench/single {i}.mp3"
                t0 = time.perf_counter()
                second = subprocess.Popen([args.probe, "start", sock, path])
                t1 = read_until(first, {path}, t0 + 30, seen)
                second.wait(30)
                t2 = time.perf_counter()
                if second.returncode != 0:
                    raise RuntimeError(f"second start ended with {second.returncode}")
                arrive.append((t1 - t0) * 1000)
                exit_.append((t2 - t0) * 1000)
            summary("second start -> file in the first instance", arrive)
            summary("second start -> second process ended", exit_)

            bursts = []
            for b in range(5):
                paths = {f"/bench/burst {b} {i}.mp3" for i in range(args.burst)}
                t0 = time.perf_counter()
                procs = [subprocess.Popen([args.probe, "start", sock, p]) for p in paths]
                t1 = read_until(first, paths, t0 + 60, seen)
                codes = [p.wait(60) for p in procs]
                if any(codes):
                    raise RuntimeError(f"burst exit codes {codes}")
                bursts.append((t1 - t0) * 1000)
            summary(f"{args.burst} starts at once -> all {args.burst} files in the first instance", bursts)
        finally:
            first.kill()
            first.wait()


if __name__ == "__main__":
    main()
