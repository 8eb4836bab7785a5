#!/usr/bin/env python3
"""Prepares the benchmark's inputs under bench/work/ (Python 3 standard library only).

  A  the VHDL sources of Debian's ghdl-common package, copied flat into work/A/
  B  A repeated into about 1,000,000 lines (work/B/, some hundreds of files)
  C  one generated gate-level netlist, about 1,000,000 lines and 300,000 distinct names
  D  5,000 small generated files
  E  one synthesis netlist, one instance a line: 1,000,000 lines, 1,300,000 distinct names
  F  34 files of 100,000 one-line comments each (3,400,000 lines, some 50,000 pages)

Everything generated is deterministic (fixed seeds, no clock). Each input directory gets
files.txt (its files, in the order they are handed to the contenders) and meta.json (lines,
files, bytes, what it is). An input whose recipe has not changed is not made again.
"""

import argparse
import hashlib
import json
import os
import shutil
import sys

GHDL_SRC = "/usr/lib/ghdl/src"
B_TARGET_LINES = 1_000_000
C_TARGET_LINES = 1_000_000
C_NETS = 134_000          # with the instances that fill the lines: about 300,000 names
D_FILES = 5_000
E_TARGET_LINES = 1_000_000
E_NETS = 300_000          # one in five an extended identifier; every instance label is unique
F_FILES = 34
F_LINES = 100_000
RECIPE_VERSION = "1"


class Rng:
    """xorshift64*: the same numbers on every Python version and platform."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= x >> 12
        x ^= (x << 25) & 0xFFFFFFFFFFFFFFFF
        x ^= x >> 27
        self.state = x
        return (x * 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF

    def below(self, n):
        return (self.next() >> 11) % n

    def pick(self, seq):
        return seq[self.below(len(seq))]


def count_lines(data):
    """Source lines as mervik numbers them: every line feed ends one, and a last line without
    one counts when it holds a printable byte."""
    n = data.count(b"\n")
    tail = data[data.rfind(b"\n") + 1:]
    if any(b >= 0x20 or b == 0x09 for b in tail):
        n += 1
    return n


# ---------------------------------------------------------------- C: gate-level netlist

# cell name, input pins, output pin
CELLS = [
    ("inv_x1", ["a"], "y"), ("buf_x2", ["a"], "y"),
    ("nand2_x1", ["a", "b"], "y"), ("nor2_x1", ["a", "b"], "y"),
    ("and2_x1", ["a", "b"], "y"), ("or2_x1", ["a", "b"], "y"),
    ("xor2_x1", ["a", "b"], "y"), ("xnor2_x1", ["a", "b"], "y"),
    ("nand3_x1", ["a", "b", "c"], "y"), ("aoi21_x1", ["a1", "a2", "b"], "y"),
    ("oai21_x1", ["a1", "a2", "b"], "y"), ("mux2_x1", ["i0", "i1", "s"], "z"),
    ("dffr_x1", ["d", "ck", "rn"], "q"),
]
BLOCKS = ["core", "alu", "lsu", "fpu", "dec", "csr", "icache", "dcache", "bus", "dma"]
REGS = ["q_reg", "data_reg", "addr_reg", "state_reg", "cnt_reg", "sum", "carry", "sel"]


def net_name(rng, i):
    """A plain net name, or (about one in seven) an extended identifier as synthesis writes
    hierarchical names."""
    if rng.below(7) == 0:
        return "\\u_%s/blk_%d/%s[%d]\\" % (rng.pick(BLOCKS), i % 97, rng.pick(REGS), i)
    return "n_%06d" % i


def instance_name(rng, i):
    if rng.below(20) == 0:
        return "\\u_%s/g_%d/U%d\\" % (rng.pick(BLOCKS), i % 89, i)
    return "u%s_%06d" % (rng.pick(BLOCKS), i)


def make_netlist(path, seed=20240611):
    rng = Rng(seed)
    out = []
    ports_in = ["pi_%03d" % i for i in range(256)]
    ports_out = ["po_%03d" % i for i in range(256)]
    out += ["-- Gate-level netlist written for mervik's benchmark (generated, seed %d)." % seed,
            "-- Cells come from a fictitious 45 nm library; nothing here simulates.",
            "",
            "library ieee;",
            "use ieee.std_logic_1164.all;",
            "",
            "entity soc_top is",
            "  port (",
            "    clk   : in  std_logic;",
            "    rst_n : in  std_logic;"]
    out += ["    %s : in  std_logic;" % p for p in ports_in]
    out += ["    %s : out std_logic;" % p for p in ports_out[:-1]]
    out += ["    %s : out std_logic" % ports_out[-1], "  );", "end entity soc_top;", "",
            "architecture gates of soc_top is"]
    nets = [net_name(rng, i) for i in range(C_NETS)]
    for i, n in enumerate(nets):
        if i % 5000 == 0:
            out.append("  -- nets %d to %d" % (i, min(i + 4999, C_NETS - 1)))
        out.append("  signal %s : std_logic;" % n)
    out.append("begin")
    names = set(ports_in) | set(ports_out) | set(nets) | {"clk", "rst_n"}
    trailer = ["end architecture gates;"]
    sources = ports_in + ["clk", "rst_n"]
    k = 0
    while len(out) + len(trailer) < C_TARGET_LINES:
        cell, ins, outp = CELLS[rng.below(len(CELLS))]
        inst = instance_name(rng, k)
        names.add(inst)
        pins = []
        for p in ins:
            if p == "ck":
                pins.append((p, "clk"))
            elif p == "rn":
                pins.append((p, "rst_n"))
            elif rng.below(50) == 0:
                pins.append((p, rng.pick(sources)))
            else:
                pins.append((p, nets[rng.below(C_NETS)]))
        drive = ports_out[k % 256] if k % 600 == 0 else nets[k % C_NETS]
        pins.append((outp, drive))
        out.append("  %s : %s port map (" % (inst, cell))
        for j, (p, n) in enumerate(pins):
            out.append("      %s => %s%s" % (p, n, "," if j + 1 < len(pins) else ""))
        out.append("    );")
        k += 1
    out += trailer
    text = ("\n".join(out) + "\n").encode("latin-1")
    with open(path, "wb") as f:
        f.write(text)
    return {"instances": k, "distinct_names": len(names) + len(CELLS)}


# ---------------------------------------------------------------- D: small files

TYPES = ["std_logic", "std_logic_vector(7 downto 0)", "unsigned(15 downto 0)", "integer",
         "boolean", "std_logic_vector(31 downto 0)"]


def make_small(path, index, rng):
    """One small design unit: an entity, an architecture with a clocked process; 10 to 60 lines."""
    name = "unit_%04d" % index
    ports = 1 + rng.below(8)
    signals = rng.below(6)
    stmts = 1 + rng.below(14)
    out = ["-- %s: generated for mervik's benchmark" % name,
           "library ieee;", "use ieee.std_logic_1164.all;", "use ieee.numeric_std.all;", "",
           "entity %s is" % name, "  port ("]
    pnames = ["p%d_%s" % (i, rng.pick(["data", "addr", "en", "valid", "ready", "cnt"]))
              for i in range(ports)]
    for i, p in enumerate(pnames):
        out.append("    %s : %s %s%s" % (p, "in " if i % 2 == 0 else "out", rng.pick(TYPES),
                                        ";" if i + 1 < ports else ""))
    out += ["  );", "end entity %s;" % name, "", "architecture rtl of %s is" % name]
    snames = ["s_%d_%d" % (index % 31, i) for i in range(signals)]
    for s in snames:
        out.append("  signal %s : %s;\t-- state" % (s, rng.pick(TYPES)))
    out += ["begin", "  main : process (clk)", "  begin", "    if rising_edge(clk) then"]
    targets = snames or ["v_tmp"]
    for _ in range(stmts):
        t = rng.pick(targets)
        src = rng.pick(pnames + snames)
        if rng.below(4) == 0:
            out.append("      if %s = '1' then %s <= %s; end if;" % (src, t, src))
        else:
            out.append("      %s <= %s;  -- \"copy\" %d" % (t, src, rng.below(1000)))
    out += ["    end if;", "  end process main;", "end architecture rtl;"]
    with open(path, "wb") as f:
        f.write(("\n".join(out) + "\n").encode("latin-1"))


# ---------------------------------------------------------------- E: synthesis netlist

E_CELLS = ["INV_X1", "BUF_X2", "NAND2_X1", "NOR2_X1", "AND2_X1", "OR2_X1", "XOR2_X1",
           "AOI21_X1", "OAI21_X1", "MUX2_X1", "DFF_X1"]


def make_flat_netlist(path, seed=20250314):
    """One instance a line, as synthesis writes a flat netlist: a unique label per instance,
    three net references a line drawn from E_NETS nets, every fifth net an extended identifier.
    Lines stay (nearly all) within the shipped line width of 94, as one listing line each."""
    rng = Rng(seed)
    nets = []
    for i in range(E_NETS):
        if i % 5 == 0:
            nets.append("\\%s/n%d\\" % (rng.pick(BLOCKS), i))
        else:
            nets.append("n%d" % i)
    head = ["-- Flat gate-level netlist written for mervik's benchmark (generated, seed %d)."
            % seed, "library cells;", "use cells.all;", "entity top is end entity top;",
            "architecture netlist of top is", "begin"]
    trailer = ["end architecture netlist;"]
    out = head[:]
    used = set()
    n = 0
    while len(out) + len(trailer) < E_TARGET_LINES:
        a, b, z = (nets[rng.below(E_NETS)] for _ in range(3))
        used.update((a, b, z))
        out.append("  U%d : %s port map (A => %s, B => %s, Z => %s);"
                   % (n, rng.pick(E_CELLS), a, b, z))
        n += 1
    out += trailer
    with open(path, "wb") as f:
        f.write(("\n".join(out) + "\n").encode("latin-1"))
    return {"instances": n, "nets": len(used), "distinct_names": n + len(used)}


# ---------------------------------------------------------------- inputs

def ghdl_sources():
    found = []
    for root, _, files in os.walk(GHDL_SRC):
        for f in files:
            if f.endswith(".vhdl"):
                found.append(os.path.join(root, f))
    return sorted(found)


def flat_name(path):
    return os.path.relpath(path, GHDL_SRC).replace(os.sep, "__")


def recipe_key(*parts):
    h = hashlib.sha256()
    with open(__file__, "rb") as f:
        h.update(f.read())
    for p in parts:
        h.update(repr(p).encode())
    return h.hexdigest()


def finish(directory, files, description, extra=None):
    lines = nbytes = 0
    for f in files:
        with open(os.path.join(directory, f), "rb") as fh:
            data = fh.read()
        lines += count_lines(data)
        nbytes += len(data)
    meta = {"lines": lines, "files": len(files), "bytes": nbytes, "description": description}
    meta.update(extra or {})
    with open(os.path.join(directory, "files.txt"), "w") as f:
        f.write("\n".join(files) + "\n")
    with open(os.path.join(directory, "meta.json"), "w") as f:
        json.dump(meta, f, indent=1)
    return meta


def build(work, name, key, make):
    """Makes one input in a fresh directory unless its stamp shows the same recipe."""
    final = os.path.join(work, name)
    stamp = os.path.join(final, ".stamp")
    if os.path.exists(stamp) and open(stamp).read() == key:
        return
    tmp = final + ".tmp"
    shutil.rmtree(tmp, ignore_errors=True)
    os.makedirs(tmp)
    print("bench: preparing input %s ..." % name, file=sys.stderr, flush=True)
    make(tmp)
    with open(os.path.join(tmp, ".stamp"), "w") as f:
        f.write(key)
    shutil.rmtree(final, ignore_errors=True)
    os.rename(tmp, final)


def prepare_a(work):
    srcs = ghdl_sources()
    if not srcs:
        sys.exit("bench: no VHDL sources under %s (is ghdl-common installed?)" % GHDL_SRC)
    key = recipe_key("A", [(s, os.path.getsize(s), os.path.getmtime(s)) for s in srcs])

    def make(d):
        files = []
        for s in srcs:
            shutil.copyfile(s, os.path.join(d, flat_name(s)))
            files.append(flat_name(s))
        finish(d, files, "VHDL sources of Debian's ghdl-common (%s)" % GHDL_SRC)
    build(work, "A", key, make)


def prepare_b(work):
    a_dir = os.path.join(work, "A")
    a_files = open(os.path.join(a_dir, "files.txt")).read().split()
    a_meta = json.load(open(os.path.join(a_dir, "meta.json")))
    copies = max(1, round(B_TARGET_LINES / a_meta["lines"]))
    key = recipe_key("B", open(os.path.join(a_dir, ".stamp")).read(), copies)

    def make(d):
        files = []
        for c in range(1, copies + 1):
            for f in a_files:
                name = "c%02d__%s" % (c, f)
                shutil.copyfile(os.path.join(a_dir, f), os.path.join(d, name))
                files.append(name)
        finish(d, files, "A copied %d times" % copies)
    build(work, "B", key, make)


def prepare_c(work):
    def make(d):
        stats = make_netlist(os.path.join(d, "netlist.vhd"))
        finish(d, ["netlist.vhd"],
               "one generated gate-level netlist (%d instances, %d distinct names)"
               % (stats["instances"], stats["distinct_names"]), stats)
    build(work, "C", recipe_key("C", C_TARGET_LINES, C_NETS), make)


def prepare_d(work):
    def make(d):
        rng = Rng(7)
        files = []
        for i in range(1, D_FILES + 1):
            name = "unit_%04d.vhd" % i
            make_small(os.path.join(d, name), i, rng)
            files.append(name)
        finish(d, files, "%d small generated design units" % D_FILES)
    build(work, "D", recipe_key("D", D_FILES), make)


def prepare_e(work):
    def make(d):
        stats = make_flat_netlist(os.path.join(d, "netlist.vhd"))
        finish(d, ["netlist.vhd"],
               "one generated synthesis netlist, one instance a line (%d instances, %d nets, "
               "about %d distinct names)" % (stats["instances"], stats["nets"],
                                             stats["distinct_names"]), stats)
    build(work, "E", recipe_key("E", E_TARGET_LINES, E_NETS), make)


def prepare_f(work):
    def make(d):
        files = []
        for i in range(1, F_FILES + 1):
            name = "comments_%02d.vhd" % i
            with open(os.path.join(d, name), "wb") as f:
                f.write("".join("-- comment line %d\n" % n
                                for n in range(1, F_LINES + 1)).encode("latin-1"))
            files.append(name)
        finish(d, files, "%d files of %d one-line comments" % (F_FILES, F_LINES))
    build(work, "F", recipe_key("F", F_FILES, F_LINES), make)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", default=os.path.join(os.path.dirname(__file__), "work"))
    parser.add_argument("--inputs", default="ABCDEF",
                        help="which inputs, e.g. AB (default ABCDEF)")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    steps = {"A": prepare_a, "B": prepare_b, "C": prepare_c, "D": prepare_d, "E": prepare_e,
             "F": prepare_f}
    wanted = set(args.inputs.upper())
    if "B" in wanted:
        wanted.add("A")
    for name in "ABCDEF":
        if name in wanted:
            steps[name](args.work)


if __name__ == "__main__":
    main()
