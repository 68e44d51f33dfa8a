#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Rasterises pages of two PDFs with pdftoppm and counts the pixels that differ.

    compare-pdf-pages.py OLD.pdf NEW.pdf PAGE... [--dpi 300] [--png DIR]

For each page: the pixels that differ, the largest difference of a channel, and how many of the
differing pixels are more than one pixel away from any ink in the old page (a difference that is
not on an edge). With --png the pages are also written as PNGs into DIR to look at.
Needs only pdftoppm (poppler-utils) and Python 3.
"""
import argparse
import os
import subprocess
import sys
import tempfile


def render(pdf, page, dpi, out):
    subprocess.run(["pdftoppm", "-r", str(dpi), "-f", str(page), "-l", str(page), "-singlefile",
                    pdf, out], check=True)
    return out + ".ppm"


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    # P6 <w> <h> <max>\n<bytes>
    fields = []
    i = 0
    while len(fields) < 4:
        while data[i:i + 1].isspace():
            i += 1
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        fields.append(data[i:j])
        i = j
    assert fields[0] == b"P6" and fields[3] == b"255", "8-bit PPM expected"
    return int(fields[1]), int(fields[2]), data[i + 1:]


def compare(a, b):
    wa, ha, pa = a
    wb, hb, pb = b
    if (wa, ha) != (wb, hb):
        return None
    row = wa * 3
    differing = 0
    largest = 0
    off_edge = 0
    for y in range(ha):
        ra = pa[y * row:(y + 1) * row]
        rb = pb[y * row:(y + 1) * row]
        if ra == rb:
            continue
        for x in range(wa):
            p, q = ra[3 * x:3 * x + 3], rb[3 * x:3 * x + 3]
            if p == q:
                continue
            differing += 1
            largest = max(largest, max(abs(p[c] - q[c]) for c in range(3)))
            # An edge: some pixel of the 3x3 neighbourhood in the old page is not white.
            edge = False
            for yy in range(max(0, y - 1), min(ha, y + 2)):
                for xx in range(max(0, x - 1), min(wa, x + 2)):
                    o = yy * row + 3 * xx
                    if pa[o:o + 3] != b"\xff\xff\xff":
                        edge = True
            if not edge:
                off_edge += 1
    return differing, largest, off_edge


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("pages", nargs="+", type=int)
    ap.add_argument("--dpi", type=int, default=300)
    ap.add_argument("--png")
    args = ap.parse_args()
    total = 0
    with tempfile.TemporaryDirectory() as tmp:
        for page in args.pages:
            a = read_ppm(render(args.old, page, args.dpi, os.path.join(tmp, "old")))
            b = read_ppm(render(args.new, page, args.dpi, os.path.join(tmp, "new")))
            r = compare(a, b)
            if r is None:
                print(f"page {page}: sizes differ {a[:2]} {b[:2]}")
                total += 1
                continue
            differing, largest, off_edge = r
            total += differing
            print(f"page {page}: {a[0]}x{a[1]} px, {differing} differ "
                  f"(largest channel difference {largest}, {off_edge} not at an edge)")
            if args.png:
                os.makedirs(args.png, exist_ok=True)
                for name, pdf in (("old", args.old), ("new", args.new)):
                    subprocess.run(["pdftoppm", "-r", str(args.dpi), "-f", str(page), "-l",
                                    str(page), "-singlefile", "-png", pdf,
                                    os.path.join(args.png, f"{name}-{page}")], check=True)
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
