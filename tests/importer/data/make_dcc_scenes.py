# Builds a small animated scene in Blender the way an artist would, exports it
# through Blender's own exporters and writes Blender's evaluated points as the
# expected data of the importer's tests.
#
#   blender -b --factory-startup --python tests/importer/data/make_dcc_scenes.py [-- OUT_DIR]
#
# OUT_DIR defaults to dcc/ next to this script. The tests only read the files
# written here, so running them needs no Blender.
import json
import math
import os
import sys

import bmesh
import bpy
from mathutils import Vector

FPS = 24
FIRST_FRAME = 0
LAST_FRAME = 16
LIMB_SEGMENTS = 12
LIMB_RINGS = 9


def out_dir():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if argv:
        return os.path.abspath(argv[0])
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "dcc")


def clear_scene(first=FIRST_FRAME, last=LAST_FRAME):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.fps = FPS
    scene.render.fps_base = 1.0
    scene.frame_start = first
    scene.frame_end = last
    scene.unit_settings.system = 'METRIC'
    scene.unit_settings.scale_length = 1.0
    return scene


def link(obj):
    bpy.context.scene.collection.objects.link(obj)
    return obj


def select_only(objs, active):
    for o in bpy.context.scene.objects:
        o.select_set(False)
    for o in objs:
        o.select_set(True)
    bpy.context.view_layer.objects.active = active


def material(name, rgb):
    mat = bpy.data.materials.new(name)
    mat.diffuse_color = (rgb[0], rgb[1], rgb[2], 1.0)
    mat.use_nodes = True
    mat.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = mat.diffuse_color
    return mat


def limb_mesh():
    """A closed tube along +Z from 0 to 2: rings of vertices, quads round the
    sides and an n-gon on each end."""
    mesh = bpy.data.meshes.new("LimbMesh")
    bm = bmesh.new()
    rings = []
    for r in range(LIMB_RINGS):
        z = 2.0 * r / (LIMB_RINGS - 1)
        ring = []
        for s in range(LIMB_SEGMENTS):
            a = 2.0 * math.pi * s / LIMB_SEGMENTS
            ring.append(bm.verts.new((0.2 * math.cos(a), 0.2 * math.sin(a), z)))
        rings.append(ring)
    for r in range(LIMB_RINGS - 1):
        for s in range(LIMB_SEGMENTS):
            t = (s + 1) % LIMB_SEGMENTS
            bm.faces.new((rings[r][s], rings[r][t], rings[r + 1][t], rings[r + 1][s]))
    bm.faces.new(list(reversed(rings[0])))
    bm.faces.new(rings[-1])
    bm.to_mesh(mesh)
    bm.free()
    mesh.polygons.foreach_set("use_smooth", [True] * len(mesh.polygons))
    return mesh


def rigged_limb(rig_name, limb_name, offset, keys, twist):
    """An armature of two bones, Upper (0 to 1 m up) and Lower (1 to 2 m up),
    and a tube skinned to it with automatic weights, both standing at offset
    (the armature object itself stays at the origin). keys: frame to (Upper,
    Lower) bend in degrees about X; twist: Upper's turn about Y per degree of
    its bend."""
    arm_data = bpy.data.armatures.new(rig_name + "Data")
    # The armature object stands at the world origin: Blender's Collada
    # exporter writes the skin's bind shape matrix wrongly for a rig placed
    # elsewhere.
    rig = link(bpy.data.objects.new(rig_name, arm_data))
    select_only([rig], rig)
    bpy.ops.object.mode_set(mode='EDIT')
    x, y, z = offset
    upper = arm_data.edit_bones.new("Upper")
    upper.head, upper.tail = (x, y, z), (x, y, z + 1.0)
    lower = arm_data.edit_bones.new("Lower")
    lower.head, lower.tail = (x, y, z + 1.0), (x, y, z + 2.0)
    lower.parent = upper
    lower.use_connect = True
    bpy.ops.object.mode_set(mode='OBJECT')

    limb = link(bpy.data.objects.new(limb_name, limb_mesh()))
    limb.location = offset
    select_only([limb, rig], rig)
    bpy.ops.object.parent_set(type='ARMATURE_AUTO')
    if len(limb.vertex_groups) != 2:
        raise RuntimeError("automatic weights made %d groups" % len(limb.vertex_groups))

    for frame, (up, low) in keys.items():
        for name, deg in (("Upper", up), ("Lower", low)):
            pb = rig.pose.bones[name]
            pb.rotation_mode = 'XYZ'
            angles = [math.radians(deg), 0.0, 0.0]
            if name == "Upper":
                angles[1] = math.radians(up * twist)  # a twist as well as a bend
            pb.rotation_euler = angles
            pb.keyframe_insert("rotation_euler", frame=frame)
    return rig, limb


def build_rig():
    # Frame 0 is the rest pose; the arm then bends at both joints.
    return rigged_limb("Rig", "Limb", (0.0, 0.0, 0.0),
                       {0: (0.0, 0.0), 8: (25.0, 70.0), 16: (-15.0, 100.0)}, 0.5)


def build_box():
    pivot = link(bpy.data.objects.new("Pivot", None))
    pivot.empty_display_type = 'PLAIN_AXES'
    keys = {0: ((1.5, 0.0, 0.5), (0.0, 0.0, 0.0)),
            8: ((1.5, 1.0, 1.0), (0.0, 0.0, 60.0)),
            16: ((2.0, 0.5, 1.5), (30.0, 0.0, 120.0))}
    for frame, (loc, rot) in keys.items():
        pivot.location = loc
        pivot.rotation_euler = [math.radians(a) for a in rot]
        pivot.keyframe_insert("location", frame=frame)
        pivot.keyframe_insert("rotation_euler", frame=frame)

    mesh = bpy.data.meshes.new("BoxMesh")
    bm = bmesh.new()
    bmesh.ops.create_cube(bm, size=0.5)
    bm.to_mesh(mesh)
    bm.free()
    # Two materials on different faces: the top and bottom are red.
    mesh.materials.append(material("Grey", (0.5, 0.5, 0.5)))
    mesh.materials.append(material("Red", (0.8, 0.1, 0.1)))
    for poly in mesh.polygons:
        poly.material_index = 1 if abs(poly.normal.z) > 0.5 else 0
    box = link(bpy.data.objects.new("Box", mesh))
    box.parent = pivot
    box.location = (0.6, 0.0, 0.0)
    box.rotation_euler = (0.0, 0.0, math.radians(15.0))
    return pivot, box


def build_blob():
    bpy.ops.mesh.primitive_uv_sphere_add(segments=12, ring_count=8, radius=0.5,
                                         location=(0.0, 2.0, 1.0))
    blob = bpy.context.active_object
    blob.name = "Blob"
    blob.data.name = "BlobMesh"
    # Smooth and without UVs, so that no exporter splits its vertices.
    bpy.ops.object.shade_smooth()
    while blob.data.uv_layers:
        blob.data.uv_layers.remove(blob.data.uv_layers[0])
    blob.shape_key_add(name="Basis")
    puff = blob.shape_key_add(name="Puff", from_mix=False)
    for v in puff.data:
        co = Vector(v.co)
        # Swell the upper half and stretch it up: not a uniform scale.
        if co.z > 0.0:
            v.co = Vector((co.x * 1.4, co.y * 1.4, co.z * 1.8))
    for frame, value in ((0, 0.0), (8, 1.0), (16, 0.25)):
        puff.value = value
        puff.keyframe_insert("value", frame=frame)
    return blob


def build_camera_and_light():
    cam = link(bpy.data.objects.new("Cam", bpy.data.cameras.new("CamData")))
    cam.data.lens = 35.0
    for frame, loc in ((0, (0.0, -8.0, 2.0)), (16, (3.0, -7.0, 3.0))):
        cam.location = loc
        cam.rotation_euler = (math.radians(80.0), 0.0, math.radians(frame * 1.5))
        cam.keyframe_insert("location", frame=frame)
        cam.keyframe_insert("rotation_euler", frame=frame)
    bpy.context.scene.camera = cam

    lamp_data = bpy.data.lights.new("LampData", type='POINT')
    lamp_data.color = (1.0, 0.9, 0.7)
    lamp_data.energy = 500.0
    lamp = link(bpy.data.objects.new("Lamp", lamp_data))
    lamp.location = (2.0, -3.0, 4.0)
    return cam, lamp


def to_file_axes(v):
    """Blender's Z-up point in the exported files' Y-up axes (up Y, forward -Z)."""
    return (v.x, v.z, -v.y)


def r6(x):
    return float("%.6f" % x) + 0.0  # + 0.0 turns -0.0 into 0.0


def expected_data(scene, meshes, others):
    data = {
        "fps": FPS,
        "first_frame": scene.frame_start,
        "last_frame": scene.frame_end,
        "unit": "m",
        "axes": "points are in the files' Y-up axes: (x, y, z) of Blender's Z-up "
                "world is (x, z, -y) here; an MDD point is (x, y, -z) of these",
        "meshes": {},
        "locations": {},
    }
    for obj in meshes:
        mesh = obj.data
        data["meshes"][obj.name] = {
            "vertex_count": len(mesh.vertices),
            "polygons": [list(p.vertices) for p in mesh.polygons],
            "polygon_materials": [mesh.materials[p.material_index].name
                                  if mesh.materials else "" for p in mesh.polygons],
            "frames": [],
        }
    for obj in others:
        data["locations"][obj.name] = []
    for frame in range(scene.frame_start, scene.frame_end + 1):
        scene.frame_set(frame)
        depsgraph = bpy.context.evaluated_depsgraph_get()
        for obj in meshes:
            ev = obj.evaluated_get(depsgraph)
            me = ev.to_mesh()
            if len(me.vertices) != len(obj.data.vertices):
                raise RuntimeError("%s changed its vertex count" % obj.name)
            pts = []
            for v in me.vertices:
                pts.extend(r6(c) for c in to_file_axes(ev.matrix_world @ v.co))
            ev.to_mesh_clear()
            data["meshes"][obj.name]["frames"].append(pts)
        for obj in others:
            ev = obj.evaluated_get(depsgraph)
            loc = ev.matrix_world.translation
            data["locations"][obj.name].append([r6(c) for c in to_file_axes(loc)])
    return data


def fbx_ascii_value(kind, value):
    if kind == b'S':
        text = value.decode("utf-8")
        if "\x00\x01" in text:  # "Name\0\1Class" is "Class::Name" in ASCII files
            name, cls = text.split("\x00\x01", 1)
            text = cls + "::" + name
        return '"%s"' % text
    if kind == b'C':
        return "T" if value else "F"
    if kind in (b'D', b'F'):
        return repr(float(value))
    return str(int(value))


def write_fbx_ascii_node(f, elem, depth):
    tab = "\t" * depth
    name = elem.id.decode("ascii")
    array_kinds = {b'd': b'D', b'f': b'F', b'i': b'I', b'l': b'L', b'b': b'C'}
    kinds = [bytes([k]) for k in elem.props_type]
    if len(elem.props) == 1 and kinds[0] in array_kinds:
        kind, values = array_kinds[kinds[0]], elem.props[0]
        f.write("%s%s: *%d {\n" % (tab, name, len(values)))
        f.write("%s\ta: %s\n" % (tab, ",".join(fbx_ascii_value(kind, v) for v in values)))
        f.write("%s}\n" % tab)
        return
    props = ", ".join(fbx_ascii_value(k, v) for k, v in zip(kinds, elem.props))
    # Sections and the objects in them always have a scope, empty or not.
    if elem.elems or not elem.props or depth <= 1:
        f.write("%s%s: %s {\n" % (tab, name, props))
        for child in elem.elems:
            write_fbx_ascii_node(f, child, depth + 1)
        f.write("%s}\n" % tab)
    else:
        f.write("%s%s: %s\n" % (tab, name, props))


def write_fbx_ascii(binary_path, ascii_path):
    """The same FBX node tree as text: the numbers, the vertex order and the
    animation curves are those of the binary file."""
    from io_scene_fbx import parse_fbx

    root, version = parse_fbx.parse(binary_path)
    with open(ascii_path, "w") as f:
        f.write("; FBX %d.%d.0 project file\n" % (version // 1000, version % 1000 // 100))
        f.write("; Written from %s by make_dcc_scenes.py\n\n" % os.path.basename(binary_path))
        for elem in root.elems:
            if elem.id != b"FileId":  # raw bytes of the binary header only
                write_fbx_ascii_node(f, elem, 0)


def export_all(scene, out):
    scene.frame_set(FIRST_FRAME)
    fbx_common = dict(axis_forward='-Z', axis_up='Y', use_selection=False,
                      add_leaf_bones=False, bake_anim=True, bake_anim_use_all_bones=True,
                      bake_anim_use_nla_strips=False, bake_anim_use_all_actions=False,
                      bake_anim_force_startend_keying=True, bake_anim_step=1.0,
                      bake_anim_simplify_factor=0.0, mesh_smooth_type='OFF',
                      use_mesh_modifiers=False, primary_bone_axis='Y',
                      secondary_bone_axis='X', apply_unit_scale=True)
    # UnitScaleFactor 100: the numbers are metres.
    bpy.ops.export_scene.fbx(filepath=os.path.join(out, "rig_m.fbx"),
                             apply_scale_options='FBX_SCALE_ALL', **fbx_common)
    # UnitScaleFactor 1: the numbers are centimetres (Blender's default export).
    scene.frame_set(FIRST_FRAME)
    bpy.ops.export_scene.fbx(filepath=os.path.join(out, "rig_cm.fbx"),
                             apply_scale_options='FBX_SCALE_NONE', **fbx_common)
    write_fbx_ascii(os.path.join(out, "rig_m.fbx"), os.path.join(out, "rig_m_ascii.fbx"))
    scene.frame_set(FIRST_FRAME)
    bpy.ops.export_scene.gltf(filepath=os.path.join(out, "rig.glb"), export_format='GLB',
                              export_yup=True, export_apply=False, export_animations=True,
                              export_frame_range=True, export_force_sampling=True,
                              export_nla_strips=False, export_skins=True, export_morph=True,
                              export_cameras=True, export_lights=True)
    # Collada keeps Blender's own axes and says so (<up_axis>Z_UP</up_axis>);
    # readers turn it Y-up the same way as the other files are.
    scene.frame_set(FIRST_FRAME)
    bpy.ops.wm.collada_export(filepath=os.path.join(out, "rig.dae"), apply_modifiers=False,
                              include_armatures=True, include_shapekeys=False,
                              include_animations=True, sampling_rate=1, triangulate=False,
                              deform_bones_only=True)
    scene.frame_set(FIRST_FRAME)
    # OBJ keeps no animation: it holds frame 0, the rig's rest pose.
    bpy.ops.wm.obj_export(filepath=os.path.join(out, "rig.obj"), export_animation=False,
                          forward_axis='NEGATIVE_Z', up_axis='Y', apply_modifiers=True,
                          export_eval_mode='DAG_EVAL_VIEWPORT', export_uv=False,
                          export_normals=False, export_materials=True,
                          export_triangulated_mesh=False)


def cube(name, size, parent, location):
    mesh = bpy.data.meshes.new(name + "Mesh")
    bm = bmesh.new()
    bmesh.ops.create_cube(bm, size=size)
    bm.to_mesh(mesh)
    bm.free()
    obj = link(bpy.data.objects.new(name, mesh))
    obj.parent = parent
    obj.location = location
    return obj


def build_eased():
    """Keys only where the artist set them, on Blender's default curves (Bezier
    keys with automatic handles): the Pivot eases in and out between frames 1
    and 10, the Hopper passes a middle key on its way from frame 1 to 8.
    (Blender's Collada exporter writes every key as a Bezier key, constant
    and linear ones too, so those would not show what Blender plays.)"""
    pivot = link(bpy.data.objects.new("Pivot", None))
    for frame, loc, rot, scale in ((1, (0.0, 0.0, 0.0), (0.0, 0.0, 0.0), 1.0),
                                   (10, (2.0, 1.0, 0.5), (30.0, 0.0, 90.0), 1.5)):
        pivot.location = loc
        pivot.rotation_euler = [math.radians(a) for a in rot]
        pivot.scale = (scale, scale, scale)
        for path in ("location", "rotation_euler", "scale"):
            pivot.keyframe_insert(path, frame=frame)
    box = cube("Box", 0.5, pivot, (0.6, 0.0, 0.0))

    hopper = link(bpy.data.objects.new("Hopper", None))
    for frame, loc, rot in ((1, (-1.0, 0.0, 0.0), (0.0, 0.0, 0.0)),
                            (4, (-1.0, 0.0, 1.0), (45.0, 20.0, 0.0)),
                            (8, (-2.0, 0.5, 1.0), (90.0, 40.0, 0.0))):
        hopper.location = loc
        hopper.rotation_euler = [math.radians(a) for a in rot]
        hopper.keyframe_insert("location", frame=frame)
        hopper.keyframe_insert("rotation_euler", frame=frame)
    crate = cube("Crate", 0.4, hopper, (0.0, 0.5, 0.0))
    return pivot, box, hopper, crate


def export_eased(scene, out):
    scene.frame_set(scene.frame_start)
    bpy.ops.wm.collada_export(filepath=os.path.join(out, "eased.dae"), apply_modifiers=False,
                              include_animations=True, export_animation_type_selection='keys',
                              keep_smooth_curves=True, keep_keyframes=True,
                              keep_flat_curves=False, triangulate=False,
                              export_animation_transformation_type_selection='decomposed')


def build_duplicated_rig():
    """Two copies of the rig: the same bone names (Upper, Lower) in two
    armatures, the copy 2.5 m along X with motion of its own."""
    rigged_limb("Rig", "Limb", (0.0, 0.0, 0.0),
                {0: (0.0, 0.0), 8: (25.0, 70.0), 16: (-15.0, 100.0)}, 0.5)
    rig2, limb2 = rigged_limb("Rig.001", "Limb.001", (2.5, 0.0, 0.0),
                              {0: (10.0, -20.0), 8: (-40.0, 30.0), 16: (35.0, -80.0)}, -0.75)
    return [bpy.data.objects["Limb"], limb2]


def export_duplicated_rig(scene, out):
    scene.frame_set(scene.frame_start)
    bpy.ops.export_scene.gltf(filepath=os.path.join(out, "dup.glb"), export_format='GLB',
                              export_yup=True, export_apply=False, export_animations=True,
                              export_frame_range=True, export_force_sampling=True,
                              export_nla_strips=False, export_skins=True, export_morph=True)
    scene.frame_set(scene.frame_start)
    bpy.ops.wm.collada_export(filepath=os.path.join(out, "dup.dae"), apply_modifiers=False,
                              include_armatures=True, include_animations=True, sampling_rate=1,
                              triangulate=False, deform_bones_only=True)


def build_squash():
    """Squash and stretch: the Body bone scales unevenly (wide and flat, then
    narrow and tall) while the Head bone above it turns; Head inherits only
    the average of Body's scale, as squash-and-stretch rigs set it, so its
    matrix relative to Body shears. A tube (Jelly) is skinned to both."""
    arm_data = bpy.data.armatures.new("SquashData")
    rig = link(bpy.data.objects.new("Squash", arm_data))
    select_only([rig], rig)
    bpy.ops.object.mode_set(mode='EDIT')
    body = arm_data.edit_bones.new("Body")
    body.head, body.tail = (0.0, 0.0, 0.0), (0.0, 0.0, 1.0)
    head = arm_data.edit_bones.new("Head")
    head.head, head.tail = (0.0, 0.0, 1.0), (0.0, 0.0, 2.0)
    head.parent = body
    head.use_connect = True
    head.inherit_scale = 'AVERAGE'
    bpy.ops.object.mode_set(mode='OBJECT')
    jelly = link(bpy.data.objects.new("Jelly", limb_mesh()))
    select_only([jelly, rig], rig)
    bpy.ops.object.parent_set(type='ARMATURE_AUTO')
    for frame, (wide, tall, turn) in {0: (1.0, 1.0, 0.0), 8: (1.6, 0.5, 40.0),
                                      16: (0.7, 1.5, -30.0)}.items():
        pb = rig.pose.bones["Body"]
        pb.scale = (wide, tall, wide)  # a bone's length runs along its Y
        pb.keyframe_insert("scale", frame=frame)
        ph = rig.pose.bones["Head"]
        ph.rotation_mode = 'XYZ'
        ph.rotation_euler = (math.radians(turn), 0.0, math.radians(turn * 0.5))
        ph.keyframe_insert("rotation_euler", frame=frame)
    return [jelly]


def export_squash(scene, out):
    scene.frame_set(scene.frame_start)
    bpy.ops.wm.collada_export(filepath=os.path.join(out, "squash.dae"), apply_modifiers=False,
                              include_armatures=True, include_animations=True, sampling_rate=1,
                              triangulate=False, deform_bones_only=True)


def shape_sphere(name, location):
    bpy.ops.mesh.primitive_uv_sphere_add(segments=12, ring_count=8, radius=0.5,
                                         location=location)
    obj = bpy.context.active_object
    obj.name = name
    obj.data.name = name + "Mesh"
    bpy.ops.object.shade_smooth()
    while obj.data.uv_layers:
        obj.data.uv_layers.remove(obj.data.uv_layers[0])
    obj.shape_key_add(name="Basis")
    return obj


def build_shapes():
    """Shape keys beyond 0..1 both ways: Blob's Puff is keyed -0.7, 1.3 and
    -0.4 (its Dent stays at -0.5); Dish's Dent is -0.6, not animated."""
    blob = shape_sphere("Blob", (0.0, 0.0, 1.0))
    puff = blob.shape_key_add(name="Puff", from_mix=False)
    dent = blob.shape_key_add(name="Dent", from_mix=False)
    for p, d in zip(puff.data, dent.data):
        co = Vector(p.co)
        if co.z > 0.0:
            p.co = Vector((co.x * 1.4, co.y * 1.4, co.z * 1.8))
        d.co = Vector((co.x, co.y + 0.3 * max(co.x, 0.0), co.z))
    for key in (puff, dent):
        key.slider_min = -1.0
        key.slider_max = 2.0
    dent.value = -0.5
    for frame, value in ((0, -0.7), (8, 1.3), (16, -0.4)):
        puff.value = value
        puff.keyframe_insert("value", frame=frame)
    dish = shape_sphere("Dish", (1.5, 0.0, 1.0))
    cup = dish.shape_key_add(name="Dent", from_mix=False)
    for d in cup.data:
        co = Vector(d.co)
        d.co = Vector((co.x, co.y, co.z - 0.4 * (co.x * co.x + co.y * co.y)))
    cup.slider_min = -1.0
    cup.value = -0.6
    return [blob, dish]


def export_shapes(scene, out):
    scene.frame_set(scene.frame_start)
    bpy.ops.export_scene.gltf(filepath=os.path.join(out, "shapes.glb"), export_format='GLB',
                              export_yup=True, export_apply=False, export_animations=True,
                              export_frame_range=True, export_force_sampling=True,
                              export_nla_strips=False, export_morph=True)


def mesh_object(name, verts, edges, faces, location=(0.0, 0.0, 0.0)):
    mesh = bpy.data.meshes.new(name + "Mesh")
    mesh.from_pydata(verts, edges, faces)
    mesh.update()
    obj = link(bpy.data.objects.new(name, mesh))
    obj.location = location
    return obj


def build_loose():
    """Meshes with vertices no polygon uses: Frame is a cube with four loose
    vertices and a wire of six vertices on edges alone (18 vertices, 8 in
    polygons); Wire has edges and a loose vertex but no polygon; Dots has
    vertices only; Plate is a plain quad."""
    cube = [(x, y, z) for x in (-0.5, 0.5) for y in (-0.5, 0.5) for z in (0.0, 1.0)]
    loose = [(1.0, 0.0, 0.0), (1.0, 0.5, 0.2), (-1.0, 0.3, 0.8), (0.0, -1.0, 1.5)]
    wire = [(0.2 * i, 0.8, 1.2 + 0.1 * i * i) for i in range(6)]
    # The loose and wire vertices lie between the cube's in the vertex order.
    verts = cube[:4] + loose[:2] + wire + cube[4:] + loose[2:]
    c = [0, 1, 2, 3, 12, 13, 14, 15]  # the cube's corners among them
    faces = [(c[0], c[1], c[3], c[2]), (c[4], c[6], c[7], c[5]), (c[0], c[4], c[5], c[1]),
             (c[2], c[3], c[7], c[6]), (c[0], c[2], c[6], c[4]), (c[1], c[5], c[7], c[3])]
    edges = [(6 + i, 7 + i) for i in range(5)]
    frame = mesh_object("Frame", verts, edges, faces, (0.0, 0.0, 0.0))
    wire_obj = mesh_object("Wire", [(0, 0, 0), (1, 0, 0), (0.5, 0.8, 0), (2, 0, 0.5),
                                     (2, 1, 0.5), (1.5, 0.5, 1.0)],
                           [(0, 1), (1, 2), (2, 0), (3, 4)], [], (0.0, 2.5, 0.0))
    dots = mesh_object("Dots", [(0, 0, 0), (0.3, 0.1, 0.2), (-0.2, 0.4, 0.6)], [], [],
                       (-2.0, 0.0, 0.5))
    plate = mesh_object("Plate", [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)], [],
                        [(0, 1, 2, 3)], (2.0, -2.0, 0.0))
    return [frame, wire_obj, dots, plate]


def export_loose(scene, out):
    scene.frame_set(scene.frame_start)
    bpy.ops.wm.obj_export(filepath=os.path.join(out, "loose.obj"), export_animation=False,
                          forward_axis='NEGATIVE_Z', up_axis='Y', apply_modifiers=True,
                          export_eval_mode='DAG_EVAL_VIEWPORT', export_uv=False,
                          export_normals=False, export_materials=False,
                          export_triangulated_mesh=False)


def build_lens():
    """A camera whose lens zooms from 35 mm to 85 mm and a spot light whose
    colour turns from orange to blue (energy 1 W, so that the colour Blender's
    Collada exporter writes, colour times energy, is the colour itself)."""
    cam = link(bpy.data.objects.new("Cam", bpy.data.cameras.new("CamData")))
    cam.location = (0.0, -6.0, 1.5)
    cam.rotation_euler = (math.radians(80.0), 0.0, 0.0)
    for frame, lens in ((0, 35.0), (10, 85.0), (16, 50.0)):
        cam.data.lens = lens
        cam.data.keyframe_insert("lens", frame=frame)
    lamp_data = bpy.data.lights.new("LampData", type='SPOT')
    lamp_data.energy = 1.0
    lamp = link(bpy.data.objects.new("Lamp", lamp_data))
    lamp.location = (2.0, -3.0, 4.0)
    for frame, rgb in ((0, (1.0, 0.5, 0.1)), (8, (0.2, 0.9, 0.3)), (16, (0.1, 0.4, 1.0))):
        lamp_data.color = rgb
        lamp_data.keyframe_insert("color", frame=frame)
    return cam, lamp


def export_lens(scene, out):
    scene.frame_set(scene.frame_start)
    bpy.ops.wm.collada_export(filepath=os.path.join(out, "lens.dae"), include_animations=True,
                              sampling_rate=1)


def lens_expected(scene, cam, lamp):
    """The camera's horizontal angle (degrees) and the light's colour, per frame."""
    data = {"fps": FPS, "first_frame": scene.frame_start, "last_frame": scene.frame_end,
            "cameras": {cam.name: {"xfov": []}}, "lights": {lamp.name: {"color": []}}}
    for frame in range(scene.frame_start, scene.frame_end + 1):
        scene.frame_set(frame)
        data["cameras"][cam.name]["xfov"].append(r6(math.degrees(cam.data.angle_x)))
        data["lights"][lamp.name]["color"].append([r6(c * lamp.data.energy)
                                                   for c in lamp.data.color])
    return data


def write_json(data, path):
    with open(path, "w") as f:
        json.dump(data, f, separators=(",", ":"))
        f.write("\n")


def main():
    out = out_dir()
    os.makedirs(out, exist_ok=True)
    scene = clear_scene()
    rig, limb = build_rig()
    pivot, box = build_box()
    blob = build_blob()
    cam, lamp = build_camera_and_light()
    export_all(scene, out)
    write_json(expected_data(scene, [limb, box, blob], [pivot, cam, lamp]),
               os.path.join(out, "rig_expected.json"))

    # Frame 0 and frames 11, 12 lie outside the keys: the curves hold there.
    scene = clear_scene(0, 12)
    pivot, box, hopper, crate = build_eased()
    export_eased(scene, out)
    write_json(expected_data(scene, [box, crate], [pivot, hopper]),
               os.path.join(out, "eased_expected.json"))

    scene = clear_scene()
    limbs = build_duplicated_rig()
    export_duplicated_rig(scene, out)
    write_json(expected_data(scene, limbs, []), os.path.join(out, "dup_expected.json"))

    scene = clear_scene()
    jelly = build_squash()
    export_squash(scene, out)
    write_json(expected_data(scene, jelly, []), os.path.join(out, "squash_expected.json"))

    scene = clear_scene()
    spheres = build_shapes()
    export_shapes(scene, out)
    write_json(expected_data(scene, spheres, []), os.path.join(out, "shapes_expected.json"))

    scene = clear_scene(0, 0)
    meshes = build_loose()
    export_loose(scene, out)
    write_json(expected_data(scene, meshes, []), os.path.join(out, "loose_expected.json"))

    scene = clear_scene()
    cam, lamp = build_lens()
    export_lens(scene, out)
    write_json(lens_expected(scene, cam, lamp), os.path.join(out, "lens_expected.json"))


main()
