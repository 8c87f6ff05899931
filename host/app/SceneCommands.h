// The host commands that work on the scene:
//
//   "SelectObj" (name): selects the item whose full name is the text, else
//     the only item whose short name it is. An argument holding a reference
//     to a scene item selects that item. When nothing matches (no item, an
//     ambiguous short name, no scene, no argument) the selection becomes
//     empty, a warning naming the text is logged, and the command returns
//     InvalidArgument.
//   "ExportModel" (name, path): writes the named mesh item's model file
//     (ModelFile.h) at the current frame. When the item is missing or not a
//     mesh, or the path is empty, logs an error and returns InvalidArgument;
//     when the file cannot be written, logs an error naming the path and
//     returns Fail.
#pragma once

namespace host {

class HostApp;

void RegisterSceneCommands(HostApp& app);

} // namespace host
