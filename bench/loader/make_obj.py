#!/usr/bin/env python3
"""Writes a large OBJ file (and its MTL library) for the loader benchmark.

usage: make_obj.py OUT.obj [MEGABYTES]   (default 50)

The model is a grid of bumpy tiles like a chamber's walls, in the subset the
program reads: "v", "vn", faces as quadrilaterals and triangles with
vertex//normal corners, "usemtl" every few hundred faces, plus the comments,
groups and smoothing lines real exporters write. The output is the same for
the same arguments.
"""
import os
import random
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    target = int(float(sys.argv[2]) * 1e6) if len(sys.argv) > 2 else 50_000_000
    rng = random.Random(4)
    base = os.path.splitext(out)[0]
    mtl = base + ".mtl"
    names = ["wall%d" % i for i in range(8)]
    with open(mtl, "w") as f:
        for i, name in enumerate(names):
            f.write("newmtl %s\n\tKd %.3f %.3f %.3f\n\tKe 0 0 0\n\tNs 10\n\n" % (name, 0.2 + i * 0.1, 0.5, 0.9 - i * 0.1))
    size = 0
    tile = 0
    vertices = 0
    normals = 0
    with open(out, "w") as f:
        header = "# benchmark model\nmtllib %s\n" % os.path.basename(mtl)
        f.write(header)
        size += len(header)
        while size < target:
            n = 16  # a tile is n x n quads
            lines = ["g tile%d\n" % tile, "s off\n", "usemtl %s\n" % names[tile % len(names)]]
            ox, oz = (tile % 100) * 4.0, (tile // 100) * 4.0
            for j in range(n + 1):
                for i in range(n + 1):
                    lines.append("v %.6f %.6f %.6f\n" % (ox + i * 0.25, rng.uniform(-0.05, 0.05), oz + j * 0.25))
                    lines.append("vn %.6f %.6f %.6f\n" % (rng.uniform(-0.1, 0.1), 1.0, rng.uniform(-0.1, 0.1)))
            for j in range(n):
                for i in range(n):
                    a = vertices + j * (n + 1) + i + 1
                    b, c, d = a + 1, a + n + 2, a + n + 1
                    na, nb, nc, nd = (normals + (x - vertices) for x in (a, b, c, d))
                    if (i + j) % 4 == 0:  # some tiles split into two triangles
                        lines.append("f %d//%d %d//%d %d//%d\n" % (a, na, b, nb, c, nc))
                        lines.append("f %d//%d %d//%d %d//%d\n" % (a, na, c, nc, d, nd))
                    else:
                        lines.append("f %d//%d %d//%d %d//%d %d//%d\n" % (a, na, b, nb, c, nc, d, nd))
            vertices += (n + 1) * (n + 1)
            normals += (n + 1) * (n + 1)
            text = "".join(lines)
            f.write(text)
            size += len(text)
            tile += 1


if __name__ == "__main__":
    main()
