#!/usr/bin/env python3
"""Writes small scene files whose data is shared many times over, for the
importer's memory tests.

    python3 tests/importer/data/make_heavy_scenes.py OUTDIR [SCALE]

shared_sampler.dae   NODES nodes "N0" ... under the root, each with
                     <translate sid="location">, all animated by one
                     BEZIER sampler of KEYS keys (one <source> each for
                     times, values, interpolations and tangents): the file
                     holds the keys once, its channels name them NODES times.
shared_morph.gltf    one mesh of POINTS points and TARGETS morph targets
                     that all read one accessor of position offsets (every
                     point moved by (0, 0, 1)), weights 0.
SCALE (default 1) multiplies the node and target counts.
"""
import base64
import json
import os
import struct
import sys


def shared_sampler(path, nodes, keys):
    times = " ".join("%g" % (k / 24.0) for k in range(keys))
    values = " ".join("%d 0 0" % (k % 7) for k in range(keys))
    interps = " ".join(["BEZIER"] * keys)
    tangents = " ".join("%g %d %g 0 %g 0" % (k / 24.0, k % 7, k / 24.0, k / 24.0)
                        for k in range(keys))
    def source(sid, array, text, count, stride, kind="float_array", ptype="float"):
        params = "".join('<param type="%s"/>' % ptype for _ in range(stride))
        return ('<source id="%s"><%s id="%s-array" count="%d">%s</%s>'
                '<technique_common><accessor source="#%s-array" count="%d" stride="%d">'
                '%s</accessor></technique_common></source>\n'
                % (sid, kind, sid, count * stride, text, kind, sid, count, stride, params))
    out = ['<?xml version="1.0" encoding="utf-8"?>\n'
           '<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">\n'
           '<asset><unit name="meter" meter="1"/><up_axis>Y_UP</up_axis></asset>\n'
           '<library_animations><animation id="shared">\n']
    out.append(source("t", "", times, keys, 1))
    out.append(source("v", "", values, keys, 3))
    out.append(source("i", "", interps, keys, 1, "Name_array", "name"))
    out.append(source("ti", "", tangents, keys, 6))
    out.append(source("to", "", tangents, keys, 6))
    out.append('<sampler id="s"><input semantic="INPUT" source="#t"/>'
               '<input semantic="OUTPUT" source="#v"/>'
               '<input semantic="INTERPOLATION" source="#i"/>'
               '<input semantic="IN_TANGENT" source="#ti"/>'
               '<input semantic="OUT_TANGENT" source="#to"/></sampler>\n')
    for n in range(nodes):
        out.append('<channel source="#s" target="N%d/location"/>\n' % n)
    out.append('</animation></library_animations>\n'
               '<library_visual_scenes><visual_scene id="Scene">\n')
    for n in range(nodes):
        out.append('<node id="N%d" name="N%d"><translate sid="location">0 0 0</translate></node>\n'
                   % (n, n))
    out.append('</visual_scene></library_visual_scenes>\n'
               '<scene><instance_visual_scene url="#Scene"/></scene></COLLADA>\n')
    with open(path, "w") as f:
        f.write("".join(out))


def shared_morph(path, points, targets):
    pos = b"".join(struct.pack("<3f", float(i % 100), float(i // 100), 0.0)
                   for i in range(points))
    delta = b"".join(struct.pack("<3f", 0.0, 0.0, 1.0) for _ in range(points))
    data = pos + delta
    top = [float(points // 100 + 1), float(points // 100 + 1), 0.0]
    doc = {
        "asset": {"version": "2.0"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "Shapes", "mesh": 0}],
        "meshes": [{"name": "Shapes",
                    "primitives": [{"attributes": {"POSITION": 0}, "mode": 0,
                                    "targets": [{"POSITION": 1}] * targets}],
                    "weights": [0.0] * targets}],
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": points, "type": "VEC3",
             "min": [0.0, 0.0, 0.0], "max": [99.0, top[1], 0.0]},
            {"bufferView": 1, "componentType": 5126, "count": points, "type": "VEC3",
             "min": [0.0, 0.0, 1.0], "max": [0.0, 0.0, 1.0]}],
        "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": len(pos)},
                        {"buffer": 0, "byteOffset": len(pos), "byteLength": len(delta)}],
        "buffers": [{"byteLength": len(data),
                     "uri": "data:application/octet-stream;base64," +
                            base64.b64encode(data).decode()}],
    }
    with open(path, "w") as f:
        json.dump(doc, f, separators=(",", ":"))


def main():
    out = sys.argv[1]
    scale = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    os.makedirs(out, exist_ok=True)
    shared_sampler(os.path.join(out, "shared_sampler.dae"), 400 * scale, 2000)
    shared_morph(os.path.join(out, "shared_morph.gltf"), 4000, 400 * scale)


if __name__ == "__main__":
    main()
