#!/usr/bin/env python3
"""What report.py reads out of strace logs and Google Benchmark's JSON."""

import unittest

import report

IMAGE = "/tmp/d88bench.x/many.d88"
NOTHING = dict(read=0, seek=0, image_reads=0, image_seeks=0, image_bytes=0)

# (case, strace -f -y lines, counts that differ from NOTHING)
TRACES = [
    ("read on the image", [f'7 read(3<{IMAGE}>, ""..., 65536) = 4096'],
     dict(read=1, image_reads=1, image_bytes=4096)),
    ("pread64 on the image", [f'7 pread64(3<{IMAGE}>, ""..., 256, 348848) = 256'],
     dict(read=1, image_reads=1, image_bytes=256)),
    ("readv on the image", [f'7 readv(3<{IMAGE}>, [{{iov_base=""..., iov_len=512}}], 1) = 512'],
     dict(read=1, image_reads=1, image_bytes=512)),
    ("lseek on the image is a call, its result no bytes",
     [f"7 lseek(3<{IMAGE}>, 348848, SEEK_SET) = 348848"], dict(seek=1, image_seeks=1)),
    ("line without pid", [f'read(3<{IMAGE}>, ""..., 16) = 16'],
     dict(read=1, image_reads=1, image_bytes=16)),
    ("the loader's read counts for the process only",
     ['7 read(3</usr/lib/x86_64-linux-gnu/libc.so.6>, ""..., 832) = 832'], dict(read=1)),
    ("a file named like the image and more", [f'7 read(4<{IMAGE}.bak>, ""..., 10) = 10'],
     dict(read=1)),
    ("failed read", [f"7 read(3<{IMAGE}>, 0x7ffd, 65536) = -1 EIO (Input/output error)"],
     dict(read=1, image_reads=1)),
    ("end of file", [f'7 read(3<{IMAGE}>, "", 65536) = 0'], dict(read=1, image_reads=1)),
    ("a read split by another process's call is one call",
     [f"7 pread64(3<{IMAGE}>,  <unfinished ...>",
      '8 read(4</tmp/other>, ""..., 8) = 8',
      '7 <... pread64 resumed>""..., 4096, 0) = 4096'],
     dict(read=2, image_reads=1, image_bytes=4096)),
    ("other calls and strace's own lines",
     [f'7 openat(AT_FDCWD</tmp>, "{IMAGE}", O_RDONLY) = 3<{IMAGE}>',
      '7 write(1</dev/null>, "64\\n", 3) = 3',
      "7 --- SIGCHLD {si_signo=SIGCHLD} ---",
      "7 +++ exited with 0 +++"], {}),
]


class TraceCountsTest(unittest.TestCase):
    def test_traces(self):
        for case, lines, counts in TRACES:
            with self.subTest(case):
                self.assertEqual(report.trace_counts("\n".join(lines), IMAGE), NOTHING | counts)

    def test_no_image(self):
        line = f'7 read(3<{IMAGE}>, ""..., 16) = 16'
        self.assertEqual(report.trace_counts(line), NOTHING | dict(read=1))


class ReaderMediansTest(unittest.TestCase):
    def test_medians_in_ns(self):
        def run(name, aggregate, time, unit, **counters):
            return dict(name=f"{name}_{aggregate}", run_name=name, aggregate_name=aggregate,
                        real_time=time, time_unit=unit, **counters)

        benchmarks = [
            run("ReadSectors/MAIN/real_time", "mean", 999.0, "ns"),
            run("ReadSectors/MAIN/real_time", "median", 576.25, "ns"),
            run("WalkLongTrackInFile/real_time", "median", 199.5, "us", per_record=3.05e-9),
            run("Slow", "median", 1.5, "ms"),
        ]
        self.assertEqual(report.reader_medians(dict(benchmarks=benchmarks)),
                         [("ReadSectors/MAIN", 576.25, None),
                          ("WalkLongTrackInFile", 199500.0, 3.05),
                          ("Slow", 1500000.0, None)])


if __name__ == "__main__":
    unittest.main()
