"""Install benchmark under Wine: setup.exe, stored and compressed, against peer
installers built with makensis from the same files (stored, zlib, solid LZMA;
silent) and against plain Win32 floors, every program measured in the same
interleaved rounds. Prints each target of the install-speed and compression work
with its figure and verdict. Not a test: figures depend on the machine and on
what else runs on it.

    bench/bench_install.py [--runs N] [--products a,b,...] [--variants a,b,...] [--quiet-args "ARGS"]
                           [--build-runs N] [--markdown] [--keep DIR]

Needs build/native-release (InstallerBuilder) and build/win64 (InstallerCore.exe,
bench/wine helpers); makensis for the peers."""
import argparse
import dataclasses
import json
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

# name: (total MB, files, label). The synthetic products hold byte ramps that
# every codec shrinks to almost nothing, "rand" pseudo-random bytes that none
# shrinks; "corpus" is the real one (bench/lib/make_corpus_product.py: Debian
# wine's x86-64 libraries, about 200 MiB; its file count is taken when it is
# made), "corpus1g" the same five times over.
PRODUCTS = {
    "tiny": (0, 1, "1 tiny file"),
    "f100": (200, 100, "100 files, 200 MB"),
    "f117": (200, 117, "117 files, 200 MB"),
    "f2000": (200, 2000, "2,000 files, 200 MB"),
    "f20000": (200, 20000, "20,000 files, 200 MB"),
    "g1": (1024, 117, "117 files, 1 GB"),
    "rand": (200, 117, "117 random files, 200 MB"),
    "corpus": (200, None, "wine DLLs, 200 MiB"),
    "corpus1g": (1000, None, "wine DLLs x5, 1 GiB"),
}
CORPUS_COPIES = {"corpus": 1, "corpus1g": 5}

# The installers of each product: ours by the builder's --compression (None:
# the builder's default, today's stored format), the peers by makensis' setting.
VARIANTS = {
    "ours": ("setup.exe, stored", None),
    "deflate": ("setup.exe, deflate", "deflate"),
    "lzma": ("setup.exe, lzma", "lzma"),
    "peer": ("makensis, stored", "SetCompress off"),
    "peer-zlib": ("makensis, zlib", "SetCompressor zlib"),
    "peer-lzma": ("makensis, solid LZMA", "SetCompressor /SOLID lzma"),
}
OURS = ("ours", "deflate", "lzma")
# Without --variants: every installer for the corpus, ours and the stored peer
# for the synthetic products (as before the compressed payloads), and what the
# targets need for the others.
DEFAULT_VARIANTS = {
    "corpus": tuple(VARIANTS),
    "corpus1g": OURS,
    "rand": OURS + ("peer",),
}

# Today's stored ratios against the stored peer (bench/README.md, "Stored
# payloads before compression"): wizard start to Finish and quiet install,
# each divided by the peer's silent install. A stored payload must stay within
# 10 % of them.
STORED_BASELINE = {
    "f117": {"start_to_finish_seconds": 1.44, "quiet_seconds": 0.75},
    "f2000": {"start_to_finish_seconds": 1.29, "quiet_seconds": 0.97},
}

# x64 like setup.exe, and it runs where Wine has no 32-bit loader.
NSIS_SCRIPT = """Unicode true
Target amd64-unicode
Name "Bench"
OutFile "{out}"
InstallDir "C:\\PeerDefault"
RequestExecutionLevel admin
{compressor}
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


@dataclasses.dataclass
class Installer:
    """One installer of a product, or why there is none (path None)."""
    path: pathlib.Path | None
    problem: str | None = None
    size: int = 0
    build_seconds: float | None = None
    build_peak_bytes: int | None = None


def timed(argv):
    """Wall time, peak resident set in bytes, exit code and output of one child process."""
    with tempfile.TemporaryFile("w+") as out:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        return seconds, usage.ru_maxrss * 1024, child.returncode, out.read()


def problem_text(output: str) -> str:
    """The line of a tool's output that says why it failed."""
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    errors = [line for line in lines if "error" in line.lower()]
    return ((errors or lines or ["no message"])[0])[:300]


def make_product(work: pathlib.Path, name: str):
    """(folder, label) of the product, made unless a kept work folder has it; or (None, why not)."""
    total_mb, files, label = PRODUCTS[name]
    folder = work / "products" / name
    if not folder.exists():  # a kept work folder (--keep) reuses its products
        # Written beside and renamed when complete, so that an interrupted run
        # never leaves a partial product for the next one to reuse.
        partial = folder.with_name(name + ".partial")
        shutil.rmtree(partial, ignore_errors=True)
        if name in CORPUS_COPIES:
            result = subprocess.run([sys.executable, str(ROOT / "bench/lib/make_corpus_product.py"), str(partial),
                                     str(CORPUS_COPIES[name])], capture_output=True, text=True)
            if result.returncode != 0:
                shutil.rmtree(partial, ignore_errors=True)
                return None, (result.stderr or result.stdout).strip()
        else:
            subprocess.run([sys.executable, str(ROOT / "bench/lib/make_synthetic_product.py"), str(partial),
                            str(total_mb), str(files)] + (["--random"] if name == "rand" else []), check=True)
        partial.rename(folder)
    if name in CORPUS_COPIES:
        sizes = [p.stat().st_size for p in (folder / "files").rglob("*") if p.is_file()]
        copies = CORPUS_COPIES[name]
        label = f"{len(sizes) // copies} wine DLLs" + (f" x{copies}" if copies > 1 else "") + \
            f", {sum(sizes) / MIB:.0f} MiB"
    return folder, label


def warm(folder: pathlib.Path):
    """Reads every file once, so that every build reads from the page cache."""
    for p in folder.rglob("*"):
        if p.is_file():
            with open(p, "rb") as f:
                while f.read(1 << 20):
                    pass


def build(argv, out: pathlib.Path, runs: int, tool: str) -> Installer:
    """Runs a build `runs` times: the median time and the largest peak resident set."""
    seconds, peaks = [], []
    for _ in range(runs):
        out.unlink(missing_ok=True)
        elapsed, peak, code, output = timed(argv)
        if code != 0 or not out.exists():
            return Installer(None, f"{tool} exit {code}: {problem_text(output)}")
        seconds.append(elapsed)
        peaks.append(peak)
    return Installer(out, size=out.stat().st_size, build_seconds=statistics.median(seconds),
                     build_peak_bytes=max(peaks))


def make_ours(work: pathlib.Path, name: str, folder: pathlib.Path, variant: str, runs: int) -> Installer:
    """Our setup.exe of the product; a compression the builder refuses (not there yet, or
    not in this build) gives an installer that is not available, with the builder's reason."""
    compression = VARIANTS[variant][1]
    setup = work / (f"setup_{name}.exe" if compression is None else f"setup_{name}_{compression}.exe")
    argv = [str(BUILDER), str(folder), "-o", str(setup), "--stub", str(STUB)]
    if compression is not None:
        argv.append(f"--compression={compression}")
    return build(argv, setup, runs, "InstallerBuilder")


def make_peer(work: pathlib.Path, name: str, folder: pathlib.Path, variant: str, runs: int) -> Installer:
    """The peer's installer of the same files with the variant's compressor, or the reason it cannot be built."""
    if not shutil.which("makensis"):
        return Installer(None, "makensis is not installed")
    stem = variant.replace("-", "_") + "_" + name
    script = work / f"{stem}.nsi"
    out = work / f"{stem}.exe"
    figures = work / f"{stem}.json"
    text = NSIS_SCRIPT.format(out=out, files=folder / "files", compressor=VARIANTS[variant][1])
    # A kept work folder (--keep) reuses a peer built from the same script with
    # its figures: makensis takes minutes for the compressed corpus, and the
    # peer does not change from one run to the next.
    if out.exists() and figures.exists() and script.exists() and script.read_text(encoding="utf-8") == text:
        kept = json.loads(figures.read_text())
        if kept.get("runs", 0) >= runs:
            return Installer(out, size=out.stat().st_size, build_seconds=kept["build_seconds"],
                             build_peak_bytes=kept["build_peak_bytes"])
    figures.unlink(missing_ok=True)
    script.write_text(text, encoding="utf-8")
    peer = build(["makensis", "-V1", str(script)], out, runs, "makensis")
    if peer.path:
        figures.write_text(json.dumps({"runs": runs, "build_seconds": peer.build_seconds,
                                       "build_peak_bytes": peer.build_peak_bytes}))
    return peer


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def verdict(ok):
    return "n/a" if ok is None else ("PASS" if ok else "FAIL")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3, help="interleaved rounds (medians are reported)")
    parser.add_argument("--products", default="tiny,f100,f117,f2000,f20000,g1",
                        help="subset of " + ",".join(PRODUCTS))
    parser.add_argument("--variants", default=None,
                        help="installers of every product, a subset of " + ",".join(VARIANTS) +
                        " (default: all for corpus, " + ",".join(OURS) + " for corpus1g, those and peer for rand, "
                        "ours,peer for the others)")
    parser.add_argument("--quiet-args", default="/quiet /dir",
                        help="arguments of setup.exe's unattended install before its folder (default: %(default)s)")
    parser.add_argument("--build-runs", type=int, default=1,
                        help="builds of each installer (median time, largest peak memory)")
    parser.add_argument("--lzma-dictionary-mib", type=float, default=64,
                        help="LZMA dictionary size setup.exe decodes with, for its memory target")
    parser.add_argument("--decoding-threads", type=int, default=3,
                        help="threads that decode side by side in setup.exe, for its memory target")
    parser.add_argument("--markdown", action="store_true", help="the installers' table also as Markdown")
    parser.add_argument("--keep", default=None, help="work folder to keep (default: a temporary one, removed)")
    options = parser.parse_args()
    names = [n for n in options.products.split(",") if n]
    for n in names:
        if n not in PRODUCTS:
            parser.error(f"unknown product {n}")
    chosen = None
    if options.variants is not None:
        chosen = tuple(v for v in options.variants.split(",") if v)
        for v in chosen:
            if v not in VARIANTS:
                parser.error(f"unknown variant {v}")
    variants = {n: chosen or DEFAULT_VARIANTS.get(n, ("ours", "peer")) for n in names}

    work = pathlib.Path(options.keep or tempfile.mkdtemp(prefix="zel-bench-install."))
    work.mkdir(parents=True, exist_ok=True)
    wine = Wine(work)
    load_before = load()
    started = time.time()
    labels, skipped, installers, failures = {}, {}, {}, {}
    try:
        for name in names:
            log(f"== product {name}")
            folder, made = make_product(work, name)
            if folder is None:
                skipped[name] = made
                log(f"   skipped: {made}")
                continue
            labels[name] = made
            warm(folder)
            installers[name] = {}
            for v in variants[name]:
                make = make_ours if v in OURS else make_peer
                installers[name][v] = i = make(work, name, folder, v, options.build_runs)
                log(f"   {VARIANTS[v][0]}: " + (f"{i.size / MIB:.1f} MiB in {i.build_seconds:.1f} s" if i.path else
                                                f"not available: {i.problem}"))
        names = [n for n in names if n not in skipped]
        wine.start()
        # A first Wine program pays for loading the system libraries; not timed.
        wine.helper("window", wine.path(HELPERS / "trivial_window.exe"))
        runs = {name: [] for name in names}
        trivial = []
        for round_ in range(options.runs):
            log(f"== round {round_ + 1}/{options.runs}, load {load()[0]:.1f}")
            trivial.append(wine.helper("window", wine.path(HELPERS / "trivial_window.exe"))["visible_seconds"])
            for name in names:
                r = {}
                steps = []
                ready = {v: i for v, i in installers[name].items() if i.path and (name, v) not in failures}

                def measured(variant, step):
                    # A program that fails (a half-finished feature) costs its
                    # variant its figures, not the whole run.
                    def run():
                        try:
                            step()
                        except RuntimeError as e:
                            failures[(name, variant)] = str(e)[-300:]
                            log(f"   {name} {variant}: failed: {e}")
                    return run

                for v, i in ready.items():
                    tag = f"{name}_{v.replace('-', '_')}"
                    if v in OURS:
                        def wizard(v=v, i=i, tag=tag):
                            r.update({f"{v}:{k}": x for k, x in
                                      wine.helper("wizard", wine.path(i.path), f"C:\\Bench_{tag}").items()})
                            shutil.rmtree(wine.drive_c(f"Bench_{tag}"), ignore_errors=True)

                        def quiet(v=v, i=i, tag=tag):
                            r[f"{v}:quiet_seconds"] = wine.helper("process", wine.path(i.path), options.quiet_args,
                                                                  f"C:\\Quiet_{tag}")["seconds"]
                            shutil.rmtree(wine.drive_c(f"Quiet_{tag}"), ignore_errors=True)
                        steps.append(measured(v, wizard))
                        if options.quiet_args:
                            steps.append(measured(v, quiet))
                    else:
                        def silent(v=v, i=i, tag=tag):
                            r[f"{v}:silent_seconds"] = wine.helper("process", wine.path(i.path), "/S",
                                                                   f"/D=C:\\Peer_{tag}")["seconds"]
                            shutil.rmtree(wine.drive_c(f"Peer_{tag}"), ignore_errors=True)
                        steps.append(measured(v, silent))

                # The floors write the stored payload's entries as they lie in setup.exe.
                stored = ready.get("ours")
                if stored:
                    def floor():
                        r["floor_seconds"] = wine.helper("process", wine.path(HELPERS / "floor_extract.exe"),
                                                         wine.path(stored.path), f"C:\\Floor_{name}")["seconds"]
                        shutil.rmtree(wine.drive_c(f"Floor_{name}"), ignore_errors=True)

                    def create():
                        r["create_seconds"] = wine.helper("process", wine.path(HELPERS / "floor_extract.exe"),
                                                          wine.path(stored.path), f"C:\\Create_{name}",
                                                          "--create-only")["seconds"]
                        shutil.rmtree(wine.drive_c(f"Create_{name}"), ignore_errors=True)
                    # A floor that fails leaves out the floors, not setup.exe's figures.
                    steps += [measured("floor", floor), measured("floor", create)]
                # Each program starts with the disk's write-back done, and the order
                # turns from round to round, so that none always follows the others'
                # writes.
                if steps:
                    for step in steps[round_ % len(steps):] + steps[:round_ % len(steps)]:
                        os.sync()
                        step()
                if name != "tiny":
                    for v, i in ready.items():
                        if v in OURS:
                            def digest(v=v, i=i):
                                d = wine.helper("digest", wine.path(i.path))
                                r[f"{v}:digest_seconds"] = d["seconds"]
                                r[f"{v}:digest_first_seconds"] = d["first_seconds"]
                                r[f"{v}:digest_whole_resource"] = d.get("whole_resource", 0)
                            measured(v, digest)()
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

    report(options, names, labels, skipped, variants, installers, failures, runs, trivial, load_before, load_after,
           time.time() - started)


def report(options, names, labels, skipped, variants, installers, failures, runs, trivial, load_before, load_after,
           elapsed):
    m = {}
    for name in names:
        keys = sorted({k for r in runs[name] for k in r})
        m[name] = {k: median([r.get(k) for r in runs[name]]) for k in keys}
    trivial_visible = median(trivial)

    def fig(name, key, variant=None):
        return m[name].get(f"{variant}:{key}" if variant else key)

    # Why an installer has no figures, or None when it has; the installers'
    # table above gives the builder's or the program's own message.
    def unbuilt(name, variant):
        """For its size and build: built or not."""
        what = VARIANTS[variant][0]
        if variant not in installers[name]:
            return f"{what} not measured (--variants)"
        return None if installers[name][variant].path else f"{what} not available"

    def missing(name, variant):
        """For its install figures: built and ran."""
        if unbuilt(name, variant):
            return unbuilt(name, variant)
        return f"{VARIANTS[variant][0]} failed" if (name, variant) in failures else None

    def has(name, variant):
        return variant in installers[name] and missing(name, variant) is None

    def seconds(x):
        return f"{x:.2f} s"

    def mib(x):
        return f"{x / MIB:.1f} MiB"

    def ratio_target(label, num, num_text, den, den_text, limit, reasons, unit=seconds):
        reasons = [r for r in reasons if r]
        if reasons or num is None or den is None:
            print(f"  {label}: n/a ({'; '.join(reasons) or 'not measured'})")
            return
        ratio = num / den
        print(f"  {label}: {num_text} {unit(num)} / {den_text} {unit(den)} = {ratio:.2f} (target <= {limit}): "
              f"{verdict(ratio <= limit)}")

    print(f"\nInstall benchmark: Wine, {options.runs} interleaved rounds, medians; {os.cpu_count()} cores; "
          f"load average {load_before[0]:.1f} before, {load_after[0]:.1f} after; {elapsed:.0f} s")
    print(f"trivial Win32 window visible after {trivial_visible:.3f} s\n")
    for name, why in skipped.items():
        print(f"{name}: skipped ({why})")
    stored = [n for n in names if has(n, "ours")]
    if stored:
        print("Stored setup.exe against the stored peer and the floors:")
        header = (f"{'product':<26} {'visible':>8} {'copy':>7} {'install':>8} {'start..Finish':>13} {'quiet':>7} "
                  f"{'peer /S':>8} {'floor':>7} {'create':>7} {'digests':>8} {'peak WS':>9} {'peak priv':>9}")
        print(header)
    for name in stored:
        def f(key, variant="ours", fmt="{:.2f}", scale=1):
            x = fig(name, key, variant)
            return fmt.format(x / scale) if x is not None else "-"
        print(f"{labels[name]:<26} {f('visible_seconds'):>8} {f('copy_seconds'):>7} {f('install_seconds'):>8} "
              f"{f('start_to_finish_seconds'):>13} {f('quiet_seconds'):>7} {f('silent_seconds', 'peer'):>8} "
              f"{f('floor_seconds', None):>7} {f('create_seconds', None):>7} "
              f"{f('digest_seconds', 'ours', '{:.3f}'):>8} "
              f"{f('peak_working_set_bytes', 'ours', '{:.0f}Mi', MIB):>9} "
              f"{f('peak_private_bytes', 'ours', '{:.0f}Mi', MIB):>9}")

    print("\nEvery installer (size; build: wall time, peak resident set; install: silent for the peers, "
          "quiet for ours):")
    print(f"{'product':<26} {'installer':<21} {'size':>10} {'build':>8} {'build RSS':>9} {'install':>8} "
          f"{'start..Finish':>13} {'peak priv':>9} {'digests':>8}")
    for name in names:
        for v in variants[name]:
            i = installers[name][v]
            if i.path is None:
                print(f"{labels[name]:<26} {VARIANTS[v][0]:<21} not available: {i.problem}")
                continue

            def f(key, fmt="{:.2f}", scale=1):
                x = fig(name, key, v)
                return fmt.format(x / scale) if x is not None else "-"
            install = f("quiet_seconds") if v in OURS else f("silent_seconds")
            print(f"{labels[name]:<26} {VARIANTS[v][0]:<21} {i.size / MIB:>6.1f}MiB {i.build_seconds:>8.2f} "
                  f"{i.build_peak_bytes / MIB:>7.0f}Mi {install:>8} {f('start_to_finish_seconds'):>13} "
                  f"{f('peak_private_bytes', '{:.0f}Mi', MIB):>9} {f('digest_seconds', '{:.3f}'):>8}")
            if (name, v) in failures:
                print(f"{'':<26} {'':<21} failed: {failures[(name, v)]}")

    if options.markdown:
        # The same table, ready for a note or a README.
        print("\n| product | installer | size | build | build peak | install | start to Finish | peak private |")
        print("|---|---|---|---|---|---|---|---|")
        for name in names:
            for v in variants[name]:
                i = installers[name][v]
                if i.path is None:
                    print(f"| {labels[name]} | {VARIANTS[v][0]} | not available | | | | | |")
                    continue

                def f(key, fmt="{:.2f} s", scale=1):
                    x = fig(name, key, v)
                    return fmt.format(x / scale) if x is not None else ""
                install = f("quiet_seconds") if v in OURS else f("silent_seconds")
                print(f"| {labels[name]} | {VARIANTS[v][0]} | {i.size / MIB:.1f} MiB | {i.build_seconds:.2f} s | "
                      f"{i.build_peak_bytes / MIB:.0f} MiB | {install} | {f('start_to_finish_seconds')} | "
                      f"{f('peak_private_bytes', '{:.1f} MiB', MIB)} |")

    print("\nTargets:")
    # Linear in files.
    curve = [n for n in ("f100", "f2000", "f20000") if n in m and fig(n, "install_seconds", "ours")]
    if curve:
        print("  curve (install run per file): " + ", ".join(
            f"{PRODUCTS[n][1]} files {fig(n, 'install_seconds', 'ours'):.2f} s = "
            f"{1000 * fig(n, 'install_seconds', 'ours') / PRODUCTS[n][1]:.2f} ms/file" for n in curve))
    if "f2000" in curve and "f20000" in curve:
        ratio = (fig("f20000", "install_seconds", "ours") / 20000) / (fig("f2000", "install_seconds", "ours") / 2000)
        print(f"  linear in files: per-file time at 20,000 / at 2,000 = {ratio:.2f} (target <= 1.3): "
              f"{verdict(ratio <= 1.3)}")
    else:
        print("  linear in files: n/a (needs f2000 and f20000)")
    # Ahead of the stored peer, and no slower than before the compressed payloads.
    for n in ("f117", "f2000"):
        if n not in m:
            continue
        why = missing(n, "ours") or missing(n, "peer")
        if why:
            print(f"  ahead of the peer, {labels[n]}: n/a ({why})")
            continue
        peer = fig(n, "silent_seconds", "peer")
        # Every file costs its creation, whoever creates it: the part of the peer's
        # time that no installer of the same files can go below.
        create = fig(n, "create_seconds")
        if create is not None:
            print(f"  bound, {labels[n]}: creating the {PRODUCTS[n][1]:,} files alone, empty, takes "
                  f"{create:.2f} s = {create / peer:.2f} of the peer's install")
        for key, what in (("start_to_finish_seconds", "wizard start to Finish"), ("quiet_seconds", "quiet install")):
            ours = fig(n, key, "ours")
            if ours is None:
                print(f"  ahead of the peer, {labels[n]}, {what}: n/a (not measured)")
                continue
            ratio = ours / peer
            print(f"  ahead of the peer, {labels[n]}, {what} {ours:.2f} s / peer silent {peer:.2f} s = {ratio:.2f} "
                  f"(target <= 0.8): {verdict(ratio <= 0.8)}")
            base = STORED_BASELINE[n][key]
            print(f"  stored as before, {labels[n]}, {what} against the peer: {ratio:.2f} / before {base:.2f} = "
                  f"{ratio / base:.2f} (target <= 1.10): {verdict(ratio / base <= 1.10)}")
    # Close to the floor.
    for n in stored:
        visible = fig(n, "visible_seconds", "ours")
        if visible is None:
            continue
        over = visible - trivial_visible
        print(f"  wizard visible, {labels[n]}: {visible:.3f} s, {over:+.3f} s over the trivial "
              f"program (target <= 0.25): {verdict(over <= 0.25)}")
    for n in stored:
        if n == "tiny" or fig(n, "copy_seconds", "ours") is None or fig(n, "floor_seconds") is None:
            continue
        ratio = fig(n, "copy_seconds", "ours") / fig(n, "floor_seconds")
        print(f"  install copy, {labels[n]}: {fig(n, 'copy_seconds', 'ours'):.2f} s / floor "
              f"{fig(n, 'floor_seconds'):.2f} s = {ratio:.2f} (target <= 1.2): {verdict(ratio <= 1.2)}")

    # Compressed payloads against the peers of the same files.
    for n in names:
        if n == "tiny":
            continue
        for ours, peer, size_limit, quiet_limit, wizard_limit, build_limit in (
                ("deflate", "peer-zlib", 1.0, 0.5, 0.6, 0.5), ("lzma", "peer-lzma", 1.05, 0.4, 0.5, 1.0)):
            if ours not in variants[n] or peer not in variants[n]:
                continue
            why = [missing(n, ours), missing(n, peer)]
            i, p = installers[n][ours], installers[n][peer]
            name = f"{labels[n]}, {VARIANTS[ours][0]}"
            built = [unbuilt(n, ours), unbuilt(n, peer)]
            ratio_target(f"size, {name}", i.size, "setup.exe", p.size, VARIANTS[peer][0], size_limit, built, unit=mib)
            ratio_target(f"quiet install, {name}", fig(n, "quiet_seconds", ours), "quiet",
                         fig(n, "silent_seconds", peer), f"{VARIANTS[peer][0]} silent", quiet_limit, why)
            if ours == "deflate" and "peer" in variants[n]:
                ratio_target(f"quiet install, {name}, against the stored peer", fig(n, "quiet_seconds", ours),
                             "quiet", fig(n, "silent_seconds", "peer"), "makensis stored silent", 1.0,
                             [why[0], missing(n, "peer")])
            ratio_target(f"wizard start to Finish, {name}", fig(n, "start_to_finish_seconds", ours), "wizard",
                         fig(n, "silent_seconds", peer), f"{VARIANTS[peer][0]} silent", wizard_limit, why)
            ratio_target(f"build time, {name}", i.build_seconds, "InstallerBuilder", p.build_seconds, "makensis",
                         build_limit, built)
    # Payloads that do not shrink are stored, and install as fast as stored ones.
    for n in names:
        if n != "rand" or "ours" not in variants[n]:
            continue
        for v in ("deflate", "lzma"):
            if v not in variants[n]:
                continue
            why = [missing(n, v), missing(n, "ours")]
            i, s = installers[n][v], installers[n]["ours"]
            ratio_target(f"incompressible, {labels[n]}, {VARIANTS[v][0]}, size (stored)", i.size, "setup.exe",
                         s.size, "stored", 1.01, [unbuilt(n, v), unbuilt(n, "ours")], unit=mib)
            ratio_target(f"incompressible, {labels[n]}, {VARIANTS[v][0]}, quiet install", fig(n, "quiet_seconds", v),
                         "quiet", fig(n, "quiet_seconds", "ours"), "stored quiet", 1.1, why)
    # Memory of setup.exe.
    base = fig("tiny", "peak_private_bytes", "ours") if "tiny" in m else None
    dictionaries = options.decoding_threads * options.lzma_dictionary_mib
    for n in names:
        if n == "tiny":
            continue
        for v in OURS:
            if v not in variants[n]:
                continue
            label = f"memory, {labels[n]}, {VARIANTS[v][0]}"
            why = missing(n, v) or (None if base is not None else "needs the tiny product")
            peak = fig(n, "peak_private_bytes", v)
            if why or peak is None:
                print(f"  {label}: n/a ({why or 'not measured'})")
                continue
            over = (peak - base) / MIB
            limit = 32 + (dictionaries if v == "lzma" else 0)
            budget = f"32 + {options.decoding_threads} x {options.lzma_dictionary_mib:g} = {limit:g}" \
                if v == "lzma" else "32"
            print(f"  {label}: peak private bytes {peak / MIB:.1f} MiB, {over:+.1f} MiB over the tiny product "
                  f"(target <= {budget}): {verdict(over <= limit)}")
    # Memory of the builder: flat in the payload's size.
    for small, large in (("corpus", "corpus1g"), ("f117", "g1")):
        if small not in names or large not in names:
            continue
        for v in OURS:
            if v not in variants[small] or v not in variants[large]:
                continue
            label = f"builder memory, {VARIANTS[v][0]}, {labels[large]} against {labels[small]}"
            a, b = installers[small][v], installers[large][v]
            if a.path is None or b.path is None:
                print(f"  {label}: n/a ({unbuilt(small, v) or unbuilt(large, v)})")
                continue
            over = (b.build_peak_bytes - a.build_peak_bytes) / MIB
            limit = max(8, 0.1 * a.build_peak_bytes / MIB)
            print(f"  {label}: peak {b.build_peak_bytes / MIB:.0f} MiB against {a.build_peak_bytes / MIB:.0f} MiB, "
                  f"{over:+.1f} MiB (flat: target <= +{limit:.0f}): {verdict(over <= limit)}")
    # Integrity: the check of every entry before the first write.
    for n in names:
        if n == "tiny":
            continue
        for v in OURS:
            if fig(n, "digest_seconds", v) is None:
                continue
            # What checking adds is hashing the stored bytes: the first pass also
            # reads the image's pages in, which the writes would do anyway, so the
            # share is taken with the pages already in memory, the page-in shown
            # beside it. Single-threaded here.
            install = fig(n, "quiet_seconds", v)
            what = "the quiet install"
            if install is None:
                install, what = fig(n, "install_seconds", v), "the install run"
            if install is None:
                continue
            share = 100 * fig(n, "digest_seconds", v) / install
            whole = " (whole payload resource hashed)" if fig(n, "digest_whole_resource", v) else ""
            print(f"  integrity, {labels[n]}, {VARIANTS[v][0]}: checking every entry "
                  f"{fig(n, 'digest_seconds', v):.3f} s ({fig(n, 'digest_first_seconds', v):.3f} s with the page-in)"
                  f"{whole} = {share:.1f} % of {what} (target < 5 %): {verdict(share < 5)}")


if __name__ == "__main__":
    main()
