#!/usr/bin/env python3
"""Writes the small glTF 2.0 example scenes used by the README and the tests.

    python3 examples/make_scenes.py [OUTDIR]      (default: the folder of this script)

Every scene is one self-contained .gltf file (its buffer embedded as base64);
hierarchy.glb is hierarchy.gltf as binary glTF. All are written
deterministically, so the files beside this script can be checked against a
fresh run. The motion of each scene is simple enough to be written
down in closed form; the importer tests compute the expected point positions
and transforms from the same description:

hierarchy.gltf
    One top node "Rig" (translation (0, 0, -2), holds nothing, so it is no
    host item but its transform applies below it) with children:
    - "Arm.L": rotation about +Z, keys at 0.1, 0.55, 1.3 and 1.7 s with
      angles 0, 90, 170 and 190 degrees. The last key is stored as the
      negated quaternion: only the shortest arc goes from 170 to 190.
      Its child "Box" (translation (2, 0, 0), extras pposx 1.5, pposz -0.25)
      holds a mesh of two primitives: a quad of two unwelded triangles
      (6 points, two pairs share a position) and one triangle at z = 1.
      Its scale goes linearly from (1, 1, 1) at 0 s to (2, 1, 1) at 1 s.
    - "Box" again (a second node of the same name, translation (0, 3, 0)),
      holding the same mesh.
    - "my node": STEP translation keys x = 0, 1, 3 at 0, 0.5 and 1 s.
skinned.gltf
    "Armature" (translation (0, 1, 0)) > "Bone0" (rest) > "Bone1"
    (translation (0, 1, 0), rotation about +Z from 0 degrees at 0 s to 90
    degrees at 1 s). "SkinMesh" (translation (5, 0, 0)) holds a strip of 10
    points at x = +-0.5, y = 1 .. 3 (bind pose, world space) skinned to both
    bones: y <= 1.5 follows Bone0 only, y = 2 half each, y >= 2.5 Bone1 only.
morph.gltf
    One top node "Blob" (translation (0, 0, 1)) holding a triangle with two
    morph targets, file weights 0.25 and 0. Animation "Wave": weight 0 = 0,
    1, 0 and weight 1 = 0, 0.5, 1 at 0, 1 and 2 s, linear. Animation "Snap":
    the same keys, STEP. Animation "Drift" moves the node from (0, 0, 1) at
    0 s to (0, 0, 2) at 1 s and leaves the weights alone.
camera_light.gltf
    Several top nodes (so the root is no item):
    - "Cam": perspective camera, yfov 0.5 rad, aspect 1.5, translation
      linear from (0, 0, 10) at 0 s to (0, 4, 10) at 2 s; extras
      projplaneheight 0.6 and an unrelated key.
    - "Spot": spot light, colour (1, 0.5, 0.25), intensity 4, cones 0.3 /
      0.6 rad, at (0, 5, 0) pointing down (-90 degrees about X).
    - "Sun": directional light, colour (1, 1, 1), intensity 2.
    - "Bulb": point light, colour (0.2, 0.4, 0.8), intensity 10.
    - "Locator": a plain node (a null) at (1, 2, 3).
"""

import base64
import json
import math
import os
import struct
import sys


class Builder:
    """Collects one binary buffer, its views and accessors, and the scene."""

    def __init__(self):
        self.data = bytearray()
        self.gltf = {
            "asset": {"version": "2.0", "generator": "ZK_XSI_Baker examples"},
            "scene": 0,
            "scenes": [{"nodes": []}],
            "nodes": [],
            "buffers": [],
            "bufferViews": [],
            "accessors": [],
        }

    def _view(self, raw, target=None):
        while len(self.data) % 4:
            self.data.append(0)
        view = {"buffer": 0, "byteOffset": len(self.data), "byteLength": len(raw)}
        if target is not None:
            view["target"] = target
        self.data.extend(raw)
        self.gltf["bufferViews"].append(view)
        return len(self.gltf["bufferViews"]) - 1

    def accessor(self, kind, values, component="f", target=None, minmax=False):
        """values: a list of tuples (or of numbers for SCALAR)."""
        width = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}[kind]
        flat = []
        for v in values:
            flat.extend(v if isinstance(v, (tuple, list)) else [v])
        assert len(flat) == width * len(values)
        code = {"f": 5126, "I": 5125, "H": 5123, "B": 5121}[component]
        raw = struct.pack("<%d%s" % (len(flat), component), *flat)
        acc = {
            "bufferView": self._view(raw, target),
            "componentType": code,
            "count": len(values),
            "type": kind,
        }
        if minmax:
            cols = [flat[i::width] for i in range(width)]
            acc["min"] = [min(c) for c in cols]
            acc["max"] = [max(c) for c in cols]
        self.gltf["accessors"].append(acc)
        return len(self.gltf["accessors"]) - 1

    def node(self, name, top=False, **fields):
        node = {"name": name}
        node.update(fields)
        self.gltf["nodes"].append(node)
        index = len(self.gltf["nodes"]) - 1
        if top:
            self.gltf["scenes"][0]["nodes"].append(index)
        return index

    def add(self, key, item):
        self.gltf.setdefault(key, []).append(item)
        return len(self.gltf[key]) - 1

    def animation(self, name, channels):
        """channels: (node, path, times, values, interpolation)."""
        anim = {"name": name, "samplers": [], "channels": []}
        for node, path, times, values, interp in channels:
            kind = {"translation": "VEC3", "scale": "VEC3", "rotation": "VEC4",
                    "weights": "SCALAR"}[path]
            sampler = {
                "input": self.accessor("SCALAR", times, minmax=True),
                "output": self.accessor(kind, values),
                "interpolation": interp,
            }
            anim["samplers"].append(sampler)
            anim["channels"].append({"sampler": len(anim["samplers"]) - 1,
                                     "target": {"node": node, "path": path}})
        return self.add("animations", anim)

    def write(self, path):
        if path.endswith(".glb"):
            self.write_glb(path)
            return
        uri = "data:application/octet-stream;base64," + base64.b64encode(bytes(self.data)).decode()
        self.gltf["buffers"] = [{"byteLength": len(self.data), "uri": uri}]
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            json.dump(self.gltf, f, indent=1, sort_keys=True)
            f.write("\n")

    def write_glb(self, path):
        """Binary glTF: a JSON chunk and a BIN chunk holding the buffer."""
        self.gltf["buffers"] = [{"byteLength": len(self.data)}]
        text = json.dumps(self.gltf, sort_keys=True).encode()
        text += b" " * (-len(text) % 4)
        binary = bytes(self.data) + b"\0" * (-len(self.data) % 4)
        chunks = (struct.pack("<I4s", len(text), b"JSON") + text +
                  struct.pack("<I4s", len(binary), b"BIN\0") + binary)
        with open(path, "wb") as f:
            f.write(struct.pack("<4sII", b"glTF", 2, 12 + len(chunks)) + chunks)


def quat_z(degrees):
    """(x, y, z, w) of a rotation about +Z."""
    h = math.radians(degrees) / 2
    return (0.0, 0.0, math.sin(h), math.cos(h))


def quat_x(degrees):
    h = math.radians(degrees) / 2
    return (math.sin(h), 0.0, 0.0, math.cos(h))


def mesh_primitive(b, points, triangles, extra=None):
    prim = {
        "attributes": {"POSITION": b.accessor("VEC3", points, minmax=True, target=34962)},
        "indices": b.accessor("SCALAR", [i for t in triangles for i in t], component="H",
                              target=34963),
        "mode": 4,
    }
    if extra:
        prim.update(extra)
    return prim


# The quad of two unwelded triangles: points 0/5 and 2/3 share a position.
QUAD_POINTS = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (1, 1, 0), (0, 1, 0), (0, 0, 0)]
TRIANGLE_POINTS = [(0, 0, 1), (1, 0, 1), (0, 1, 1)]


def hierarchy(path):
    b = Builder()
    mesh = b.add("meshes", {"name": "BoxMesh", "primitives": [
        mesh_primitive(b, QUAD_POINTS, [(0, 1, 2), (3, 4, 5)]),
        mesh_primitive(b, TRIANGLE_POINTS, [(0, 1, 2)]),
    ]})
    rig = b.node("Rig", top=True, translation=[0, 0, -2], children=[])
    arm = b.node("Arm.L", children=[])
    box = b.node("Box", mesh=mesh, translation=[2, 0, 0],
                 extras={"pposx": 1.5, "pposz": -0.25})
    box2 = b.node("Box", mesh=mesh, translation=[0, 3, 0])
    slider = b.node("my node")
    b.gltf["nodes"][rig]["children"] = [arm, box2, slider]
    b.gltf["nodes"][arm]["children"] = [box]
    q190 = tuple(-c for c in quat_z(190))
    b.animation("Move", [
        (arm, "rotation", [0.1, 0.55, 1.3, 1.7],
         [quat_z(0), quat_z(90), quat_z(170), q190], "LINEAR"),
        (box, "scale", [0.0, 1.0], [(1, 1, 1), (2, 1, 1)], "LINEAR"),
        (slider, "translation", [0.0, 0.5, 1.0], [(0, 0, 0), (1, 0, 0), (3, 0, 0)], "STEP"),
    ])
    b.write(path)


def translation(x, y, z):
    """Column-major 4x4 translation matrix."""
    return (1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1)


def skinned(path):
    b = Builder()
    points, joints, weights = [], [], []
    for y in (1.0, 1.5, 2.0, 2.5, 3.0):
        for x in (-0.5, 0.5):
            points.append((x, y, 0.0))
            joints.append((0, 1, 0, 0))
            w1 = 0.0 if y <= 1.5 else 0.5 if y == 2.0 else 1.0
            weights.append((1.0 - w1, w1, 0.0, 0.0))
    triangles = []
    for row in range(4):
        a = 2 * row
        triangles += [(a, a + 1, a + 3), (a, a + 3, a + 2)]
    prim = mesh_primitive(b, points, triangles)
    prim["attributes"]["JOINTS_0"] = b.accessor("VEC4", joints, component="B", target=34962)
    prim["attributes"]["WEIGHTS_0"] = b.accessor("VEC4", weights, target=34962)
    mesh = b.add("meshes", {"name": "Strip", "primitives": [prim]})
    armature = b.node("Armature", top=True, translation=[0, 1, 0], children=[])
    bone0 = b.node("Bone0", children=[])
    bone1 = b.node("Bone1", translation=[0, 1, 0])
    b.gltf["nodes"][armature]["children"] = [bone0]
    b.gltf["nodes"][bone0]["children"] = [bone1]
    # Bind pose globals: Bone0 at (0, 1, 0), Bone1 at (0, 2, 0).
    ibm = b.accessor("MAT4", [translation(0, -1, 0), translation(0, -2, 0)])
    skin = b.add("skins", {"joints": [bone0, bone1], "inverseBindMatrices": ibm,
                           "skeleton": armature})
    b.node("SkinMesh", top=True, mesh=mesh, skin=skin, translation=[5, 0, 0])
    b.animation("Bend", [
        (bone1, "rotation", [0.0, 1.0], [quat_z(0), quat_z(90)], "LINEAR"),
    ])
    b.write(path)


def morph(path):
    b = Builder()
    base = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]
    d0 = [(0, 0, 1), (0, 0, 0), (0, 0, 0)]
    d1 = [(0, 0, 0), (1, 1, 0), (0, 0, -1)]
    prim = mesh_primitive(b, base, [(0, 1, 2)], {
        "targets": [
            {"POSITION": b.accessor("VEC3", d0, minmax=True, target=34962)},
            {"POSITION": b.accessor("VEC3", d1, minmax=True, target=34962)},
        ]})
    mesh = b.add("meshes", {"name": "BlobMesh", "primitives": [prim], "weights": [0.25, 0]})
    blob = b.node("Blob", top=True, mesh=mesh, translation=[0, 0, 1])
    times = [0.0, 1.0, 2.0]
    # Output: for each key, one weight per target.
    values = [0.0, 0.0, 1.0, 0.5, 0.0, 1.0]
    b.animation("Wave", [(blob, "weights", times, values, "LINEAR")])
    b.animation("Snap", [(blob, "weights", times, values, "STEP")])
    b.animation("Drift", [
        (blob, "translation", [0.0, 1.0], [(0, 0, 1), (0, 0, 2)], "LINEAR"),
    ])
    b.write(path)


def camera_light(path):
    b = Builder()
    cam = b.add("cameras", {"type": "perspective", "perspective": {
        "yfov": 0.5, "aspectRatio": 1.5, "znear": 0.1, "zfar": 100.0}})
    b.gltf["extensionsUsed"] = ["KHR_lights_punctual"]
    lights = [
        {"name": "SpotLight", "type": "spot", "color": [1.0, 0.5, 0.25], "intensity": 4.0,
         "spot": {"innerConeAngle": 0.3, "outerConeAngle": 0.6}},
        {"name": "SunLight", "type": "directional", "color": [1.0, 1.0, 1.0], "intensity": 2.0},
        {"name": "BulbLight", "type": "point", "color": [0.2, 0.4, 0.8], "intensity": 10.0},
    ]
    b.gltf["extensions"] = {"KHR_lights_punctual": {"lights": lights}}
    camera = b.node("Cam", top=True, camera=cam, translation=[0, 0, 10],
                    extras={"projplaneheight": 0.6, "note": "not a parameter"})
    b.node("Spot", top=True, translation=[0, 5, 0], rotation=list(quat_x(-90)),
           extensions={"KHR_lights_punctual": {"light": 0}})
    b.node("Sun", top=True, extensions={"KHR_lights_punctual": {"light": 1}})
    b.node("Bulb", top=True, translation=[0, 2, 2],
           extensions={"KHR_lights_punctual": {"light": 2}})
    b.node("Locator", top=True, translation=[1, 2, 3])
    b.animation("Dolly", [
        (camera, "translation", [0.0, 2.0], [(0, 0, 10), (0, 4, 10)], "LINEAR"),
    ])
    b.write(path)


SCENES = {
    "hierarchy.gltf": hierarchy,
    "hierarchy.glb": hierarchy,
    "skinned.gltf": skinned,
    "morph.gltf": morph,
    "camera_light.gltf": camera_light,
}


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, make in SCENES.items():
        make(os.path.join(out, name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
