"""Puts the quillpack update workload into the state one timed run starts from
(run as a PREPARE of bench/interleave.py, outside the timing).

usage: pack_state.py DIR SET=VARIANT [SET=VARIANT ...]

DIR holds the archive (P.RD, P.RES, data/), its state as generated
(pristine/P.RD and pristine/size: the list and the resource's length) and the
edits: edits/SET/VARIANT/NAME for each file NAME of data/ a SET changes. The
variant "o" is the file as unpacked; "changed" is "a" and "b" in turn, so each
run puts back an edit other than the last one. The archive is put back as
generated first (the list copied back, the resource cut back to its length,
the history removed): an update that appended in the run before leaves
nothing behind, and every run starts from the same 512 MiB resource.
A set's files are copied into data/ only when another variant is there now.
"""
import os
import shutil
import sys

here, wants = sys.argv[1], dict(arg.split("=", 1) for arg in sys.argv[2:])

shutil.copyfile(os.path.join(here, "pristine", "P.RD"), os.path.join(here, "P.RD"))
with open(os.path.join(here, "pristine", "size")) as f:
    os.truncate(os.path.join(here, "P.RES"), int(f.read()))
for leftover in ("P.RD.history",):
    if os.path.exists(os.path.join(here, leftover)):
        os.remove(os.path.join(here, leftover))

for name_of_set, want in wants.items():
    edits = os.path.join(here, "edits", name_of_set)
    shown_file = os.path.join(edits, "shown")
    shown = open(shown_file).read() if os.path.exists(shown_file) else "o"
    if want == "changed":
        want = "b" if shown == "a" else "a"
    if want == shown:
        continue
    for name in os.listdir(os.path.join(edits, want)):
        shutil.copyfile(os.path.join(edits, want, name), os.path.join(here, "data", name))
    with open(shown_file, "w") as f:
        f.write(want)
