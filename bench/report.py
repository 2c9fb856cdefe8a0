"""Turns the benchmark's hyperfine results and peak memories into one table."""
import datetime
import json
import os
import statistics
import sys

work, out, fstype = sys.argv[1], sys.argv[2], sys.argv[3]
peaks = [int(line) for line in open(os.path.join(work, "peaks.txt")) if line.strip()]
workloads = [("large", "floor"), ("small", "floor"), ("sounds", "floor"), ("one", "cp")]

rows = []
peak_index = 0
for workload, base in workloads:
    results = json.load(open(os.path.join(work, workload + ".json")))["results"]
    by_name = {r["command"]: r for r in results}
    base_times = by_name[base]["times"]
    for r in results:
        # Paired ratios: the i-th run of a command against the i-th run of the base.
        ratios = [t / b for t, b in zip(r["times"], base_times)]
        rows.append((workload, r["command"], statistics.median(r["times"]), statistics.median(ratios), base,
                     peaks[peak_index] / 1024))
        peak_index += 1

large = {r[1]: r[2] for r in rows if r[0] == "large"}
sounds = {r[1]: r[2] for r in rows if r[0] == "sounds"}
lines = [
    f"Measured {datetime.date.today().isoformat()} on {os.cpu_count()} cores, files on {fstype}; "
    "median of the runs, ratio = median of the paired ratios to the base.",
    "",
    "| workload | tool | median time | ratio | to | peak memory |",
    "|---|---|---|---|---|---|",
]
for workload, command, median, ratio, base, peak in rows:
    lines.append(f"| {workload} | {command} | {median * 1000:.0f} ms | {ratio:.2f}x | {base} | {peak:.1f} MiB |")
lines += ["", f"sounds with -dig2wav against plain large: "
          f"{sounds['quillfane -dig2wav'] / large['quillfane']:.2f}x; against the same list without the option "
          f"(same session): {sounds['quillfane -dig2wav'] / sounds['quillfane (no option)']:.2f}x"]
lines += ["", "Writing .WAV samples out of a heap image (bench/wav_strategies.cpp):", ""]
lines += ["    " + line.rstrip() for line in open(os.path.join(work, "strategies.txt"))]
text = "\n".join(lines) + "\n"
print(text)
with open(out, "w") as f:
    f.write("# Benchmark results\n\n" + text)
