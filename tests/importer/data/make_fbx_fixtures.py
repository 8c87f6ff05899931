#!/usr/bin/env python3
"""Writes the small ASCII FBX files the importer tests load, one behaviour each.

    python3 tests/importer/data/make_fbx_fixtures.py OUTDIR

Each scene is described once (models, their properties, curves, layers,
settings) and written as FBX 7.4 text, and where the scene uses nothing 7.x
alone has (layers, extrapolation) as FBX 6.1 text too (NAME_6100.fbx). The
tests work out the points they expect by hand or by formulas of their own;
nothing here is computed from the importer's output.

Scenes (24 frames per second, UnitScaleFactor 100, so one unit is a metre,
unless said otherwise). "tri" is the triangle (1,0,0), (0,1,0), (0,0,1).

pivots       "Pivoted" (tri): Lcl Translation (10,0,0), RotationOffset
             (0,1,0), RotationPivot (1,0,0), ScalingOffset (0,0,2),
             ScalingPivot (0,1,0), Lcl Scaling (2,2,2); Lcl Rotation Z
             linear 0 (frame 0) to 90 (frame 10).
inherit      "Parent" (null): Lcl Rotation (0,0,90), Lcl Scaling (2,1,1);
             below it "RrSs", "RSrs", "Rrs" (tri), InheritType 0, 1, 2,
             each Lcl Translation (1,0,0), Lcl Rotation (0,0,90).
             "Grand" (null, Lcl Scaling (1,2,1)) > "Middle" (null, Lcl
             Rotation (0,0,90), Lcl Scaling (2,1,1)) > "Compensated" (tri,
             InheritType 2, Lcl Translation (1,0,0)).
prepost      "Ordered" (tri): RotationOrder 5 (ZYX), Lcl Rotation
             (30,45,60), PreRotation (90,0,0), PostRotation (0,0,30),
             RotationActive 1; "Inactive" (tri): the same with
             RotationActive 0; both at the origin.
geometric    "Body" (tri): Lcl Translation (0,5,0), GeometricTranslation
             (1,0,0), GeometricRotation (0,0,90), GeometricScaling (2,1,1);
             below it "Arm" (tri): Lcl Translation (3,0,0).
extrapolate  nulls whose Lcl Translation X has keys (frame 0, 0), (5, 2),
             (10, 10), linear, after the last key: "Constant",
             "Repetition", "Mirror", "KeepSlope", "Relative" (post
             extrapolation of that kind, for ever), "Twice" (repetition,
             2 cycles), "Before" (pre extrapolation: repetition, and
             relative repetition on Y with the same keys).
cubic        nulls with Lcl Translation X curves: "User" keys (0, 0) right
             slope 48/s, (10, 10) left slope -24/s; "Weighted" the same
             with both weights 0.2; "Auto" auto (clamped) keys (0,0),
             (10,10), (20,0); "Smooth" auto keys (0,0), (10,10), (30,30);
             "Steps" constant keys (0,1), (10,5), (20,7) with constant-next
             on the middle one.
layers       null "Layered": base layer translation X 1, rotation Z 10,
             scaling X 2; layer "Add" (additive, weight 50, rotations by
             component, scalings multiplied): translation X 4, rotation Z
             20, scaling X 4; layer "Over" (override, weight 25):
             translation X 11.
zup          UpAxis 2, FrontAxis 1 (sign -1), CoordAxis 0: "Marker" (null,
             Lcl Translation (1,2,3)), "Point" (tri) below it.
xup          UpAxis 0, FrontAxis 2, CoordAxis 1 (sign -1): "Marker" (null,
             Lcl Translation (1,2,3)).
inches       UnitScaleFactor 2.54: "Inch" (tri) at Lcl Translation (10,0,0).
chain        40 nulls "J0" > "J1" > ... > "J39", each but the first at
             Lcl Translation (1,0,0), each turning about Z by the frame
             number in degrees (linear keys (0, 0), (40, 40)); "Tip" (tri)
             below the last at (1,0,0).
camlight     "Cam" camera at (0,0,10): focal length 35 mm (frame 0) to
             50 mm (frame 10), film width 1.417323 in (36 mm), aperture
             mode 3, aspect 1920 x 1080; "Spot" spot light: colour
             (1, 0.5, 0.25), intensity 100 (frame 0) to 300 (frame 10),
             outer angle 40.

Deformers ("rig": joint "J0" at the origin, "J1" below it at (0,1,0) turned
90 degrees about Z, both bound unturned, the mesh bound at the origin; a
cluster's Transform is inverse(TransformLink) x the mesh's bind matrix):
skin_dq      "Arm" (1,1,0) half on J0 and J1, (1,1,0) 1:3 on J0:J1, (0,3,0)
             on J0, (2,1,0.5) on J1; SkinningType DualQuaternion.
skin_blend   "Arm" (1,1,0) three times and (2,1,0), each half on J0 and J1;
             SkinningType Blend, blend weights 0, 0.5, 1 for points 0 to 2
             (point 3 none).
skin_linear  "Arm" (1,1,0) half on J0 and J1, (0,3,0) on J0, (2,1,0.5) on J1;
             linear (also in 6.1).
skin_moved_maya, skin_moved_blender
             written by Maya / by Blender: "J" at the origin turned 90
             degrees about Z, bound unturned; "Flag" (1,0,0), (0,0,0),
             (0,1,0), points 0 and 2 on J, bound at (0,0,1), its node at
             (0,0,1) moving in x from 0 (frame 0) to 2 (frame 10), linear.
inbetween    "Box" (0,0,0), (1,0,0), (1,1,0), (0,1,0); channel "Lift" with
             shapes at 50 percent (point 0 up 1) and 100 percent (point 0
             up 4, point 1 along x 1); its weight 0, 100, 150 at frames 0,
             10, 20, linear.
shape_weights
             the same "Box"; channel "Squash" at 35 percent as Blender writes
             it (a DeformPercent node only, FullWeights 100 and 50 for its
             shape's two points: point 0 (2,0,0), point 1 (0,2,0)); channel
             "Stretch" at -40 percent (point 2 (0,0,5)).
shape_static "Box"; channel "Push" at 35 percent moving point 0 by (2,0,0)
             (also in 6.1: the shape in the model, its weight the model's
             property of the shape's name).
shape_blender_point
             written by Blender: "Box"; channel "Raise" at 100 percent, its
             one shape moving point 1 by (0,0,2), FullWeights 50: the point's
             weight (Blender writes one per shape point), not an in-between.
cache_pc2, cache_mcx, cache_missing
             "Wave" (0,0,0), (1,0,0), (0,1,0) with a vertex cache: samples
             at frames 1, 2, 3, sample k moving point i by (k (i + 1), 0,
             -k); cache_pc2 in pc2_cache/wave.pc2 (the scene in
             centimetres), cache_mcx a Maya cache of one .mcx file in
             mcx_cache/waveShape.xml with a normals channel beside the
             points (its deformer first); cache_missing points to a file
             that is not there. Each names a missing absolute path first,
             then the path relative to the scene (also in 6.1).
"""

import os
import struct
import sys

TICKS = 46186158000


def fmt(v):
    if isinstance(v, str):
        return '"%s"' % v
    if isinstance(v, float) and v == int(v) and abs(v) < 1e15:
        return str(int(v))
    return repr(v)


def float_bits(x):
    return struct.unpack('<i', struct.pack('<f', x))[0]


class Curve:
    """Keys (frame, value, kind) with kind 'linear', 'constant',
    'constant-next', ('cubic', right slope, next left slope[, weights]) or
    'auto'; slopes are per second."""

    def __init__(self, keys, pre=None, post=None, default=0.0):
        self.keys, self.pre, self.post, self.default = keys, pre, post, default


class Model:
    def __init__(self, name, kind='Null', parent=None, props=None, mesh=None, attribute=None):
        self.name, self.kind, self.parent = name, kind, parent
        self.props = props or {}
        self.mesh = mesh
        self.attribute = attribute or {}
        self.curves = {}  # (layer, property) -> {component: Curve}
        # Deformers of a mesh: a Skin, Channels of blend shapes, Caches.
        self.skin = None
        self.channels = []
        self.caches = []


class Scene:
    def __init__(self, fps=24, unit=100.0, axes=(1, 1, 2, 1, 0, 1), stop=20):
        self.fps, self.unit, self.axes, self.stop = fps, unit, axes, stop
        self.models = []
        self.layers = [('BaseLayer', {})]
        self.application = None  # the writing program's name, in 7.x text
        self.files = {}  # further files beside the scene: relative path -> bytes

    def add(self, *args, **kwargs):
        m = Model(*args, **kwargs)
        self.models.append(m)
        return m

    def animate(self, model, prop, component, curve, layer=0):
        model.curves.setdefault((layer, prop), {})[component] = curve

    def uses_7_only(self):
        if len(self.layers) > 1 or self.application:
            return True
        for m in self.models:
            if m.skin and (m.skin.kind != 'Linear' or m.skin.blend):
                return True
            if any(c.full is not None or c.curve or c.node_only for c in m.channels):
                return True
        # Extrapolation and automatic keys are written in 7.x terms only.
        return any(c.pre or c.post or any(k[2] == 'auto' for k in c.keys)
                   for m in self.models for cs in m.curves.values() for c in cs.values())

    def ticks(self, frame):
        return int(round(frame * TICKS / self.fps))


TRI = ([(1, 0, 0), (0, 1, 0), (0, 0, 1)], [[0, 1, 2]])

MODEL_PROPERTY_TYPES = {
    'Lcl Translation': ('Lcl Translation', '', 'A'),
    'Lcl Rotation': ('Lcl Rotation', '', 'A'),
    'Lcl Scaling': ('Lcl Scaling', '', 'A'),
    'InheritType': ('enum', '', ''),
    'RotationOrder': ('enum', '', ''),
    'RotationActive': ('bool', '', ''),
}


def ptype(name):
    return MODEL_PROPERTY_TYPES.get(name, ('Vector3D', 'Vector', ''))


def values(v):
    return v if isinstance(v, (list, tuple)) else [v]


# ----------------------------------------------------------------- FBX 7.4

def write7(scene, path):
    out = []
    w = out.append
    ids = {}
    next_id = [1000]

    def new_id():
        next_id[0] += 1
        return next_id[0]

    up, up_sign, front, front_sign, coord, coord_sign = scene.axes
    w('; FBX 7.4.0 project file\n')
    w('FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7400\n'
      '\tCreator: "make_fbx_fixtures.py"\n')
    if scene.application:
        w('\tSceneInfo: "SceneInfo::GlobalInfo", "UserData" {\n\t\tProperties70:  {\n'
          '\t\t\tP: "Original|ApplicationName", "KString", "", "", "%s"\n\t\t}\n\t}\n'
          % scene.application)
    w('}\n')
    w('GlobalSettings:  {\n\tVersion: 1000\n\tProperties70:  {\n')
    for name, v in (('UpAxis', up), ('UpAxisSign', up_sign), ('FrontAxis', front),
                    ('FrontAxisSign', front_sign), ('CoordAxis', coord),
                    ('CoordAxisSign', coord_sign)):
        w('\t\tP: "%s", "int", "Integer", "",%d\n' % (name, v))
    w('\t\tP: "UnitScaleFactor", "double", "Number", "",%s\n' % fmt(scene.unit))
    w('\t\tP: "TimeMode", "enum", "", "",%d\n' % {24: 11, 30: 6}[scene.fps])
    w('\t\tP: "TimeSpanStart", "KTime", "Time", "",0\n')
    w('\t\tP: "TimeSpanStop", "KTime", "Time", "",%d\n' % scene.ticks(scene.stop))
    w('\t}\n}\n')
    # A template as Maya and Blender write it: rotation inactive unless a
    # model says otherwise.
    w('Definitions:  {\n\tVersion: 100\n\tObjectType: "Model" {\n'
      '\t\tPropertyTemplate: "FbxNode" {\n\t\t\tProperties70:  {\n'
      '\t\t\t\tP: "RotationActive", "bool", "", "",0\n'
      '\t\t\t\tP: "Lcl Scaling", "Lcl Scaling", "", "A",1,1,1\n'
      '\t\t\t}\n\t\t}\n\t}\n}\n')
    conns = []
    w('Objects:  {\n')
    for m in scene.models:
        ids[m.name] = new_id()
        w('\tModel: %d, "Model::%s", "%s" {\n\t\tVersion: 232\n\t\tProperties70:  {\n'
          % (ids[m.name], m.name, m.kind))
        for name, v in m.props.items():
            t, label, flags = ptype(name)
            w('\t\t\tP: "%s", "%s", "%s", "%s",%s\n'
              % (name, t, label, flags, ','.join(fmt(x) for x in values(v))))
        w('\t\t}\n\t}\n')
        conns.append(('OO', ids[m.name], ids[m.parent] if m.parent else 0, None))
        if m.mesh:
            gid = new_id()
            points, polys = m.mesh
            flat = [c for p in points for c in p]
            idx = []
            for poly in polys:
                idx += poly[:-1] + [-poly[-1] - 1]
            w('\tGeometry: %d, "Geometry::%s", "Mesh" {\n' % (gid, m.name))
            w('\t\tVertices: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(flat), ','.join(fmt(float(c)) for c in flat)))
            w('\t\tPolygonVertexIndex: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(idx), ','.join(str(i) for i in idx)))
            w('\t}\n')
            conns.append(('OO', gid, ids[m.name], None))
            m.geometry_id = gid
        if m.attribute:
            aid = new_id()
            m.attribute_id = aid
            w('\tNodeAttribute: %d, "NodeAttribute::%s", "%s" {\n\t\tProperties70:  {\n'
              % (aid, m.name, m.kind))
            for name, v in m.attribute.items():
                w('\t\t\tP: "%s", "%s", "", "A",%s\n'
                  % (name, 'ColorRGB' if name == 'Color' else 'Number',
                     ','.join(fmt(x) for x in values(v))))
            w('\t\t}\n\t}\n')
            conns.append(('OO', aid, ids[m.name], None))
    stack = new_id()
    w('\tAnimationStack: %d, "AnimStack::Take", "" {\n\t\tProperties70:  {\n' % stack)
    w('\t\t\tP: "LocalStart", "KTime", "Time", "",0\n')
    w('\t\t\tP: "LocalStop", "KTime", "Time", "",%d\n\t\t}\n\t}\n' % scene.ticks(scene.stop))
    layer_ids = []
    for name, props in scene.layers:
        lid = new_id()
        layer_ids.append(lid)
        w('\tAnimationLayer: %d, "AnimLayer::%s", "" {\n\t\tProperties70:  {\n' % (lid, name))
        for p, v in props.items():
            w('\t\t\tP: "%s", "%s", "", "",%s\n' % (p, 'Number' if p == 'Weight' else 'enum', fmt(v)))
        w('\t\t}\n\t}\n')
        conns.append(('OO', lid, stack, None))
    for m in scene.models:
        for (layer, prop), comps in m.curves.items():
            target = getattr(m, 'attribute_id', None) if prop in m.attribute else ids[m.name]
            nid = new_id()
            w('\tAnimationCurveNode: %d, "AnimCurveNode::%s", "" {\n\t\tProperties70:  {\n'
              % (nid, prop))
            for comp, curve in comps.items():
                w('\t\t\tP: "d|%s", "Number", "", "A",%s\n' % (comp, fmt(curve.default)))
            w('\t\t}\n\t}\n')
            conns.append(('OO', nid, layer_ids[layer], None))
            conns.append(('OP', nid, target, prop))
            for comp, curve in comps.items():
                cid = new_id()
                write_curve7(w, cid, curve, scene)
                conns.append(('OP', cid, nid, 'd|' + comp))
    for m in scene.models:
        write_deformers7(w, m, scene, ids, new_id, conns, layer_ids[0])
    w('}\nConnections:  {\n')
    for kind, a, b, prop in conns:
        w('\tC: "%s",%d,%d%s\n' % (kind, a, b, ', "%s"' % prop if prop else ''))
    w('}\n')
    with open(path, 'w', newline='\n') as f:
        f.write(''.join(out))


def write_curve7(w, cid, curve, scene):
    times = [scene.ticks(k[0]) for k in curve.keys]
    vals = [k[1] for k in curve.keys]
    flags, data = [], []
    for k in curve.keys:
        kind = k[2]
        weights = 3333 | (3333 << 16)
        if kind == 'linear':
            flags.append(0x4)
            data += [0, 0, weights, 0]
        elif kind == 'constant':
            flags.append(0x2)
            data += [0, 0, weights, 0]
        elif kind == 'constant-next':
            flags.append(0x102)
            data += [0, 0, weights, 0]
        elif kind == 'auto':
            # What Maya writes beside automatic keys is no slope.
            flags.append(0x6108)
            data += [float_bits(123.0), float_bits(-321.0), weights, 0]
        else:
            _, right, next_left = kind[:3]
            f = 0x408
            if len(kind) > 3:
                r, l = kind[3]
                weights = int(round(r * 9999)) | (int(round(l * 9999)) << 16)
                f |= 0x3000000
            flags.append(f)
            data += [float_bits(right), float_bits(next_left), weights, 0]
    w('\tAnimationCurve: %d, "AnimCurve::", "" {\n\t\tDefault: %s\n\t\tKeyVer: 4009\n'
      % (cid, fmt(curve.default)))
    w('\t\tKeyTime: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(times), ','.join(str(t) for t in times)))
    w('\t\tKeyValueFloat: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(vals), ','.join(fmt(float(v)) for v in vals)))
    w('\t\tKeyAttrFlags: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(flags), ','.join(str(f) for f in flags)))
    w('\t\tKeyAttrDataFloat: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(data), ','.join(str(d) for d in data)))
    w('\t\tKeyAttrRefCount: *%d {\n\t\t\ta: %s\n\t\t}\n' % (len(flags), ','.join('1' for _ in flags)))
    for name, ext in (('Pre-Extrapolation', curve.pre), ('Post-Extrapolation', curve.post)):
        if ext:
            w('\t\t%s:  {\n\t\t\tType: %s\n\t\t\tRepetition: %d\n\t\t}\n' % (name, ext[0], ext[1]))
    w('\t}\n')


# ----------------------------------------------------------------- FBX 6.1

def write6(scene, path):
    out = []
    w = out.append
    up, up_sign, front, front_sign, coord, coord_sign = scene.axes
    w('; FBX 6.1.0 project file\r\n')
    w('FBXHeaderExtension:  {\r\n\tFBXHeaderVersion: 1003\r\n\tFBXVersion: 6100\r\n}\r\n')
    w('Objects:  {\r\n')
    for m in scene.models:
        w('\tModel: "Model::%s", "%s" {\r\n\t\tVersion: 232\r\n\t\tProperties60:  {\r\n'
          % (m.name, m.kind))
        props = dict(m.props)
        props.update(m.attribute)
        for name, v in props.items():
            t, _, flags = ptype(name)
            w('\t\t\tProperty: "%s", "%s", "%s",%s\r\n'
              % (name, t, flags, ','.join(fmt(x) for x in values(v))))
        for c in m.channels:  # a shape's weight: the property of its name
            w('\t\t\tProperty: "%s", "Number", "A",%s\r\n' % (c.name, fmt(float(c.percent))))
        w('\t\t}\r\n')
        if m.mesh:
            points, polys = m.mesh
            flat = [c for p in points for c in p]
            idx = []
            for poly in polys:
                idx += poly[:-1] + [-poly[-1] - 1]
            # A list of numbers broken before a comma, as 6.1 writers do.
            text = ','.join(fmt(float(c)) for c in flat)
            half = text.find(',', len(text) // 2)
            w('\t\tVertices: %s\r\n\t\t\t\t%s\r\n' % (text[:half], text[half:]))
            w('\t\tPolygonVertexIndex: %s\r\n' % ','.join(str(i) for i in idx))
            write_shapes6(w, m)
        w('\t}\r\n')
    deformer_links = []
    for m in scene.models:
        write_deformers6(w, m, deformer_links)
    w('\tGlobalSettings:  {\r\n\t\tVersion: 1000\r\n\t\tProperties60:  {\r\n')
    for name, v in (('UpAxis', up), ('UpAxisSign', up_sign), ('FrontAxis', front),
                    ('FrontAxisSign', front_sign), ('CoordAxis', coord),
                    ('CoordAxisSign', coord_sign)):
        w('\t\t\tProperty: "%s", "int", "",%d\r\n' % (name, v))
    w('\t\t\tProperty: "UnitScaleFactor", "double", "",%s\r\n' % fmt(scene.unit))
    w('\t\t}\r\n\t}\r\n}\r\n')
    w('Connections:  {\r\n')
    for m in scene.models:
        w('\tConnect: "OO", "Model::%s", "Model::%s"\r\n' % (m.name, m.parent or 'Scene'))
    for child, parent in deformer_links:
        w('\tConnect: "OO", "%s", "%s"\r\n' % (child, parent))
    w('}\r\n')
    stop = scene.ticks(scene.stop)
    w('Takes:  {\r\n\tCurrent: "Take"\r\n\tTake: "Take" {\r\n\t\tFileName: "Take.tak"\r\n')
    w('\t\tLocalTime: 0,%d\r\n\t\tReferenceTime: 0,%d\r\n' % (stop, stop))
    for m in scene.models:
        if not m.curves:
            continue
        w('\t\tModel: "Model::%s" {\r\n\t\t\tVersion: 1.1\r\n' % m.name)
        transform = {p: c for (_, p), c in m.curves.items() if p.startswith('Lcl ')}
        if transform:
            w('\t\t\tChannel: "Transform" {\r\n')
            for prop, letter in (('Lcl Translation', 'T'), ('Lcl Rotation', 'R'),
                                 ('Lcl Scaling', 'S')):
                if prop not in transform:
                    continue
                w('\t\t\t\tChannel: "%s" {\r\n' % letter)
                for comp, curve in transform[prop].items():
                    w('\t\t\t\t\tChannel: "%s" {\r\n' % comp)
                    write_keys6(w, curve, scene, '\t\t\t\t\t\t')
                    w('\t\t\t\t\t}\r\n')
                w('\t\t\t\t}\r\n')
            w('\t\t\t}\r\n')
        for (_, prop), comps in m.curves.items():
            if prop.startswith('Lcl '):
                continue
            for comp, curve in comps.items():
                w('\t\t\tChannel: "%s" {\r\n' % prop)
                write_keys6(w, curve, scene, '\t\t\t\t')
                w('\t\t\t}\r\n')
        w('\t\t}\r\n')
    w('\t}\r\n}\r\n')
    w('Version5:  {\r\n\tSettings:  {\r\n\t\tFrameRate: "%d"\r\n\t}\r\n}\r\n' % scene.fps)
    with open(path, 'w', newline='') as f:
        f.write(''.join(out))


def write_keys6(w, curve, scene, indent):
    parts = []
    for k in curve.keys:
        kind = k[2]
        head = '%d,%s' % (scene.ticks(k[0]), fmt(float(k[1])))
        if kind == 'linear':
            parts.append(head + ',L')
        elif kind == 'constant':
            parts.append(head + ',C,s')
        elif kind == 'constant-next':
            parts.append(head + ',C,n')
        else:
            _, right, next_left = kind[:3]
            weights = ',n'
            if len(kind) > 3:
                weights = ',a,%s,%s' % (fmt(float(kind[3][0])), fmt(float(kind[3][1])))
            parts.append(head + ',U,s,%s,%s%s' % (fmt(float(right)), fmt(float(next_left)),
                                                  weights))
    w('%sDefault: %s\r\n%sKeyVer: 4005\r\n%sKeyCount: %d\r\n'
      % (indent, fmt(curve.default), indent, indent, len(curve.keys)))
    # The keys on the line after "Key:", as Blender's 6.1 writer puts them.
    w('%sKey: \r\n%s\t%s\r\n' % (indent, indent, ','.join(parts)))


# ----------------------------------------------------------------- deformers

class Skin:
    """kind: SkinningType; clusters: [(joint name, TransformLink, mesh bind
    matrix, {point: weight})] with 4x4 row-major matrices; blend: {point:
    blend weight} for kind 'Blend'."""

    def __init__(self, kind, clusters, blend=None):
        self.kind, self.clusters, self.blend = kind, clusters, blend


class Channel:
    """A blend shape channel: its weight in percent (curve: animated),
    shapes [(name, {point: (dx, dy, dz)})], full weights (None: not
    written), node_only: the weight written as a DeformPercent node alone,
    as Blender does."""

    def __init__(self, name, percent, shapes, full=None, curve=None, node_only=False):
        self.name, self.percent, self.shapes = name, percent, shapes
        self.full, self.curve, self.node_only = full, curve, node_only


class Cache:
    """A vertex cache deformer: its channel, the file's relative and absolute
    names, and CacheFileType (1 pc2, 2 Maya)."""

    def __init__(self, channel, relative, absolute, file_type):
        self.channel, self.relative, self.absolute = channel, relative, absolute
        self.file_type = file_type


def translate(x, y, z):
    return [[1, 0, 0, x], [0, 1, 0, y], [0, 0, 1, z], [0, 0, 0, 1]]


def matmul(a, b):
    return [[sum(a[r][k] * b[k][c] for k in range(4)) for c in range(4)] for r in range(4)]


def inverse_translation(m):
    """The inverse of a matrix that only translates (the fixtures' bind
    matrices)."""
    assert all(m[r][c] == (1 if r == c else 0) for r in range(3) for c in range(3))
    return translate(-m[0][3], -m[1][3], -m[2][3])


def columns(m):
    """A 4x4 matrix as FBX writes it: column after column."""
    return [m[r][c] for c in range(4) for r in range(4)]


def array7(w, name, vals, indent='\t\t'):
    w('%s%s: *%d {\n%s\ta: %s\n%s}\n' % (indent, name, len(vals), indent,
                                          ','.join(fmt(v) for v in vals), indent))


def write_deformers7(w, m, scene, ids, new_id, conns, base_layer):
    if not m.mesh:
        return
    gid = m.geometry_id
    if m.skin:
        sid = new_id()
        w('\tDeformer: %d, "Deformer::", "Skin" {\n\t\tVersion: 101\n\t\tLink_DeformAcuracy: 50\n'
          '\t\tSkinningType: "%s"\n' % (sid, m.skin.kind))
        if m.skin.blend:
            array7(w, 'Indexes', list(m.skin.blend.keys()))
            array7(w, 'BlendWeights', [float(v) for v in m.skin.blend.values()])
        w('\t}\n')
        conns.append(('OO', sid, gid, None))
        for joint, link, bind, weights in m.skin.clusters:
            cid = new_id()
            w('\tDeformer: %d, "SubDeformer::", "Cluster" {\n\t\tVersion: 100\n' % cid)
            array7(w, 'Indexes', list(weights.keys()))
            array7(w, 'Weights', [float(v) for v in weights.values()])
            array7(w, 'Transform', [float(v) for v in columns(matmul(inverse_translation(link), bind))])
            array7(w, 'TransformLink', [float(v) for v in columns(link)])
            w('\t}\n')
            conns.append(('OO', cid, sid, None))
            conns.append(('OO', ids[joint], cid, None))
    if m.channels:
        bid = new_id()
        w('\tDeformer: %d, "Deformer::%s", "BlendShape" {\n\t\tVersion: 100\n\t}\n' % (bid, m.name))
        conns.append(('OO', bid, gid, None))
        for c in m.channels:
            cid = new_id()
            w('\tDeformer: %d, "SubDeformer::%s", "BlendShapeChannel" {\n\t\tVersion: 100\n'
              % (cid, c.name))
            if not c.node_only:
                w('\t\tProperties70:  {\n\t\t\tP: "DeformPercent", "Number", "", "A",%s\n\t\t}\n'
                  % fmt(float(c.percent)))
            w('\t\tDeformPercent: %s\n' % fmt(float(c.percent)))
            if c.full is not None:
                array7(w, 'FullWeights', [float(v) for v in c.full])
            w('\t}\n')
            conns.append(('OO', cid, bid, None))
            for shape, offsets in c.shapes:
                shid = new_id()
                w('\tGeometry: %d, "Geometry::%s", "Shape" {\n\t\tVersion: 100\n' % (shid, shape))
                array7(w, 'Indexes', list(offsets.keys()))
                array7(w, 'Vertices', [float(v) for d in offsets.values() for v in d])
                w('\t}\n')
                conns.append(('OO', shid, cid, None))
            if c.curve:
                nid = new_id()
                w('\tAnimationCurveNode: %d, "AnimCurveNode::DeformPercent", "" {\n'
                  '\t\tProperties70:  {\n\t\t\tP: "d|DeformPercent", "Number", "", "A",%s\n'
                  '\t\t}\n\t}\n' % (nid, fmt(float(c.curve.default))))
                conns.append(('OO', nid, base_layer, None))
                conns.append(('OP', nid, cid, 'DeformPercent'))
                kid = new_id()
                write_curve7(w, kid, c.curve, scene)
                conns.append(('OP', kid, nid, 'd|DeformPercent'))
    for c in m.caches:
        did = new_id()
        w('\tDeformer: %d, "Deformer::VertexCacheDeformer", "VertexCacheDeformer" {\n'
          '\t\tVersion: 100\n\t\tProperties70:  {\n'
          '\t\t\tP: "ChannelName", "KString", "", "", "%s"\n'
          '\t\t\tP: "Active", "bool", "", "",1\n\t\t}\n\t}\n' % (did, c.channel))
        conns.append(('OO', did, gid, None))
        kid = new_id()
        w('\tCache: %d, "Cache::%s", "" {\n\t\tVersion: 100\n\t\tProperties70:  {\n'
          '\t\t\tP: "CacheFileName", "KString", "", "", "%s"\n'
          '\t\t\tP: "CacheAbsoluteFileName", "KString", "", "", "%s"\n'
          '\t\t\tP: "CacheFileType", "enum", "", "",%d\n\t\t}\n\t}\n'
          % (kid, c.channel, c.relative, c.absolute, c.file_type))
        conns.append(('OO', kid, did, None))


def write_shapes6(w, m):
    """FBX 6.1 keeps a mesh's shapes in its model."""
    for c in m.channels:
        for shape, offsets in c.shapes:
            w('\t\tShape: "%s" {\r\n\t\t\tIndexes: %s\r\n\t\t\tVertices: %s\r\n\t\t}\r\n' % (
                shape, ','.join(str(i) for i in offsets.keys()),
                ','.join(fmt(float(v)) for d in offsets.values() for v in d)))


def write_deformers6(w, m, links):
    if m.skin:
        skin = 'Deformer::Skin %s' % m.name
        w('\tDeformer: "%s", "Skin" {\r\n\t\tVersion: 100\r\n\t\tLink_DeformAcuracy: 50\r\n'
          '\t}\r\n' % skin)
        links.append((skin, 'Model::' + m.name))
        for joint, link, bind, weights in m.skin.clusters:
            cluster = 'SubDeformer::Cluster %s' % joint
            w('\tDeformer: "%s", "Cluster" {\r\n\t\tVersion: 100\r\n\t\tIndexes: %s\r\n'
              '\t\tWeights: %s\r\n\t\tTransform: %s\r\n\t\tTransformLink: %s\r\n\t}\r\n' % (
                  cluster, ','.join(str(i) for i in weights.keys()),
                  ','.join(fmt(float(v)) for v in weights.values()),
                  ','.join(fmt(float(v)) for v in columns(matmul(inverse_translation(link), bind))),
                  ','.join(fmt(float(v)) for v in columns(link))))
            links.append((cluster, skin))
            links.append(('Model::' + joint, cluster))
    for k, c in enumerate(m.caches):
        deformer = 'Deformer::VertexCacheDeformer %s %d' % (m.name, k)
        cache = 'Cache::%s %d' % (m.name, k)
        w('\tDeformer: "%s", "VertexCacheDeformer" {\r\n\t\tVersion: 100\r\n'
          '\t\tProperties60:  {\r\n\t\t\tProperty: "ChannelName", "KString", "", "%s"\r\n'
          '\t\t\tProperty: "Active", "bool", "",1\r\n\t\t}\r\n\t}\r\n' % (deformer, c.channel))
        w('\tCache: "%s", "" {\r\n\t\tVersion: 100\r\n\t\tProperties60:  {\r\n'
          '\t\t\tProperty: "CacheFileName", "KString", "", "%s"\r\n'
          '\t\t\tProperty: "CacheAbsoluteFileName", "KString", "", "%s"\r\n'
          '\t\t\tProperty: "CacheFileType", "enum", "",%d\r\n\t\t}\r\n\t}\r\n'
          % (cache, c.relative, c.absolute, c.file_type))
        links.append((deformer, 'Model::' + m.name))
        links.append((cache, deformer))


def rig(sc):
    """J0 at the origin, J1 below it at (0,1,0) turned 90 degrees about Z."""
    sc.add('J0', 'LimbNode')
    sc.add('J1', 'LimbNode', parent='J0', props={'Lcl Translation': (0, 1, 0),
                                                 'Lcl Rotation': (0, 0, 90)})


def rig_clusters(weights0, weights1):
    ident = translate(0, 0, 0)
    return [('J0', ident, ident, weights0), ('J1', translate(0, 1, 0), ident, weights1)]


WAVE = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]


def wave_sample(k):
    return [(x + k * (i + 1), y, z - k) for i, (x, y, z) in enumerate(WAVE)]


def pc2_bytes():
    data = b'POINTCACHE2\0' + struct.pack('<iiffi', 1, len(WAVE), 1.0, 1.0, 3)
    for k in range(3):
        data += b''.join(struct.pack('<fff', *p) for p in wave_sample(k))
    return data


def mcx_files():
    """A Maya cache of one .mcx file and its description: the points channel
    and a normals channel in each sample."""
    def chunk(tag, data):
        return tag + b'\0\0\0\0' + struct.pack('>Q', len(data)) + data + b'\0' * ((8 - len(data) % 8) % 8)

    def form(kind, body):
        return b'FOR8\0\0\0\0' + struct.pack('>Q', len(body) + 4) + kind + body

    data = form(b'CACH', chunk(b'VRSN', b'0.1\0') + chunk(b'STIM', struct.pack('>i', 250)) +
                chunk(b'ETIM', struct.pack('>i', 750)))
    for k in range(3):
        body = chunk(b'TIME', struct.pack('>i', 250 * (k + 1)))
        for name, pts in ((b'waveShape', wave_sample(k)), (b'waveShape_normals', [(0, 0, 1)] * 3)):
            body += chunk(b'CHNM', name + b'\0') + chunk(b'SIZE', struct.pack('>I', len(pts)))
            body += chunk(b'FVCA', b''.join(struct.pack('>fff', *p) for p in pts))
        data += form(b'MYCH', body)
    channel = ('<channel%d ChannelName="%s" ChannelType="FloatVectorArray" '
               'ChannelInterpretation="%s" SamplingType="Regular" SamplingRate="250" '
               'StartTime="250" EndTime="750"/>')
    xml = ('<?xml version="1.0"?>\n<Autodesk_Cache_File>\n'
           '  <cacheType Type="OneFile" Format="mcx"/>\n  <time Range="250-750"/>\n'
           '  <cacheTimePerFrame TimePerFrame="250"/>\n  <cacheVersion Version="2.0"/>\n'
           '  <Channels>\n    ' + channel % (0, 'waveShape', 'positions') + '\n    ' +
           channel % (1, 'waveShape_normals', 'normals') + '\n  </Channels>\n'
           '</Autodesk_Cache_File>\n')
    return {'mcx_cache/waveShape.mcx': data, 'mcx_cache/waveShape.xml': xml.encode()}


def deformer_scenes(s):
    box = ([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)], [[0, 1, 2, 3]])

    sc = Scene()
    rig(sc)
    arm = sc.add('Arm', 'Mesh', mesh=([(1, 1, 0), (1, 1, 0), (0, 3, 0), (2, 1, 0.5)], [[0, 1, 2, 3]]))
    arm.skin = Skin('DualQuaternion', rig_clusters({0: 0.5, 1: 0.25, 2: 1.0}, {0: 0.5, 1: 0.75, 3: 1.0}))
    s['skin_dq'] = sc

    sc = Scene()
    rig(sc)
    arm = sc.add('Arm', 'Mesh', mesh=([(1, 1, 0)] * 3 + [(2, 1, 0)], [[0, 1, 2, 3]]))
    half = {0: 0.5, 1: 0.5, 2: 0.5, 3: 0.5}
    arm.skin = Skin('Blend', rig_clusters(half, half), blend={0: 0.0, 1: 0.5, 2: 1.0})
    s['skin_blend'] = sc

    sc = Scene()
    rig(sc)
    arm = sc.add('Arm', 'Mesh', mesh=([(1, 1, 0), (0, 3, 0), (2, 1, 0.5)], [[0, 1, 2]]))
    arm.skin = Skin('Linear', rig_clusters({0: 0.5, 1: 1.0}, {0: 0.5, 2: 1.0}))
    s['skin_linear'] = sc

    for name, application in (('skin_moved_maya', 'Maya'),
                              ('skin_moved_blender', 'Blender (stable FBX IO)')):
        sc = Scene()
        sc.application = application
        sc.add('J', 'LimbNode', props={'Lcl Rotation': (0, 0, 90)})
        flag = sc.add('Flag', 'Mesh', mesh=([(1, 0, 0), (0, 0, 0), (0, 1, 0)], [[0, 1, 2]]),
                      props={'Lcl Translation': (0, 0, 1)})
        sc.animate(flag, 'Lcl Translation', 'X', Curve([(0, 0, 'linear'), (10, 2, 'linear')]))
        flag.skin = Skin('Linear', [('J', translate(0, 0, 0), translate(0, 0, 1), {0: 1.0, 2: 1.0})])
        s[name] = sc

    sc = Scene()
    b = sc.add('Box', 'Mesh', mesh=box)
    b.channels = [Channel('Lift', 0, [('Lift50', {0: (0, 1, 0)}),
                                      ('Lift100', {0: (0, 4, 0), 1: (1, 0, 0)})], full=[50, 100],
                          curve=Curve([(0, 0, 'linear'), (10, 100, 'linear'), (20, 150, 'linear')]))]
    s['inbetween'] = sc

    sc = Scene()
    b = sc.add('Box', 'Mesh', mesh=box)
    b.channels = [Channel('Squash', 35, [('Squash', {0: (2, 0, 0), 1: (0, 2, 0)})], full=[100, 50],
                          node_only=True),
                  Channel('Stretch', -40, [('Stretch', {2: (0, 0, 5)})], full=[100])]
    s['shape_weights'] = sc

    sc = Scene()
    b = sc.add('Box', 'Mesh', mesh=box)
    b.channels = [Channel('Push', 35, [('Push', {0: (2, 0, 0)})])]
    s['shape_static'] = sc

    sc = Scene()
    sc.application = 'Blender (stable FBX IO)'
    b = sc.add('Box', 'Mesh', mesh=box)
    b.channels = [Channel('Raise', 100, [('Raise', {1: (0, 0, 2)})], full=[50], node_only=True)]
    s['shape_blender_point'] = sc

    for name, unit, cache, files in (
            ('cache_pc2', 1.0, Cache('wave', 'pc2_cache\\wave.pc2', 'Z:\\nowhere\\wave.pc2', 1),
             {'pc2_cache/wave.pc2': pc2_bytes()}),
            ('cache_mcx', 100.0, Cache('waveShape', 'mcx_cache\\waveShape.xml',
                                       'Z:\\nowhere\\waveShape.xml', 2), mcx_files()),
            ('cache_missing', 100.0, Cache('wave', 'gone\\wave.pc2', 'Z:\\nowhere\\wave.pc2', 1),
             {})):
        sc = Scene(unit=unit)
        wave = sc.add('Wave', 'Mesh', mesh=(WAVE, [[0, 1, 2]]))
        if name == 'cache_mcx':
            wave.caches.append(Cache('waveShape_normals', cache.relative, cache.absolute, 2))
        wave.caches.append(cache)
        sc.files = files
        s[name] = sc


# ----------------------------------------------------------------- scenes

def scenes():
    s = {}

    sc = Scene()
    m = sc.add('Pivoted', 'Mesh', mesh=TRI, props={
        'Lcl Translation': (10, 0, 0), 'RotationOffset': (0, 1, 0), 'RotationPivot': (1, 0, 0),
        'ScalingOffset': (0, 0, 2), 'ScalingPivot': (0, 1, 0), 'Lcl Scaling': (2, 2, 2),
        'RotationActive': 1})
    sc.animate(m, 'Lcl Rotation', 'Z', Curve([(0, 0, 'linear'), (10, 90, 'linear')]))
    s['pivots'] = sc

    sc = Scene()
    sc.add('Parent', props={'Lcl Rotation': (0, 0, 90), 'Lcl Scaling': (2, 1, 1)})
    for name, inherit in (('RrSs', 0), ('RSrs', 1), ('Rrs', 2)):
        sc.add(name, 'Mesh', parent='Parent', mesh=TRI, props={
            'InheritType': inherit, 'Lcl Translation': (1, 0, 0), 'Lcl Rotation': (0, 0, 90)})
    sc.add('Grand', props={'Lcl Scaling': (1, 2, 1)})
    sc.add('Middle', parent='Grand', props={'Lcl Rotation': (0, 0, 90), 'Lcl Scaling': (2, 1, 1)})
    sc.add('Compensated', 'Mesh', parent='Middle', mesh=TRI,
           props={'InheritType': 2, 'Lcl Translation': (1, 0, 0)})
    s['inherit'] = sc

    sc = Scene()
    for name, active in (('Ordered', 1), ('Inactive', 0)):
        sc.add(name, 'Mesh', mesh=TRI, props={
            'RotationOrder': 5, 'Lcl Rotation': (30, 45, 60), 'PreRotation': (90, 0, 0),
            'PostRotation': (0, 0, 30), 'RotationActive': active})
    s['prepost'] = sc

    sc = Scene()
    sc.add('Body', 'Mesh', mesh=TRI, props={
        'Lcl Translation': (0, 5, 0), 'GeometricTranslation': (1, 0, 0),
        'GeometricRotation': (0, 0, 90), 'GeometricScaling': (2, 1, 1)})
    sc.add('Arm', 'Mesh', parent='Body', mesh=TRI, props={'Lcl Translation': (3, 0, 0)})
    s['geometric'] = sc

    sc = Scene()
    keys = [(0, 0, 'linear'), (5, 2, 'linear'), (10, 10, 'linear')]
    for name, post in (('Constant', ('C', -1)), ('Repetition', ('R', -1)),
                       ('Mirror', ('M', -1)), ('KeepSlope', ('K', -1)),
                       ('Relative', ('A', -1)), ('Twice', ('R', 2))):
        m = sc.add(name)
        sc.animate(m, 'Lcl Translation', 'X', Curve(keys, post=post))
    m = sc.add('Before')
    sc.animate(m, 'Lcl Translation', 'X', Curve(keys, pre=('R', -1)))
    sc.animate(m, 'Lcl Translation', 'Y', Curve(keys, pre=('A', -1)))
    s['extrapolate'] = sc

    sc = Scene()
    m = sc.add('User')
    sc.animate(m, 'Lcl Translation', 'X', Curve([(0, 0, ('cubic', 48.0, -24.0)),
                                                 (10, 10, 'linear')]))
    m = sc.add('Weighted')
    sc.animate(m, 'Lcl Translation', 'X', Curve([(0, 0, ('cubic', 48.0, -24.0, (0.2, 0.2))),
                                                 (10, 10, 'linear')]))
    m = sc.add('Auto')
    sc.animate(m, 'Lcl Translation', 'X', Curve([(0, 0, 'auto'), (10, 10, 'auto'),
                                                 (20, 0, 'auto')]))
    m = sc.add('Smooth')
    sc.animate(m, 'Lcl Translation', 'X', Curve([(0, 0, 'auto'), (10, 10, 'auto'),
                                                 (30, 30, 'auto')]))
    m = sc.add('Steps')
    sc.animate(m, 'Lcl Translation', 'X', Curve([(0, 1, 'constant'), (10, 5, 'constant-next'),
                                                 (20, 7, 'constant')]))
    s['cubic'] = sc

    sc = Scene()
    sc.layers = [('BaseLayer', {}),
                 ('Add', {'BlendMode': 0, 'Weight': 50, 'RotationAccumulationMode': 1}),
                 ('Over', {'BlendMode': 1, 'Weight': 25})]
    m = sc.add('Layered')
    flat = lambda v: Curve([(0, v, 'linear'), (20, v, 'linear')], default=v)
    sc.animate(m, 'Lcl Translation', 'X', flat(1), layer=0)
    sc.animate(m, 'Lcl Rotation', 'Z', flat(10), layer=0)
    sc.animate(m, 'Lcl Scaling', 'X', flat(2), layer=0)
    sc.animate(m, 'Lcl Translation', 'X', flat(4), layer=1)
    sc.animate(m, 'Lcl Scaling', 'X', flat(4), layer=1)
    sc.animate(m, 'Lcl Rotation', 'Z', flat(20), layer=1)
    sc.animate(m, 'Lcl Translation', 'X', flat(11), layer=2)
    s['layers'] = sc

    sc = Scene(axes=(2, 1, 1, -1, 0, 1))
    sc.add('Marker', props={'Lcl Translation': (1, 2, 3)})
    sc.add('Point', 'Mesh', parent='Marker', mesh=TRI)
    s['zup'] = sc

    sc = Scene(axes=(0, 1, 2, 1, 1, -1))
    sc.add('Marker', props={'Lcl Translation': (1, 2, 3)})
    s['xup'] = sc

    sc = Scene(unit=2.54)
    sc.add('Inch', 'Mesh', mesh=TRI, props={'Lcl Translation': (10, 0, 0)})
    s['inches'] = sc

    sc = Scene(stop=40)
    parent = None
    for i in range(40):
        m = sc.add('J%d' % i, parent=parent, props={'Lcl Translation': (1 if i else 0, 0, 0)})
        sc.animate(m, 'Lcl Rotation', 'Z', Curve([(0, 0, 'linear'), (40, 40, 'linear')]))
        parent = m.name
    sc.add('Tip', 'Mesh', parent=parent, mesh=TRI, props={'Lcl Translation': (1, 0, 0)})
    s['chain'] = sc

    sc = Scene()
    cam = sc.add('Cam', 'Camera', props={'Lcl Translation': (0, 0, 10)}, attribute={
        'FocalLength': 35, 'FilmWidth': 1.417323, 'FilmHeight': 0.797244, 'ApertureMode': 3,
        'AspectWidth': 1920, 'AspectHeight': 1080})
    sc.animate(cam, 'FocalLength', 'FocalLength',
               Curve([(0, 35, 'linear'), (10, 50, 'linear')], default=35))
    spot = sc.add('Spot', 'Light', attribute={
        'LightType': 2, 'Color': (1, 0.5, 0.25), 'Intensity': 100, 'OuterAngle': 40})
    sc.animate(spot, 'Intensity', 'Intensity',
               Curve([(0, 100, 'linear'), (10, 300, 'linear')], default=100))
    s['camlight'] = sc
    deformer_scenes(s)
    return s


def main(argv):
    out = argv[1] if len(argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    for name, scene in scenes().items():
        for rel, data in scene.files.items():
            os.makedirs(os.path.dirname(os.path.join(out, rel)), exist_ok=True)
            with open(os.path.join(out, rel), 'wb') as f:
                f.write(data)
        write7(scene, os.path.join(out, name + '.fbx'))
        if not scene.uses_7_only():
            write6(scene, os.path.join(out, name + '_6100.fbx'))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
