#!/usr/bin/env python3
"""Writes a large skinned glTF scene for timing a whole bake.

    python3 bench/make_big_skin.py OUT.gltf [POINTS]     (default 200000 points)

A chain of 4 bones (each 1 unit long, up +Y) bends about Z over 100 frames
at 30 fps (0 to 3.3 s); one grid mesh of POINTS points spans the chain and
every point is weighted to all 4 bones, so each point costs 4 influences.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples"))
from make_scenes import Builder, quat_z, translation  # noqa: E402


def main(argv):
    out = argv[1]
    count = int(argv[2]) if len(argv) > 2 else 200000
    columns = 500
    rows = (count + columns - 1) // columns
    b = Builder()
    points, joints, weights = [], [], []
    for i in range(count):
        r, c = divmod(i, columns)
        y = 4.0 * r / max(rows - 1, 1)
        points.append((c / columns - 0.5, y, 0.0))
        raw = [1.0 / (1.0 + (y - (k + 0.5)) ** 2) for k in range(4)]
        total = sum(raw)
        joints.append((0, 1, 2, 3))
        weights.append(tuple(w / total for w in raw))
    triangles = []
    for r in range(rows - 1):
        for c in range(columns - 1):
            a = r * columns + c
            if a + columns + 1 < count:
                triangles += [(a, a + 1, a + columns + 1), (a, a + columns + 1, a + columns)]
    prim = {
        "attributes": {"POSITION": b.accessor("VEC3", points, minmax=True, target=34962)},
        "indices": b.accessor("SCALAR", [i for t in triangles for i in t], component="I",
                              target=34963),
        "mode": 4,
    }
    prim["attributes"]["JOINTS_0"] = b.accessor("VEC4", joints, component="B", target=34962)
    prim["attributes"]["WEIGHTS_0"] = b.accessor("VEC4", weights, target=34962)
    mesh = b.add("meshes", {"name": "Sheet", "primitives": [prim]})
    root = b.node("Rig", top=True, children=[])
    bones, parent = [], root
    for k in range(4):
        bone = b.node("Bone%d" % k, translation=[0, 0 if k == 0 else 1, 0], children=[])
        b.gltf["nodes"][parent]["children"].append(bone)
        bones.append(bone)
        parent = bone
    ibm = b.accessor("MAT4", [translation(0, -k, 0) for k in range(4)])
    skin = b.add("skins", {"joints": bones, "inverseBindMatrices": ibm, "skeleton": root})
    b.node("Sheet", top=True, mesh=mesh, skin=skin)
    b.animation("Bend", [
        (bone, "rotation", [0.0, 3.3], [quat_z(0), quat_z(25 + 5 * k)], "LINEAR")
        for k, bone in enumerate(bones)
    ])
    b.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
