#!/usr/bin/env python3
"""Times cartscope's jobs against their floors, pair by pair.

Each job is a run of cartscope (one process per file, as a file manager or a
batch starts it) and a run of its floor: the least the same job can cost,
done by a small C program or a standard tool. The two runs alternate, A B A B,
each counted in the CPU time (user + system) the kernel accounts to its
processes, and in wall time; a ratio is taken pair by pair, so that a drift in
the machine's speed does not tilt it. Work that only sets a run up (a file cut
back for the next untrim, say) is done before the run and not counted.

Started by bench/compare.sh, which builds the floors and gives:
    paired.py CARTSCOPE FLOORS_DIR SAMPLES_DIR WORK_DIR PAIRS [JOB...]
"""

import os
import shutil
import statistics
import struct
import sys
import time

MIB = 1024 * 1024
BIG_CAPACITY = 256 * MIB
BIG_USED = 160 * MIB


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def make_big_rom(sample, path):
    """A 256 MiB card whose first 160 MiB are used: the sample's header (with
    that capacity and used size), its banner, then pseudo-random bytes, then
    0xFF padding to the card's end."""
    with open(sample, "rb") as f:
        head = bytearray(f.read())
    head[0x14] = 11  # 128 KiB << 11: 256 MiB
    struct.pack_into("<I", head, 0x80, BIG_USED)
    struct.pack_into("<H", head, 0x15E, crc16(head[:0x15E]))
    with open(path, "wb") as f:
        f.write(head)
        block = bytes((i * 2654435761 >> 13) & 0xFF for i in range(MIB))
        left = BIG_USED - len(head)
        while left > 0:
            n = min(left, len(block))
            f.write(block[:n])
            left -= n
        pad = b"\xff" * MIB
        left = BIG_CAPACITY - BIG_USED
        while left > 0:
            f.write(pad[: min(left, MIB)])
            left -= MIB


class Runner:
    def __init__(self, env):
        self.env = env
        self.paths = {}

    def resolve(self, name):
        if name not in self.paths:
            found = name if os.sep in name else shutil.which(name)
            if not found:
                sys.exit(f"paired.py: {name} not found")
            self.paths[name] = found
        return self.paths[name]

    def run(self, commands, counted=True):
        """Runs the commands one after another; gives (cpu, wall) seconds."""
        cpu = 0.0
        start = time.perf_counter()
        for argv in commands:
            actions = [(os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0)]
            pid = os.posix_spawn(self.resolve(argv[0]), argv, self.env, file_actions=actions)
            _, status, usage = os.wait4(pid, 0)
            if os.waitstatus_to_exitcode(status) != 0 and counted:
                sys.exit(f"paired.py: {' '.join(argv)} failed ({os.waitstatus_to_exitcode(status)})")
            cpu += usage.ru_utime + usage.ru_stime
        return cpu, time.perf_counter() - start


def pair_up(runner, job, pairs):
    for _ in range(2):  # warm-up: caches, page cache
        for side in ("a", "b"):
            runner.run(job.get("prepare", []), counted=False)
            runner.run(job[side])
    figures = {"a": [], "b": []}
    for i in range(pairs):
        # A B, then B A: neither side always runs first.
        for side in ("a", "b") if i % 2 == 0 else ("b", "a"):
            runner.run(job.get("prepare", []), counted=False)
            figures[side].append(runner.run(job[side]))
    return figures


def main():
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    cartscope, floors, samples, work, pairs = sys.argv[1:6]
    pairs = int(pairs)
    wanted = sys.argv[6:]
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    # No database in the data folder: the floors look nothing up either.
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home,
           "XDG_DATA_HOME": os.path.join(home, "data"), "LC_ALL": "C"}
    runner = Runner(env)

    roms = []
    for name in sorted(os.listdir(samples)):
        if name.endswith(".nds"):
            roms.append(os.path.join(samples, name))
    roms = (roms * 12)[:12]  # twelve files, one process each
    big = os.path.join(work, "big.nds")
    if not os.path.exists(big):
        make_big_rom(roms[0], big)
    # The length a trim gives, and the padding an untrim adds back.
    runner.run([[cartscope, "trim", big]])
    trimmed = os.path.getsize(big)
    pad = os.path.join(work, "pad.bin")
    with open(pad, "wb") as f:
        f.write(b"\xff" * (BIG_CAPACITY - trimmed))
    untrim_floor = ["dd", f"if={pad}", f"of={big}", "bs=1M", "oflag=append", "conv=notrunc", "status=none"]
    cut = ["truncate", "-s", str(trimmed), big]
    # icon's output: a synced file, on tmpfs where there is one (the floor
    # writes nothing; a disk's flush would be most of the run). thumbnail's:
    # in the work folder, as a file manager's temporary file.
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else work
    png = os.path.join(shm, f"cartscope-compare-{os.getpid()}.png")
    thumb = os.path.join(work, "thumbnail.png")

    jobs = {
        "icon": {"what": "icon, 12 files", "floor": "C: open, read 512, read 0x840, close",
                 "a": [[cartscope, "icon", r, "-o", png] for r in roms],
                 "b": [[os.path.join(floors, "icon_floor"), r] for r in roms]},
        # The same against C programs that also write the PNG: with no
        # library (its rows stored), as icon writes it (temporary name,
        # synced, renamed, folder synced); and with libpng.
        "icon_file": {"what": "icon, 12 files", "floor": "C: the PNG written, synced, renamed",
                      "a": [[cartscope, "icon", r, "-o", png] for r in roms],
                      "b": [[os.path.join(floors, "icon_file_floor"), r, png] for r in roms]},
        "icon_png": {"what": "icon, 12 files", "floor": "C + libpng: the PNG written, synced, renamed",
                     "a": [[cartscope, "icon", r, "-o", png] for r in roms],
                     "b": [[os.path.join(floors, "icon_png_floor"), r, png] for r in roms]},
        "thumbnail": {"what": "thumbnail 128, 12 files", "floor": "C: open, read 512, read 0x840, close",
                      "a": [[cartscope, "thumbnail", "-s", "128", r, thumb] for r in roms],
                      "b": [[os.path.join(floors, "icon_floor"), r] for r in roms]},
        "info": {"what": "info, 12 files", "floor": "C: header, banner, zlib CRC-32 of the file",
                 "a": [[cartscope, "info", r] for r in roms],
                 "b": [[os.path.join(floors, "info_floor"), r] for r in roms]},
        "untrim": {"what": "untrim 160 -> 256 MiB", "floor": "dd bs=1M appending the same 0xFF bytes",
                   "prepare": [cut], "a": [[cartscope, "untrim", big]], "b": [untrim_floor]},
        "trim": {"what": "trim 256 -> 160 MiB", "floor": "C: read the tail, check it, truncate",
                 "prepare": [cut, untrim_floor], "a": [[cartscope, "trim", big]],
                 "b": [[os.path.join(floors, "trim_floor"), big, str(trimmed)]]},
        "info256": {"what": "info, one 256 MiB file", "floor": "cat > /dev/null",
                    "prepare": [], "a": [[cartscope, "info", big]], "b": [["cat", big]]},
    }

    # Yardsticks: what a per-file run of cartscope pays whatever it does,
    # each a C or C++ program against the read-only floor. The C++ runtime's
    # start (cartscope links it in statically, as cxx_floor is), and the
    # output icon writes as every output is written (icon_file_floor).
    yardsticks = {
        "cxx_start": {"what": "C++ runtime, 12 files", "floor": "C: open, read 512, read 0x840, close",
                      "a": [[os.path.join(floors, "cxx_floor"), r] for r in roms],
                      "b": [[os.path.join(floors, "icon_floor"), r] for r in roms]},
        "safe_write": {"what": "PNG written safely, 12", "floor": "C: open, read 512, read 0x840, close",
                       "a": [[os.path.join(floors, "icon_file_floor"), r, png] for r in roms],
                       "b": [[os.path.join(floors, "icon_floor"), r] for r in roms]},
    }

    def table(title, rows, timed):
        chosen = [(name, job) for name, job in rows.items() if not wanted or name in wanted]
        if not chosen:
            return
        print(f"{title:24} {'floor':42} {timed + ' ms':>12} {'floor ms':>9} {'CPU ratio':>9} {'wall ratio':>10}")
        for name, job in chosen:
            if name == "info256":  # the whole card: the padding back first
                runner.run([cut, untrim_floor], counted=False)
            figures = pair_up(runner, job, pairs)
            a_cpu = statistics.median(c for c, _ in figures["a"])
            b_cpu = statistics.median(c for c, _ in figures["b"])
            cpu_ratio = statistics.median(a[0] / b[0] for a, b in zip(figures["a"], figures["b"]) if b[0] > 0)
            wall_ratio = statistics.median(a[1] / b[1] for a, b in zip(figures["a"], figures["b"]))
            print(f"{job['what']:24} {job['floor']:42} {a_cpu * 1000:12.1f} {b_cpu * 1000:9.1f} {cpu_ratio:9.2f} {wall_ratio:10.2f}",
                  flush=True)

    unknown = [name for name in wanted if name not in jobs and name not in yardsticks]
    if unknown:
        sys.exit(f"paired.py: no job {', '.join(unknown)} (jobs: {' '.join([*jobs, *yardsticks])})")
    table("job", jobs, "cartscope")
    table("yardstick", yardsticks, "yardstick")
    print(f"(medians of {pairs} pairs; times are CPU, user + system, of the run's processes)")
    if os.path.exists(png):
        os.remove(png)


if __name__ == "__main__":
    main()
