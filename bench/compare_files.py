#!/usr/bin/env python3
"""Which files of an input list differently under two mervik builds: each file is listed alone
by both (each binary with the same resource file beside it), the PDFs are compared byte for
byte, and for each file that differs the cross-reference entries whose lines changed are shown.

    bench/compare_files.py OLD_MERVIK NEW_MERVIK DIR [--resource FILE] [--work DIR]

DIR is only read: the listings go to --work (default bench/work/compare). Needs pdftotext.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def xref(text):
    """Cross-reference entries (name -> line numbers) and the other report lines of a listing."""
    out, name, started = {}, None, False
    for line in text.splitlines():
        line = line.rstrip("\f")
        started = started or "LEXICAL STATISTICS" in line
        if not started or re.search(r"page \d+$", line):
            continue
        entry = re.match(r"^ {3,5}(\S+)\s+((?:\d+\+?\s*)+)$", line)
        more = re.match(r"^\s+((?:\d+\+?\s*)+)$", line)
        if entry:
            name = entry.group(1)
            out[name] = entry.group(2).split()
        elif more and name:
            out[name] += more.group(1).split()
        elif line.strip():
            out.setdefault("#" + line.strip(), [])
            name = None
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("dir")
    parser.add_argument("--resource", default=os.path.join(HERE, "..", "examples", "mervik.rsc"))
    parser.add_argument("--work", default=os.path.join(HERE, "work", "compare"))
    args = parser.parse_args()

    binaries = {}
    for which in ("old", "new"):
        d = os.path.join(args.work, which)
        os.makedirs(d, exist_ok=True)
        shutil.copy2(getattr(args, which), os.path.join(d, "mervik"))
        shutil.copy2(args.resource, os.path.join(d, "mervik.rsc"))
        binaries[which] = os.path.join(d, "mervik")
    env = dict(os.environ, MERVIK_NO_OPEN="1", LC_ALL="C")
    names = sorted(f for f in os.listdir(args.dir) if re.search(r"\.vhdl?$", f))
    changed = 0
    for name in names:
        pdfs, texts = {}, {}
        for which, binary in binaries.items():
            pdfs[which] = os.path.join(args.work, which, name + ".pdf")
            subprocess.run(["setsid", "-w", binary, "-o", pdfs[which], os.path.join(args.dir, name)],
                           env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=True)
            texts[which] = subprocess.run(["pdftotext", "-layout", pdfs[which], "-"], check=True,
                                          capture_output=True).stdout.decode("latin-1")
        with open(pdfs["old"], "rb") as a, open(pdfs["new"], "rb") as b:
            if a.read() == b.read():
                continue
        changed += 1
        print("CHANGED %s" % name)
        old, new = xref(texts["old"]), xref(texts["new"])
        for entry in sorted(set(old) | set(new)):
            gone = [n for n in old.get(entry, []) if n not in new.get(entry, [])]
            came = [n for n in new.get(entry, []) if n not in old.get(entry, [])]
            if gone or came or (entry in old) != (entry in new):
                print("    %-24s -%s +%s" % (entry, " ".join(gone), " ".join(came)))
    print("%d of %d files list differently" % (changed, len(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
