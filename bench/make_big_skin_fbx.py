"""Turns the skinned sheet of make_big_skin.py into an FBX file, in Blender,
for timing the load of the same scene from a file another package wrote.

    python3 bench/make_big_skin.py /tmp/sheet.glb 200000
    blender -b --factory-startup --python bench/make_big_skin_fbx.py -- /tmp/sheet.glb /tmp/sheet.fbx
"""

import sys

import bpy
import numpy as np

# Blender 3.4's glTF importer still uses an alias newer numpy dropped.
if not hasattr(np, "bool"):
    np.bool = bool

src, dst = sys.argv[sys.argv.index("--") + 1:][:2]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=src)
bpy.ops.export_scene.fbx(filepath=dst, bake_anim=True)
