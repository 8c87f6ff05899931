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
camlight     "Cam" camera at (0,0,10): focal length 35 mm (frame 0) to
             50 mm (frame 10), film width 1.417323 in (36 mm), aperture
             mode 3, aspect 1920 x 1080; "Spot" spot light: colour
             (1, 0.5, 0.25), intensity 100 (frame 0) to 300 (frame 10),
             outer angle 40.
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


class Scene:
    def __init__(self, fps=24, unit=100.0, axes=(1, 1, 2, 1, 0, 1), stop=20):
        self.fps, self.unit, self.axes, self.stop = fps, unit, axes, stop
        self.models = []
        self.layers = [('BaseLayer', {})]

    def add(self, *args, **kwargs):
        m = Model(*args, **kwargs)
        self.models.append(m)
        return m

    def animate(self, model, prop, component, curve, layer=0):
        model.curves.setdefault((layer, prop), {})[component] = curve

    def uses_7_only(self):
        if len(self.layers) > 1:
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
      '\tCreator: "make_fbx_fixtures.py"\n}\n')
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
        w('\t}\r\n')
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
    return s


def main(argv):
    out = argv[1] if len(argv) > 1 else '.'
    os.makedirs(out, exist_ok=True)
    for name, scene in scenes().items():
        write7(scene, os.path.join(out, name + '.fbx'))
        if not scene.uses_7_only():
            write6(scene, os.path.join(out, name + '_6100.fbx'))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
