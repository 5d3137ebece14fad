#!/usr/bin/env python3
"""Realistic kelm inputs from Debian's dictionary packages.

    real_dictionary.py convert DIR
        Converts each installed dictionary to one-line UTF-8 text,
        `headword /// translation`, one file per dictionary in DIR, and prints
        what it met (entries, what was dropped or cut, longest entries).
    real_dictionary.py merge DIR N [SEED] > input.txt
        Merges copies of the converted dictionaries into exactly N entries,
        shuffled with a fixed seed: about a quarter of the entries repeat a
        headword (with a variant translation), later copies add derived
        headwords (the base word and a suffix) so that many headwords share
        long prefixes. Prints what it made on standard error.

Sources (the packages' files; what is not installed is skipped):
  SKK-JISYO.L (skkdic)          EUC-JP, `reading /cand1/cand2;note/`, `;` comments
  edict, compdic (edict)        EUC-JP, `headword [reading] /(pos) gloss/gloss/`
  freedict-jpn-eng, gcide,      dictd: `.index` (headword, base64 offset and
  jargon (dict-*)               length) and `.dict.dz` (gzip)

A copy takes each entry of a source with the probability WEIGHTS gives it (1
when it gives none): GCIDE's articles (840 bytes an entry on average) and
FreeDict's IPA notation (300) would otherwise make the merge three times the
size of a merged dictionary people keep, which holds about 95 bytes an entry
(2 million entries in some 190 MB).

Every translation is kept on one line: its line breaks become ` \\ `; tabs are
kept. A headword beyond 248 bytes of BOCU-1 drops the entry; an entry beyond
ENTRY_LIMIT bytes (its UTF-8 line or its BOCU-1 headword and translation) is
cut at a character before the limit.
"""
import gzip
import os
import random
import re
import subprocess
import sys

HEADWORD_LIMIT = 248   # BOCU-1 bytes
ENTRY_LIMIT = 60000    # bytes of the UTF-8 line and of the BOCU-1 record
VARIANT_ROOM = 200     # bytes a merged copy may add to an entry
WEIGHTS = {"freedict-jpn-eng": 0.15, "gcide": 0.04}
SEP = " /// "
BREAK = " \\ "
DICTD_B64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
DICTD_META = re.compile(r"00-?(database|gcide|web1913)")


def bocu1_length(text):
    """Bytes of `text` in BOCU-1, encoded one UTF-16 unit at a time."""
    prev = 0x40
    total = 0
    data = text.encode("utf-16-le", "surrogatepass")
    for i in range(0, len(data), 2):
        c = data[i] | (data[i + 1] << 8)
        if c <= 0x20:
            total += 1
            if c != 0x20:
                prev = 0x40
            continue
        diff = c - prev
        if -0x40 <= diff <= 0x3F:
            total += 1
        elif -10513 <= diff <= 10512:
            total += 2
        else:
            total += 3
        if 0x3040 <= c <= 0x309F:
            prev = 0x3070
        elif 0x4E00 <= c <= 0x9FA5:
            prev = 0x7711
        elif 0xAC00 <= c <= 0xD7A3:
            prev = 0xC1D1
        else:
            prev = (c & ~0x7F) + 0x40
    return total


class Stats:
    def __init__(self, name):
        self.name = name
        self.c = {}
        self.longest = []  # (bytes, headword)

    def add(self, key, n=1):
        self.c[key] = self.c.get(key, 0) + n

    def report(self, out):
        parts = ", ".join(f"{k} {v}" for k, v in self.c.items())
        out.write(f"{self.name}: {parts}\n")
        for size, hw in sorted(self.longest, reverse=True)[:3]:
            out.write(f"  long entry: {size} bytes, headword {hw[:40]!r}\n")


def one_line(text, stats):
    """A translation on one line: line breaks become ` \\ `."""
    if "\0" in text or "\x1a" in text:
        stats.add("NUL/SUB to space", text.count("\0") + text.count("\x1a"))
        text = text.replace("\0", " ").replace("\x1a", " ")
    text = text.replace("\r\n", "\n").replace("\r", "\n").rstrip()
    return text.replace("\n", BREAK)


def cut_to(text, limit, measure):
    """The longest prefix of `text` within `limit` by `measure`, cut at a character
    and never inside a ` \\ `."""
    lo, hi = 0, len(text)
    while lo < hi:  # largest length whose measure fits
        mid = (lo + hi + 1) // 2
        if measure(text[:mid]) <= limit:
            lo = mid
        else:
            hi = mid - 1
    return text[:lo].rstrip(" \\")


def fit(hw, tr, stats, room=0):
    """(headword, translation) within the limits, or None to drop the entry."""
    hw = hw.replace("\r", " ").replace("\n", " ")
    if SEP in hw or (hw + SEP + tr).find(SEP) != len(hw):
        stats.add("dropped: separator in headword")
        return None
    if len(hw.encode()) > HEADWORD_LIMIT // 3 and bocu1_length(hw) > HEADWORD_LIMIT:
        stats.add("dropped: headword over 248 BOCU-1 bytes")
        return None
    limit = ENTRY_LIMIT - room
    line = len(hw.encode()) + len(SEP) + len(tr.encode())
    # A UTF-16 unit takes at most three BOCU-1 bytes and at least one UTF-8 byte:
    # only long entries need counting.
    if 3 * line > limit:
        hw_bocu = bocu1_length(hw)
        hw_line = len(hw.encode()) + len(SEP)
        record = hw_bocu + bocu1_length(tr)
        stats.longest.append((max(line, record), hw))
        stats.longest = sorted(stats.longest, reverse=True)[:3]
        if line > limit or record > limit:
            tr = cut_to(tr, limit - max(hw_bocu, hw_line),
                        lambda t: max(len(t.encode()), bocu1_length(t)))
            stats.add("cut: entry over 60000 bytes")
    return hw, tr


def iconv_euc(path, stats):
    """The file as text, by iconv from EUC-JP (with -c when a byte has no mapping)."""
    run = subprocess.run(["iconv", "-f", "EUC-JP", "-t", "UTF-8", path], capture_output=True)
    if run.returncode != 0:
        run = subprocess.run(["iconv", "-c", "-f", "EUC-JP", "-t", "UTF-8", path],
                             capture_output=True)
        stats.add("iconv needed -c")
    with open(path, "rb") as f:
        stats.add("JIS X 0212 characters", f.read().count(b"\x8f"))
    return run.stdout.decode("utf-8")


def convert_skk(path, stats):
    for line in iconv_euc(path, stats).split("\n"):
        if not line or line.startswith(";"):
            continue
        reading, _, rest = line.partition(" /")
        cands = [c for c in rest.rstrip("/").split("/") if c]
        yield reading, BREAK.join(cands)


def convert_edict(path, stats):
    for n, line in enumerate(iconv_euc(path, stats).split("\n")):
        if not line or (n == 0 and line.startswith("\u3000？？？")):  # the file's own header
            continue
        head, _, rest = line.partition(" /")
        hw, _, reading = head.partition(" [")
        glosses = "; ".join(g for g in rest.rstrip("/").split("/") if g)
        yield hw, (f"【{reading.rstrip(']')}】" if reading else "") + glosses


def dictd_number(s):
    v = 0
    for ch in s:
        v = v * 64 + DICTD_B64.index(ch)
    return v


def convert_dictd(index, body_gz, stats):
    with gzip.open(body_gz, "rb") as f:
        body = f.read()
    seen = set()
    with open(index, encoding="utf-8") as f:
        for line in f:
            hw, off, size = line.rstrip("\n").split("\t")
            if DICTD_META.match(hw):
                stats.add("dropped: dictd meta entry")
                continue
            if (hw, off, size) in seen:
                stats.add("dropped: repeated index line")
                continue
            seen.add((hw, off, size))
            raw = body[dictd_number(off):dictd_number(off) + dictd_number(size)]
            try:
                text = raw.decode("utf-8")
            except UnicodeDecodeError:  # a stray Windows-1252 byte in UTF-8 text
                text = raw.decode("utf-8", "surrogateescape")
                strays = re.findall("[\udc80-\udcff]", text)
                stats.add("stray bytes read as Windows-1252", len(strays))
                text = re.sub("[\udc80-\udcff]",
                              lambda m: bytes([ord(m.group()) - 0xDC00]).decode("cp1252", "replace"),
                              text)
            if hw == "":
                stats.add("empty headwords (kept)")
            yield hw, text


SOURCES = [  # name, reader, files
    ("skk", convert_skk, ["/usr/share/skk/SKK-JISYO.L"]),
    ("edict", convert_edict, ["/usr/share/edict/edict"]),
    ("compdic", convert_edict, ["/usr/share/edict/compdic"]),
    ("freedict-jpn-eng", convert_dictd, ["/usr/share/dictd/freedict-jpn-eng.index",
                                         "/usr/share/dictd/freedict-jpn-eng.dict.dz"]),
    ("gcide", convert_dictd, ["/usr/share/dictd/gcide.index", "/usr/share/dictd/gcide.dict.dz"]),
    ("jargon", convert_dictd, ["/usr/share/dictd/jargon.index", "/usr/share/dictd/jargon.dict.dz"]),
]


def convert(outdir):
    os.makedirs(outdir, exist_ok=True)
    for name, reader, files in SOURCES:
        if not all(os.path.exists(p) for p in files):
            sys.stdout.write(f"{name}: not installed, skipped\n")
            continue
        stats = Stats(name)
        entries = 0
        size = 0
        nonbmp = 0
        with open(os.path.join(outdir, name + ".txt.part"), "w", encoding="utf-8",
                  newline="\n") as out:
            for hw, tr in reader(*files, stats):
                kept = fit(hw, one_line(tr, stats), stats, VARIANT_ROOM)
                if kept is None:
                    continue
                line = kept[0] + SEP + kept[1] + "\n"
                if not line.isascii():
                    nonbmp += sum(1 for ch in line if ord(ch) > 0xFFFF)
                out.write(line)
                entries += 1
                size += len(line.encode())
        os.replace(os.path.join(outdir, name + ".txt.part"), os.path.join(outdir, name + ".txt"))
        stats.c = {"entries": entries, "MB": round(size / 1e6, 1),
                   "non-BMP characters": nonbmp, **stats.c}
        stats.report(sys.stdout)


def derived(hw, k):
    """The k-th derived headword of `hw`: the word and a suffix of its script."""
    if hw[-1:].isascii():
        suffixes = ["s", "es", "ed", "ing", "er", "ly", "ness", "'s", " (n)", " (v)", "less"]
    else:
        suffixes = ["する", "的", "性", "化", "者", "さん", "な", "の", "語", "式", "中"]
    if k < len(suffixes):
        return hw + suffixes[k]
    return f"{hw} ({k - len(suffixes) + 2})"


def variant(tr, copy, rng):
    """A translation as a later copy of a dictionary might give it."""
    pick = rng.randrange(4)
    if pick == 0:
        return f"{tr} ({copy})"
    if pick == 1:
        return "◆" + tr
    if pick == 2 and BREAK in tr:
        return tr.rsplit(BREAK, 1)[0]
    return f"{tr}{BREAK}〔{copy}〕"


def merge(srcdir, n, seed, target=0.25):
    rng = random.Random(seed)
    pool = []
    weight = []       # of each entry of the pool, from its source
    for name, _, _ in SOURCES:
        path = os.path.join(srcdir, name + ".txt")
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                for line in f:
                    hw, _, tr = line.rstrip("\n").partition(SEP)
                    pool.append((hw, tr))
                    weight.append(WEIGHTS.get(name, 1.0))
    if not pool:
        sys.exit("merge: no converted dictionaries in " + srcdir)
    stats = Stats("merge")
    seen = set()
    out = []          # (headword, translation)
    repeats = 0
    order = []
    copy = 0
    while len(out) < n:
        if repeats < target * len(out) and out:
            hw, tr = out[rng.randrange(len(out))]
            entry = fit(hw, variant(tr, copy + 1 + rng.randrange(3), rng), stats)
        else:
            while not order:
                copy += 1
                order = [i for i in range(len(pool)) if weight[i] >= 1 or rng.random() < weight[i]]
                rng.shuffle(order)
            hw, tr = pool[order.pop()]
            if copy > 1:
                tr = variant(tr, copy, rng)
                k = 0
                base = hw
                while hw in seen and k < 30:
                    hw = derived(base, k + rng.randrange(3))
                    k += 1
            entry = fit(hw, tr, stats)
        if entry is None:
            continue
        if entry[0] in seen:
            repeats += 1
        else:
            seen.add(entry[0])
        out.append(entry)
    rng.shuffle(out)
    size = 0
    w = sys.stdout.buffer
    longest = 0
    for hw, tr in out:
        line = (hw + SEP + tr + "\n").encode()
        size += len(line)
        longest = max(longest, len(line))
        w.write(line)
    w.flush()
    shared = 0  # headwords that begin with 4 or more characters of the one before
    prev = ""
    for hw in sorted(seen):
        k = 0
        while k < len(hw) and k < len(prev) and hw[k] == prev[k]:
            k += 1
        shared += k >= 4
        prev = hw
    sys.stderr.write(f"merged {n} entries from {copy} cop{'y' if copy == 1 else 'ies'} of "
                     f"{len(pool)}: {size / 1e6:.1f} MB, {len(seen)} headwords, "
                     f"{100 * repeats / n:.1f}% repeat a headword, "
                     f"{100 * shared / max(1, len(seen)):.0f}% of headwords share 4 characters "
                     f"or more with the one before in sorted order, longest line {longest} "
                     f"bytes\n")
    if stats.c:
        stats.report(sys.stderr)


def main(argv):
    if len(argv) == 3 and argv[1] == "convert":
        convert(argv[2])
    elif len(argv) in (4, 5) and argv[1] == "merge":
        merge(argv[2], int(argv[3]), int(argv[4]) if len(argv) == 5 else 1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
