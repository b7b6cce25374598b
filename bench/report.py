#!/usr/bin/env python3
"""Writes the Markdown of bench/RESULTS.md from what bench/run measured.

    bench/report.py WORK_DIR > RESULTS.md

WORK_DIR is bench/run's folder: the rows, hyperfine's JSON, the peak RSS of
/usr/bin/time, the strace logs, Google Benchmark's JSON and valgrind's logs.
"""

import json
import os
import platform
import re
import sys
from pathlib import Path

READ_CALLS = {"read", "pread64", "readv", "preadv", "preadv2"}
SEEK_CALLS = {"lseek", "_llseek"}

# With -f every line starts with a pid; a call another process interrupts
# is split into "name(args <unfinished ...>" and "<... name resumed>rest".
TRACE_LINE = re.compile(
    r"(?:(?P<pid>\d+) +)?(?:<\.\.\. (?P<resumed>\w+) resumed>|(?P<name>\w+)\()(?P<rest>.*)$")
RESULT = re.compile(r"\) += (-?\d+)(?: \w+ \(.*\))?$")
DESCRIPTOR = re.compile(r"\d+<")

SECTOR_BYTES = 256
# What indexing may read per image: its header and a little more.
INDEX_BYTES_PER_IMAGE = 4096


def trace_counts(text, image=None):
    """Read and seek calls in an `strace -f -y` log: of the whole process,
    and on the descriptor of the file `image` with the bytes read there."""
    counts = dict(read=0, seek=0, image_reads=0, image_seeks=0, image_bytes=0)
    pending = {}  # pid: whether its unfinished call is on the image
    for line in text.splitlines():
        match = TRACE_LINE.match(line)
        if not match:
            continue
        rest = match["rest"]
        if match["resumed"]:
            name = match["resumed"]
            on_image = pending.pop(match["pid"], False)
        else:
            name = match["name"]
            if name not in READ_CALLS | SEEK_CALLS:
                continue
            descriptor = DESCRIPTOR.match(rest)
            on_image = bool(image and descriptor
                            and rest[descriptor.end():].startswith(image + ">"))
            kind = "read" if name in READ_CALLS else "seek"
            counts[kind] += 1
            if on_image:
                counts[f"image_{kind}s"] += 1
            if rest.endswith("<unfinished ...>"):
                pending[match["pid"]] = on_image
                continue
        result = RESULT.search(rest)
        if on_image and name in READ_CALLS and result and int(result[1]) > 0:
            counts["image_bytes"] += int(result[1])
    return counts


def reader_medians(report):
    """(name, real time in ns, ns per record or None) of the medians in a
    Google Benchmark JSON report, in the order they ran."""
    scale = dict(ns=1, us=1e3, ms=1e6, s=1e9)
    rows = []
    for run in report["benchmarks"]:
        if run.get("aggregate_name") != "median":
            continue
        name = run["run_name"].removesuffix("/real_time")
        per_record = run.get("per_record")
        rows.append((name, run["real_time"] * scale[run["time_unit"]],
                     None if per_record is None else per_record * 1e9))
    return rows


def key_values(path):
    return dict(line.split("=", 1) for line in path.read_text().splitlines() if "=" in line)


def met(condition):
    return "met" if condition else "**missed**"


def table(header, rows, align):
    """Markdown table; `align` holds one "l" or "r" a column."""
    lines = ["| " + " | ".join(header) + " |",
             "|" + "|".join("---" if a == "l" else "--:" for a in align) + "|"]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def machine(context):
    cpu = next((line.split(":", 1)[1].strip()
                for line in Path("/proc/cpuinfo").read_text().splitlines()
                if line.startswith("model name")), "unknown CPU")
    return (f"{os.cpu_count()} cores, {cpu}; {platform.system()} {platform.release()}; "
            f"{context['compiler']}; {context['cmake']}; libbenchmark {context['libbenchmark']}; "
            f"{context['hyperfine']}; build type {context['build_type']}; {context['date']}; "
            f"load average before the run {context['load_before']}, after {context['load_after']}")


def read_rows(work):
    """The rows of the whole-process table, by name, in bench/run's order."""
    rows = {}
    for line in (work / "rows").read_text().splitlines():
        name, _, image, images, status, label = line.split("|")
        timing = json.loads((work / f"{name}.json").read_text())["results"][0]
        if set(timing["exit_codes"]) != {int(status)}:
            sys.exit(f"report.py: '{name}' ended with {timing['exit_codes']} under hyperfine,"
                     f" not {status}")
        image_path = None if image == "-" else str(work / image)
        # time -f %M notes a non-zero status on a line of its own.
        rss = [int(line) for line in (work / f"{name}.rss").read_text().splitlines()
               if line.isdigit()]
        rows[name] = dict(label=label, images=int(images),
                          bytes=os.path.getsize(image_path) if image_path else "-",
                          ms={key: timing[key] * 1e3 for key in ("median", "min", "max")},
                          rss=max(rss),
                          **trace_counts((work / f"{name}.trace").read_text(), image_path))
    return rows


def read_heap(work):
    """(input, images, allocations, bytes allocated) of each valgrind run."""
    heap = []
    if (work / "heap").exists():
        for line in (work / "heap").read_text().splitlines():
            name, images = line.split("|")
            usage = re.search(r"total heap usage: ([\d,]+) allocs, [\d,]+ frees, ([\d,]+) bytes",
                              (work / f"{name}.valgrind").read_text())
            heap.append((f"{name}.d88", images,
                         *(int(value.replace(",", "")) for value in usage.groups())))
    return heap


def main(work):
    work = Path(work)
    context = key_values(work / "context")
    runs, hostile_images = context["runs"], int(context["hostile_images"])
    rows = read_rows(work)
    ms = {name: row["ms"]["median"] for name, row in rows.items()}
    reader = reader_medians(json.loads((work / "reader.json").read_text()))
    heap = read_heap(work)
    index = trace_counts((work / "index-only.trace").read_text(), str(work / "many.d88"))
    index_images = int((work / "index-only.out").read_text())

    # Sector reads of a hostile image, averaged over Disk A and Disk B: the
    # six files of the catalogue in whole sectors, plus each disk's boot sector.
    catalogue_bytes = sum(f.stat().st_size for f in (work / "out-sample").iterdir())
    reads_per_hostile_image = (catalogue_bytes // SECTOR_BYTES + 2) // 2
    hostile_ms = ms["hostile"] / hostile_images
    memory_walk_ms = ({name: ns for name, ns, _ in reader}["WalkLongTrackInMemory"]
                      * reads_per_hostile_image / 1e6)
    sample_calls = rows["sample"]["read"] + rows["sample"]["seek"]
    many_images = rows["many"]["images"]
    index_limit = many_images * INDEX_BYTES_PER_IMAGE
    # The memory target is the shipped tool's: the shared-runtime row is left out.
    max_rss = max(row["rss"] for name, row in rows.items() if name != "sample-shared-runtime")
    many_over_one = rows["many"]["rss"] - rows["one"]["rss"]
    targets = [
        ("hostile image: at most 20 ms per image, whole process",
         f"{hostile_ms:.2f} ms", hostile_ms <= 20),
        (f"hostile image: within 2x of the in-memory walk ({reads_per_hostile_image} sector reads"
         f" per image x WalkLongTrackInMemory = {memory_walk_ms:.2f} ms)",
         f"{hostile_ms / memory_walk_ms:.2f}x", hostile_ms <= 2 * memory_walk_ms),
        ("two-disk set: at most 12 read and seek calls, whole process", sample_calls,
         sample_calls <= 12),
        (f"{many_images}-image file indexed with at most {many_images} x 4 KiB ="
         f" {index_limit} bytes read (d88index_only, finding all {many_images})",
         f"{index['image_bytes']} bytes in {index['image_reads']} reads, {index_images} found",
         index["image_bytes"] <= index_limit and index_images == many_images),
        ("two-disk set: wall time within 1.2x of the floor",
         f"{ms['sample'] / ms['floor']:.2f}x", ms["sample"] <= 1.2 * ms["floor"]),
        ("peak RSS at most 4 MiB for every input", f"{max_rss / 1024:.2f} MiB", max_rss <= 4096),
        ("64-image file at most 1 MiB above the one-image file", f"{many_over_one} KiB",
         many_over_one <= 1024),
    ]
    if heap:
        allocations = {name: count for name, _, count, _ in heap}
        targets.append(("heap allocations do not grow with reads (one image vs 64)",
                        f"{allocations['one.d88']} vs {allocations['many.d88']}",
                        allocations["one.d88"] == allocations["many.d88"]))
    if context["static_runtime"] == "ON":
        runtime_as_built = "with the C++ runtime linked in (D88CUT_STATIC_RUNTIME, as shipped)"
    else:
        runtime_as_built = "configured with D88CUT_STATIC_RUNTIME=OFF, so also loading the runtime"

    whole_process = table(
        ["input", "images", "file bytes", "median (ms)", "min (ms)", "max (ms)", "per image (ms)",
         "vs floor", "peak RSS (KiB)", "read calls", "seek calls", "calls on the image",
         "bytes read from the image"],
        [[row["label"], row["images"], row["bytes"],
          *(f"{row['ms'][key]:.2f}" for key in ("median", "min", "max")),
          f"{row['ms']['median'] / row['images']:.2f}" if row["images"] else "-",
          f"{row['ms']['median'] / ms['floor']:.2f}", row["rss"], row["read"], row["seek"],
          row["image_reads"] + row["image_seeks"], row["image_bytes"]]
         for row in rows.values()],
        "lrrrrrrrrrrrr")
    print("\n\n".join([
        "# Benchmark results",
        f"Machine: {machine(context)}.",
        f"Made by `bench/run --runs {runs} --hostile-images {hostile_images}`; every figure below"
        " comes from that one run.",
        "## Whole process",
        f"Wall time is hyperfine's median, min and max of {runs} runs after 3 warm-up runs, one row"
        " after the other. Peak RSS is /usr/bin/time's %M. Read and seek calls are strace -f counts"
        " for the whole process (the dynamic loader's reads of the shared libraries included);"
        ' "on the image" and "bytes read" are the calls on, and the sum of the read results from,'
        " the image file's descriptor (strace -y).",
        whole_process,
        "## Indexing",
        "`d88index_only` opens the 64-image file with D88Reader::Open, which indexes its images,"
        " prints the count and ends. Reads and seeks are the calls on the image file's descriptor,"
        " bytes read the sum of the read results there (strace -f -y).",
        table(["input", "images found", "reads on the image", "seeks on the image",
               "bytes read from the image"],
              [["64 2D images", index_images, index["image_reads"], index["image_seeks"],
                index["image_bytes"]]],
              "lrrrr"),
        "## Reader",
        "Google Benchmark (`d88reader_bench`), median of 5 repetitions. The walk benchmarks find"
        " the last of 65535 records; WalkLongTrackInMemory is the floor: the same walk over the"
        " same bytes in memory.",
        table(["benchmark", "time (ns)", "per record (ns)"],
              [[name, f"{ns:.1f}", "-" if per_record is None else f"{per_record:.2f}"]
               for name, ns, per_record in reader],
              "lrr"),
        "## Where the two-disk time goes",
        f"d88cut started with no argument, which reads and writes nothing, takes"
        f" {ms['startup']:.2f} ms; the floor's whole run takes {ms['floor']:.2f} ms. Cutting the"
        f" two-disk set takes {ms['sample']:.2f} ms as built here, {runtime_as_built}, and"
        f" {ms['sample-shared-runtime']:.2f} ms with the same code loading the runtime from the"
        " shared libraries (libstdc++, libm, libgcc_s): that loading costs each run"
        f" {ms['sample-shared-runtime'] - ms['sample']:.2f} ms, which the floor, needing none of"
        ' it, does not pay. The reader\'s part is the "calls on the image" of the two-disk row'
        " and, in memory, the ReadSectors rows of the reader table.",
        "## Heap allocations",
        *(["valgrind memcheck, whole process.",
           table(["input", "images", "allocations", "bytes allocated"], heap, "lrrr")] if heap else
          ["Not measured: valgrind is not installed (apt-get install valgrind)."]),
        "## Targets",
        table(["target", "measured", ""],
              [(target, measured, met(ok)) for target, measured, ok in targets], "lll"),
    ]))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
