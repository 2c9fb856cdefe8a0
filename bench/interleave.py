"""Times commands side by side: round after round, each command once per round,
in an order that rotates, so a slow spell of the machine falls on all of them
alike instead of on whichever ran during it. Writes the JSON shape hyperfine
writes (results: command, times).

usage: interleave.py OUT.json RUNS WARMUP NAME COMMAND PREPARE [NAME COMMAND PREPARE ...]
Before every run the shell command PREPARE runs (outside the timing): emptying
an output directory, say, or making the edit an update is to put back.
"""
import json
import shlex
import subprocess
import sys
import time

out, runs, warmup = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
triples = sys.argv[4:]
commands = [(triples[i], shlex.split(triples[i + 1]), triples[i + 2]) for i in range(0, len(triples), 3)]


def timed(argv, prepare):
    subprocess.run(["sh", "-c", prepare], check=True)
    start = time.perf_counter()
    done = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"{argv[0]} failed with status {done.returncode}")
    return elapsed


times = {name: [] for name, _, _ in commands}
for round_ in range(warmup + runs):
    shift = round_ % len(commands)
    for name, argv, prepare in commands[shift:] + commands[:shift]:
        elapsed = timed(argv, prepare)
        if round_ >= warmup:
            times[name].append(elapsed)

with open(out, "w") as f:
    json.dump({"results": [{"command": name, "times": times[name]} for name, _, _ in commands]}, f)
