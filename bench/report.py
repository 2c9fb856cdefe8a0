"""Turns the benchmark's timings (bench/interleave.py, bench/workbench.py) and peak memories into one table.

usage: report.py WORK OUT FSTYPE (OUT "-": printed only)"""
import datetime
import json
import os
import statistics
import sys

work, out, fstype = sys.argv[1], sys.argv[2], sys.argv[3]
only = open(os.path.join(work, "sections.txt")).read().strip()
sections = {"all": {"unpack", "update", "workbench"}, "pack": {"update", "workbench"}}.get(only, {only})
peaks = [int(line) for line in open(os.path.join(work, "peaks.txt")) if line.strip()]
workloads = ["large", "small", "sounds", "one"] if "unpack" in sections else []
# Each command against the floor that does the same work: -dig2wav also writes every .WAV companion.
bases = {("sounds", "floor -dig2wav"): "floor -dig2wav", ("sounds", "quillfane -dig2wav"): "floor -dig2wav"}

rows = []
peak_index = 0
for workload in workloads:
    results = json.load(open(os.path.join(work, workload + ".json")))["results"]
    by_name = {r["command"]: r for r in results}
    for r in results:
        base = bases.get((workload, r["command"]), "floor")
        base_times = by_name[base]["times"]
        # Paired ratios: the i-th run of a command against the i-th run of the base.
        ratios = [t / b for t, b in zip(r["times"], base_times)]
        rows.append((workload, r["command"], statistics.median(r["times"]), statistics.median(ratios), base,
                     peaks[peak_index] / 1024, min(r["times"]), min(r["times"]) / min(base_times)))
        peak_index += 1


def paired_rows(workload, results, pairs, peak_of=lambda name: float("nan")):
    """Each (command, base) as a row: its median, the median of its paired ratios to the base, its fastest."""
    by_name = {r["command"]: r["times"] for r in results}
    for name, base in pairs:
        times, base_times = by_name[name], by_name[base]
        ratios = [t / b for t, b in zip(times, base_times)]
        rows.append((workload, name, statistics.median(times), statistics.median(ratios), base, peak_of(name),
                     min(times), min(times) / min(base_times)))


# quillpack update on the large workload, each case against reading its bytes once (the floor's -read).
if "unpack" in sections:
    paired_rows("update", json.load(open(os.path.join(work, "update.json")))["results"],
                [(name, "floor -read") for name in ("floor -read", "cat", "quillpack update, nothing changed",
                                                    "quillpack update, one 1 MiB entry changed")])

# quillpack update on the 512 MiB archive, each case against the floor's -stream on the same state.
update_cases = ["nothing changed", "one 1 MiB file changed", "100 files changed"]
pack_peaks = {}
for line in open(os.path.join(work, "pack-peaks.txt")):
    if line.strip():
        label, kib = line.rstrip("\n").split("\t")
        pack_peaks[label] = int(kib) / 1024
if "update" in sections:
    pairs = []
    for case in update_cases:
        pairs += [(f"floor -stream, {case}", f"floor -stream, {case}"), (f"quillpack update, {case}", f"floor -stream, {case}")]
    paired_rows("update 512 MiB", json.load(open(os.path.join(work, "pack-update.json")))["results"], pairs,
                lambda name: pack_peaks.get(name, float("nan")))

# The workbench against the floor server, page loads and Saves; the peak is the server's after all of them.
if "workbench" in sections:
    bench = json.load(open(os.path.join(work, "workbench.json")))
    server_peaks = {name: kib / 1024 for name, kib in bench["peaks_kib"].items()}
    pairs = []
    for what in ("page ready", "Save of one change"):
        pairs += [(f"floor server, {what}", f"floor server, {what}"), (f"quillpack open, {what}", f"floor server, {what}")]
    paired_rows("workbench 512 MiB", bench["results"], pairs,
                lambda name: server_peaks[name.split(",")[0]])

ratio = {(r[0], r[1]): r[3] for r in rows}
peak = {(r[0], r[1]): r[5] for r in rows}
resource_mib = {"large": 1024, "small": 999 * 4096 / 2**20, "sounds": 1024, "one": 1024}
# The goals the tool is held to, checked on this run's own figures: what, the figure, met.
def within(workload, command, limit):
    value = ratio[(workload, command)]
    return f"{value:.2f}x", value <= limit


def faster_than_tar(workload):
    tool, tar = ratio[(workload, "quillfane")], ratio[(workload, "tar -xf")]
    return f"{tool:.2f}x against {tar:.2f}x", tool < tar


def peak_within(workload):
    most = max(peak[(w, c)] for (w, c) in peak if w == workload and c.startswith("quillfane"))
    return f"{most:.1f} MiB of {resource_mib[workload] + 16:.1f}", most <= resource_mib[workload] + 16


goals = [] if "unpack" not in sections else [
    ("large within 1.10x of the floor", *within("large", "quillfane", 1.10)),
    ("large faster than tar -xf", *faster_than_tar("large")),
    ("small within 1.10x of the floor", *within("small", "quillfane", 1.10)),
    ("small faster than tar -xf", *faster_than_tar("small")),
    ("one within 1.10x of the floor", *within("one", "quillfane", 1.10)),
    ("sounds -dig2wav within 1.10x of the floor -dig2wav", *within("sounds", "quillfane -dig2wav", 1.10)),
] + [(f"{w} peak memory within the resource + 16 MiB", *peak_within(w)) for w in workloads] + [
    ("update, nothing changed, within 1.3x of reading its bytes once (floor -read)",
     *within("update", "quillpack update, nothing changed", 1.3)),
    ("update, one entry changed, within 1.5x of reading its bytes once (floor -read)",
     *within("update", "quillpack update, one 1 MiB entry changed", 1.5)),
]
MiB = 2**20
# The largest file each case changes: none, the 1 MiB edit, records of 537408 bytes.
largest_changed = {"nothing changed": 0, "one 1 MiB file changed": 1, "100 files changed": 537408 / MiB}


def peak_of(workload, command, limit):
    value = peak[(workload, command)]
    return f"{value:.1f} MiB of {limit:.1f}", value <= limit


if "update" in sections:
    goals.append(("update 512 MiB, nothing changed, within 1.2x of its floor (-stream)",
                  *within("update 512 MiB", "quillpack update, nothing changed", 1.2)))
    for case in update_cases[1:]:
        goals.append((f"update 512 MiB, {case}, within 1.5x of its floor (-stream)",
                      *within("update 512 MiB", f"quillpack update, {case}", 1.5)))
    for case in update_cases:
        goals.append((f"update 512 MiB, {case}: peak memory within the largest changed file + 32 MiB",
                      *peak_of("update 512 MiB", f"quillpack update, {case}", largest_changed[case] + 32)))
if "workbench" in sections:
    for what in ("page ready", "Save of one change"):
        goals.append((f"workbench 512 MiB, {what}, within 1.5x of the floor server",
                      *within("workbench 512 MiB", f"quillpack open, {what}", 1.5)))
    # One Save at a time: 1 MiB of upload in flight at most.
    goals.append(("workbench 512 MiB, the server's peak memory (VmHWM) after page loads and Saves within 64 MiB "
                  "+ the uploads in flight (1 MiB)", *peak_of("workbench 512 MiB", "quillpack open, page ready", 65)))

lines = [
    f"Measured {datetime.date.today().isoformat()} on {os.cpu_count()} cores, files on {fstype}; "
    "median of the runs, ratio = median of the paired ratios to the base (each command once a round, rounds "
    "interleaved); the fastest run and its ratio to the base's fastest, since this machine's memory stalls "
    "(a gigabyte made present can take 0.3 s or 1 s) hit single runs of any command.",
    "",
    "| workload | tool | median time | ratio | to | fastest run | its ratio | peak memory |",
    "|---|---|---|---|---|---|---|---|",
]
for workload, command, median, ratio, base, peak, fastest, fastest_ratio in rows:
    lines.append(f"| {workload} | {command} | {median * 1000:.0f} ms | {ratio:.2f}x | {base} | "
                 f"{fastest * 1000:.0f} ms | {fastest_ratio:.2f}x | " + ("-" if peak != peak else f"{peak:.1f} MiB") + " |")
if "unpack" in sections:
    large = {r[1]: r[2] for r in rows if r[0] == "large"}
    sounds = {r[1]: r[2] for r in rows if r[0] == "sounds"}
    lines += ["", f"sounds with -dig2wav against plain large: "
              f"{sounds['quillfane -dig2wav'] / large['quillfane']:.2f}x; against the same list without the option "
              f"(same session): {sounds['quillfane -dig2wav'] / sounds['quillfane (no option)']:.2f}x; "
              f"the floor -dig2wav against the plain floor: {sounds['floor -dig2wav'] / sounds['floor']:.2f}x "
              "(median times)"]
if "update" in sections:
    lines += ["", "update 512 MiB: a 512 MiB resource of 999 records (537408 bytes each) unpacked into data/; "
              "each case's floor (bench/floor.cpp -stream) reads each record's range and its file once through "
              "reused buffers and compares them, appending what differs to a scratch file it syncs; every run "
              "starts from the archive as generated (bench/pack_state.py)."]
if "workbench" in sections:
    lines += ["", f"workbench 512 MiB: a client holding a session (bench/workbench.py); page ready = the page, "
              f"its style and scripts ({bench['assets']} requests in {bench['waves']} waves, as a browser fetches "
              "a module graph, on up to 6 connections), /api/archive, then /api/history and /api/status "
              "together; a Save = the page's POST /api/save of one 1 MiB replacement (the reload "
              "after it not counted). The floor server (bench/floor_server.cpp, the same HTTP library) sends "
              "the workbench's own captured answers after the disk work each needs: the list and each record's "
              "first 4 KiB for /api/archive, the history file, every record's range and data/ file compared "
              "for /api/status; a Save appends and syncs the bytes, writes the list beside, syncs it and "
              "renames it in; its sockets send at once (TCP_NODELAY), where httplib's default makes an answer "
              "sent as head then body wait up to 40 ms for the client's delayed acknowledgement. Peak memory: the server's VmHWM after every page load and Save "
              f"(the resource is {bench['resource_bytes'] / MiB:.0f} MiB by then)."]
lines += ["", "Goals (ratio = median of the paired ratios):", ""]
lines += [f"- {what}: {figure}, {'met' if met else 'MISSED'}" for what, figure, met in goals]
if "unpack" in sections:
    lines += ["", "Writing .WAV samples out of a heap image (bench/wav_strategies.cpp):", ""]
    lines += ["    " + line.rstrip() for line in open(os.path.join(work, "strategies.txt"))]
text = "\n".join(lines) + "\n"
print(text)
if out != "-":
    with open(out, "w") as f:
        f.write("# Benchmark results\n\n" + text)
