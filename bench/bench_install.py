"""Install benchmark under Wine: setup.exe against a peer installer built with
makensis from the same files (stored, silent) and against plain Win32 floors,
every program measured in the same interleaved rounds. Prints each target of
the install-speed work with its figure and verdict. Not a test: figures depend
on the machine and on what else runs on it.

    bench/bench_install.py [--runs N] [--products a,b,...] [--quiet-args "ARGS"] [--keep DIR]

Needs build/native-release (InstallerBuilder) and build/win64 (InstallerCore.exe,
bench/wine helpers); makensis for the peer."""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILDER = ROOT / "build/native-release/tools/builder/InstallerBuilder"
STUB = ROOT / "build/win64/src/app/InstallerCore.exe"
HELPERS = ROOT / "build/win64/bench/wine"
MIB = 1024 * 1024

# name: (total MB, files, label)
PRODUCTS = {
    "tiny": (0, 1, "1 tiny file"),
    "f100": (200, 100, "100 files, 200 MB"),
    "f117": (200, 117, "117 files, 200 MB"),
    "f2000": (200, 2000, "2,000 files, 200 MB"),
    "f20000": (200, 20000, "20,000 files, 200 MB"),
    "g1": (1024, 117, "117 files, 1 GB"),
}

NSIS_SCRIPT = """Unicode true
Name "Bench"
OutFile "{out}"
InstallDir "C:\\PeerDefault"
RequestExecutionLevel admin
SetCompress off
Section
  SetOutPath "$INSTDIR"
  File /r "{files}/*"
SectionEnd
"""


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def load():
    return os.getloadavg()


class Wine:
    def __init__(self, work: pathlib.Path):
        self.prefix = work / "prefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all")
        self.shell = f'. "{ROOT}/scripts/lib/wine.sh"'

    def start(self):
        out = subprocess.run(["bash", "-c", self.shell + ' && zel_wine_pick && zel_xvfb_start >/dev/null && '
                              'printf "%s\\n" "$DISPLAY" "$ZEL_XVFB_PID" "$ZEL_WINE" "$ZEL_WINE_32BIT" "${WINELOADER:-}"'],
                             capture_output=True, text=True, check=True).stdout.split("\n")
        # Xvfb was started by that shell in the background and outlives it.
        self.display, self.xvfb = out[0], int(out[1])
        self.env["DISPLAY"] = self.display
        # The Wine loader that runs on this machine (see zel_wine_pick in wine.sh).
        self.wine = out[2]
        self.env.update(ZEL_WINE=out[2], ZEL_WINE_32BIT=out[3])
        if out[4]:
            self.env["WINELOADER"] = out[4]
        subprocess.run(["bash", "-c", self.shell + f' && zel_wine_prefix_create "{self.prefix}"'], env=self.env,
                       check=True)
        # Keeps the server up between the runs, so that each run starts alike.
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env)
        subprocess.run(["bash", "-c", self.shell + f' && zel_wine_prefix_remove "{self.prefix}"'], env=self.env)
        if getattr(self, "xvfb", None):
            try:
                os.kill(self.xvfb, 15)
            except ProcessLookupError:
                pass

    def path(self, p) -> str:
        # Z: is the host's root in every prefix.
        return "Z:" + str(pathlib.Path(p).resolve()).replace("/", "\\")

    def drive_c(self, name: str) -> pathlib.Path:
        return self.prefix / "drive_c" / name

    def helper(self, *args) -> dict:
        # Output through a file, not a pipe: Wine's background services inherit the
        # first program's handles and would keep a pipe open for ever.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            code = subprocess.run([self.wine, str(HELPERS / "bench_setup.exe"), *args], env=self.env, stdout=out,
                                  stderr=err, stdin=subprocess.DEVNULL).returncode
            out.seek(0)
            err.seek(0)
            if code != 0:
                raise RuntimeError(f"bench_setup {' '.join(args)} failed: {err.read().strip()}")
            return {k: float(v) for k, v in (line.split() for line in out.read().replace("\r", "").splitlines()
                                              if line.strip())}


def make_product(work: pathlib.Path, name: str):
    total_mb, files, _ = PRODUCTS[name]
    folder = work / "products" / name
    if not folder.exists():  # a kept work folder (--keep) reuses its products
        subprocess.run([sys.executable, str(ROOT / "bench/lib/make_synthetic_product.py"), str(folder),
                        str(total_mb), str(files)], check=True)
    setup = work / f"setup_{name}.exe"
    subprocess.run([str(BUILDER), str(folder), "-o", str(setup), "--stub", str(STUB)], check=True,
                   stdout=subprocess.DEVNULL)
    return folder, setup


def make_peer(work: pathlib.Path, name: str, folder: pathlib.Path):
    """The peer's stored installer of the same files, or the reason it cannot be built."""
    if not shutil.which("makensis"):
        return None, "makensis is not installed"
    script = work / f"peer_{name}.nsi"
    out = work / f"peer_{name}.exe"
    if out.exists():
        return out, None
    script.write_text(NSIS_SCRIPT.format(out=out, files=folder / "files"), encoding="utf-8")
    result = subprocess.run(["makensis", "-V1", str(script)], capture_output=True, text=True)
    if result.returncode != 0 or not out.exists():
        return None, "makensis failed: " + (result.stdout + result.stderr).strip()[-300:]
    return out, None


def payload_file_bytes(folder: pathlib.Path) -> int:
    return sum(p.stat().st_size for p in (folder / "files").rglob("*") if p.is_file())


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def verdict(ok):
    return "n/a" if ok is None else ("PASS" if ok else "FAIL")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="interleaved rounds (medians are reported)")
    parser.add_argument("--products", default=",".join(PRODUCTS), help="subset of " + ",".join(PRODUCTS))
    parser.add_argument("--quiet-args", default=None,
                        help="arguments of setup.exe's unattended install, when it has one (then timed too)")
    parser.add_argument("--keep", default=None, help="work folder to keep (default: a temporary one, removed)")
    options = parser.parse_args()
    names = [n for n in options.products.split(",") if n]
    for n in names:
        if n not in PRODUCTS:
            parser.error(f"unknown product {n}")

    work = pathlib.Path(options.keep or tempfile.mkdtemp(prefix="zel-bench-install."))
    work.mkdir(parents=True, exist_ok=True)
    wine = Wine(work)
    load_before = load()
    started = time.time()
    try:
        products, peers, peer_problem = {}, {}, {}
        for name in names:
            log(f"== product {name}")
            products[name] = make_product(work, name)
            peers[name], peer_problem[name] = make_peer(work, name, products[name][0])
        wine.start()
        # A first Wine program pays for loading the system libraries; not timed.
        wine.helper("window", wine.path(HELPERS / "trivial_window.exe"))
        runs = {name: [] for name in names}
        trivial = []
        for round_ in range(options.runs):
            log(f"== round {round_ + 1}/{options.runs}, load {load()[0]:.1f}")
            trivial.append(wine.helper("window", wine.path(HELPERS / "trivial_window.exe"))["visible_seconds"])
            for name in names:
                folder, setup = products[name]
                r = {}

                def wizard():
                    r.update(wine.helper("wizard", wine.path(setup), f"C:\\Bench_{name}"))
                    shutil.rmtree(wine.drive_c(f"Bench_{name}"), ignore_errors=True)

                def quiet():
                    r["quiet_seconds"] = wine.helper("process", wine.path(setup), options.quiet_args,
                                                     f"C:\\Quiet_{name}")["seconds"]
                    shutil.rmtree(wine.drive_c(f"Quiet_{name}"), ignore_errors=True)

                def peer():
                    r["peer_seconds"] = wine.helper("process", wine.path(peers[name]), "/S",
                                                    f"/D=C:\\Peer_{name}")["seconds"]
                    shutil.rmtree(wine.drive_c(f"Peer_{name}"), ignore_errors=True)

                def floor():
                    r["floor_seconds"] = wine.helper("process", wine.path(HELPERS / "floor_extract.exe"),
                                                     wine.path(setup), f"C:\\Floor_{name}")["seconds"]
                    shutil.rmtree(wine.drive_c(f"Floor_{name}"), ignore_errors=True)

                def create():
                    r["create_seconds"] = wine.helper("process", wine.path(HELPERS / "floor_extract.exe"),
                                                      wine.path(setup), f"C:\\Create_{name}",
                                                      "--create-only")["seconds"]
                    shutil.rmtree(wine.drive_c(f"Create_{name}"), ignore_errors=True)

                steps = [wizard] + ([quiet] if options.quiet_args is not None else []) + \
                    ([peer] if peers[name] else []) + [floor, create]
                # Each program starts with the disk's write-back done, and the order
                # turns from round to round, so that none always follows the others'
                # writes.
                for step in steps[round_ % len(steps):] + steps[:round_ % len(steps)]:
                    os.sync()
                    step()
                if name != "tiny":
                    digest = wine.helper("digest", wine.path(setup))
                    r["digest_seconds"] = digest["seconds"]
                    r["digest_first_seconds"] = digest["first_seconds"]
                # Setup's own leftovers: its temp folders.
                for temp in (wine.prefix / "drive_c" / "users").glob("*/AppData/Local/Temp/ZelSetup_*"):
                    shutil.rmtree(temp, ignore_errors=True)
                runs[name].append(r)
                log(f"   {name}: " + ", ".join(f"{k} {v:.3f}" for k, v in r.items() if k.endswith("seconds")))
    finally:
        wine.stop()
        load_after = load()
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)

    m = {name: {key: median([r.get(key) for r in runs[name]]) for key in runs[name][0]} for name in names}
    for name in names:
        if any("peer_seconds" not in r for r in runs[name]):
            m[name].pop("peer_seconds", None)
    trivial_visible = median(trivial)

    print(f"\nInstall benchmark: Wine, {options.runs} interleaved rounds, medians; {os.cpu_count()} cores; "
          f"load average {load_before[0]:.1f} before, {load_after[0]:.1f} after; {time.time() - started:.0f} s")
    print(f"trivial Win32 window visible after {trivial_visible:.3f} s\n")
    header = (f"{'product':<22} {'visible':>8} {'copy':>7} {'install':>8} {'start..Finish':>13} {'quiet':>7} "
              f"{'peer /S':>8} {'floor':>7} {'create':>7} {'digests':>8} {'peak WS':>9} {'peak priv':>9}")
    print(header)
    for name in names:
        v = m[name]

        def f(key, fmt="{:.2f}"):
            return fmt.format(v[key]) if v.get(key) is not None else "-"
        print(f"{PRODUCTS[name][2]:<22} {f('visible_seconds'):>8} {f('copy_seconds'):>7} {f('install_seconds'):>8} "
              f"{f('start_to_finish_seconds'):>13} {f('quiet_seconds'):>7} {f('peer_seconds'):>8} "
              f"{f('floor_seconds'):>7} {f('create_seconds'):>7} "
              f"{f('digest_seconds', '{:.3f}'):>8} "
              f"{v['peak_working_set_bytes'] / MIB:>7.0f}Mi {v['peak_private_bytes'] / MIB:>7.0f}Mi")
    for name in names:
        if peer_problem[name]:
            print(f"peer for {name}: not built ({peer_problem[name]})")

    print("\nTargets:")
    # Linear in files.
    curve = [n for n in ("f100", "f2000", "f20000") if n in m]
    if curve:
        print("  curve (install run per file): " + ", ".join(
            f"{PRODUCTS[n][1]} files {m[n]['install_seconds']:.2f} s = "
            f"{1000 * m[n]['install_seconds'] / PRODUCTS[n][1]:.2f} ms/file" for n in curve))
    if "f2000" in m and "f20000" in m:
        ratio = (m["f20000"]["install_seconds"] / 20000) / (m["f2000"]["install_seconds"] / 2000)
        print(f"  linear in files: per-file time at 20,000 / at 2,000 = {ratio:.2f} (target <= 1.3): "
              f"{verdict(ratio <= 1.3)}")
    else:
        print("  linear in files: n/a (needs f2000 and f20000)")
    # Ahead of the peer.
    for n in ("f117", "f2000"):
        if n not in m:
            continue
        peer = m[n].get("peer_seconds")
        if peer is None:
            print(f"  ahead of the peer, {PRODUCTS[n][2]}: n/a (peer not built: {peer_problem[n]})")
            continue
        # Every file costs its creation, whoever creates it: the part of the peer's
        # time that no installer of the same files can go below.
        create = m[n].get("create_seconds")
        if create is not None:
            print(f"  bound, {PRODUCTS[n][2]}: creating the {PRODUCTS[n][1]:,} files alone, empty, takes "
                  f"{create:.2f} s = {create / peer:.2f} of the peer's install")
        ratio = m[n]["start_to_finish_seconds"] / peer
        print(f"  ahead of the peer, {PRODUCTS[n][2]}, wizard start to Finish {m[n]['start_to_finish_seconds']:.2f} s"
              f" / peer silent {peer:.2f} s = {ratio:.2f} (target <= 0.8): {verdict(ratio <= 0.8)}")
        if "quiet_seconds" in m[n]:
            ratio = m[n]["quiet_seconds"] / peer
            print(f"  ahead of the peer, {PRODUCTS[n][2]}, quiet install {m[n]['quiet_seconds']:.2f} s / peer "
                  f"{peer:.2f} s = {ratio:.2f} (target <= 0.8): {verdict(ratio <= 0.8)}")
        else:
            print(f"  ahead of the peer, {PRODUCTS[n][2]}, quiet install: n/a (no --quiet-args given)")
    # Close to the floor.
    for n in names:
        over = m[n]["visible_seconds"] - trivial_visible
        print(f"  wizard visible, {PRODUCTS[n][2]}: {m[n]['visible_seconds']:.3f} s, {over:+.3f} s over the trivial "
              f"program (target <= 0.25): {verdict(over <= 0.25)}")
    for n in names:
        if n == "tiny":
            continue
        ratio = m[n]["copy_seconds"] / m[n]["floor_seconds"]
        print(f"  install copy, {PRODUCTS[n][2]}: {m[n]['copy_seconds']:.2f} s / floor {m[n]['floor_seconds']:.2f} s "
              f"= {ratio:.2f} (target <= 1.2): {verdict(ratio <= 1.2)}")
    # Memory.
    if "tiny" in m:
        base = m["tiny"]["peak_private_bytes"]
        for n in ("f117", "g1"):
            if n in m:
                over = (m[n]["peak_private_bytes"] - base) / MIB
                print(f"  memory, {PRODUCTS[n][2]}: peak private bytes {over:+.1f} MiB over the tiny product "
                      f"(target <= 32): {verdict(over <= 32)}")
    else:
        print("  memory: n/a (needs the tiny product)")
    # Integrity.
    for n in names:
        if n == "tiny" or m[n].get("digest_seconds") is None:
            continue
        # What checking adds is hashing the entries: the first pass also reads the
        # image's pages in, which the writes would do anyway, so the share is
        # taken with the pages already in memory, the page-in shown beside it.
        # Single-threaded here; the install checks on its writing threads, beside
        # other files' writes, so this is an upper bound of its cost.
        share = 100 * m[n]["digest_seconds"] / m[n]["install_seconds"]
        first = m[n].get("digest_first_seconds", m[n]["digest_seconds"])
        print(f"  integrity, {PRODUCTS[n][2]}: checking every entry {m[n]['digest_seconds']:.3f} s "
              f"({first:.3f} s with the page-in) = {share:.1f} % of the install run (target < 5 %): "
              f"{verdict(share < 5)}")

if __name__ == "__main__":
    main()
