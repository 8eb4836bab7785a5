#!/usr/bin/env python3
"""What each /OPTIONS switch costs: mervik on prepared inputs under several resource files
that differ only in their /OPTIONS, round robin, with each variant's median wall time, CPU
time, peak memory and PDF size as a ratio to a baseline variant measured in the same run.

    bench/options.py [--mervik PATH] [--inputs ABE] [--runs 5] [--variants shipped,record]

Run bench/run.sh once first (it builds build-bench/mervik and prepares the inputs).
"""

import argparse
import os
import shutil
import statistics
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure import Input, file_digest, load_average, log, quiet_environment, run_once  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# The classes of the shipped file, without its /OPTIONS, and each variant's /OPTIONS. Each
# pair is (variant, the variant it is weighed against, what the ratio answers).
VARIANTS = {
    "classic": "links off\noutline files\nutf8 off\n",
    "no-utf8": "utf8 off\n",
    "default": "",
    "links-off": "links off\n",
    "links-all": "links all\n",
    "shipped": "bold Reserved words\noblique comments\n",
    "index": "index on\n",
    "record": "bold Reserved words\noblique comments\nrecord on\n",
}
PAIRS = [
    ("default", "links-off", "links names (the default) against none"),
    ("links-all", "links-off", "links all against none"),
    ("shipped", "default", "emphasis of the shipped file against none"),
    ("default", "no-utf8", "UTF-8 detection (the default) against none"),
    ("default", "classic", "every default against the classic listing"),
    ("index", "default", "the index against none"),
    ("record", "shipped", "the record (checksums, attachments) against none"),
]


def classes():
    with open(os.path.join(ROOT, "examples", "mervik.rsc")) as f:
        text = f.read()
    return text.split("/OPTIONS")[0].rstrip("\n") + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mervik", default=os.path.join(ROOT, "build-bench", "mervik"))
    parser.add_argument("--inputs", default="ABE")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", default=os.path.join(HERE, "work"))
    parser.add_argument("--variants", default=",".join(VARIANTS),
                        help="the variants to run, by name, comma-separated")
    args = parser.parse_args()
    chosen = args.variants.split(",")
    unknown = [v for v in chosen if v not in VARIANTS]
    if unknown:
        sys.exit("options: no variant %s" % ", ".join(unknown))

    env = quiet_environment(args.work)

    # One copy of the binary per variant, each with its resource file beside it.
    binaries = {}
    for name in chosen:
        options = VARIANTS[name]
        d = os.path.join(args.work, "options", name)
        os.makedirs(d, exist_ok=True)
        shutil.copy2(args.mervik, os.path.join(d, "mervik"))
        with open(os.path.join(d, "mervik.rsc"), "w") as f:
            f.write(classes() + ("/OPTIONS\n" + options if options else ""))
        binaries[name] = os.path.join(d, "mervik")

    load = load_average()
    results = {}
    for inp in [Input(args.work, n) for n in args.inputs.upper()]:
        inp.warm()
        for run in range(args.runs):
            for name, binary in binaries.items():
                log("options: %s %s run %d" % (inp.name, name, run + 1))
                wall, cpu, kib, code, _, err = run_once(
                    ["setsid", "-w", binary] + inp.files, inp.dir, env,
                    os.path.join(args.work, "options", name, "run"), 3600)
                if code != 0:
                    sys.exit("options: %s failed on %s: %s" % (name, inp.name, err[-300:]))
                pdf = os.path.join(inp.dir, "listing.pdf")
                r = results.setdefault((inp.name, name), {"wall": [], "cpu": [], "kib": []})
                r["wall"].append(wall)
                r["cpu"].append(cpu)
                r["kib"].append(kib)
                r["bytes"] = os.path.getsize(pdf)
                r["md5"] = file_digest(pdf, "md5")

    print("mervik %s, load average at the start %s, median of %d runs\n"
          % (args.mervik, load, args.runs))
    print("| input | variant | wall s | cpu s | peak MiB | PDF bytes | md5 |")
    print("|---|---|--:|--:|--:|--:|---|")
    med = {}
    for (i, name), r in results.items():
        med[(i, name)] = (statistics.median(r["wall"]), statistics.median(r["cpu"]),
                          max(r["kib"]) / 1024, r["bytes"])
        w, c, m, b = med[(i, name)]
        print("| %s | %s | %.3f | %.3f | %.1f | %d | %s |" % (i, name, w, c, m, b, r["md5"]))
    print("\n| input | what | time | cpu | memory | PDF size |")
    print("|---|---|--:|--:|--:|--:|")
    for i in args.inputs.upper():
        for a, b, what in PAIRS:
            if a not in chosen or b not in chosen:
                continue
            x, y = med[(i, a)], med[(i, b)]
            print("| %s | %s | %.3f | %.3f | %.3f | %.3f |"
                  % (i, what, x[0] / y[0], x[1] / y[1], x[2] / y[2], x[3] / y[3]))

    # A record may grow the PDF by the sources' deflated size and 5% more.
    if "record" not in chosen or "shipped" not in chosen:
        return
    print("\n| input | record's PDF growth, bytes | sources deflated, bytes | growth / deflated |")
    print("|---|--:|--:|--:|")
    for i in args.inputs.upper():
        inp = Input(args.work, i)
        deflated = 0
        for f in inp.files:
            with open(os.path.join(inp.dir, f), "rb") as fh:
                deflated += len(zlib.compress(fh.read()))
        growth = med[(i, "record")][3] - med[(i, "shipped")][3]
        print("| %s | %d | %d | %.3f |" % (i, growth, deflated, growth / deflated))


if __name__ == "__main__":
    main()
