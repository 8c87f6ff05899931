// The animations of a Collada file as one timeline.
//
// A Collada file's <animation> elements all play at once, on the file's one
// timeline; only <animation_clip> elements cut it into separate animations.
// Assimp 5.2 nevertheless hands a file without clips over as several
// animations: the <animation>s that animate one target each are combined
// into one, and every other <animation> stays an animation of its own. As
// Blender writes one <animation> per object, a rig's bone channels end up in
// an animation apart from those of the other objects, and playing only one
// animation leaves either the skin's joints or the rest of the scene still.
#pragma once

#include <string>

struct aiScene;

namespace host {

// Whether the text is a Collada document whose animations form one timeline
// (no animation clips).
bool IsColladaTimelineText(const std::string& text);

// The same for the file at path; false for a file that cannot be read or is
// not a Collada text (a zipped .zae file among them).
bool IsColladaTimelineFile(const std::string& path);

// Makes the scene's animations one: the first one gets the channels of all
// of them and the longest duration, the others are deleted. Only done, and
// then true, when there are several animations, all with the same ticks per
// second, and no node or mesh is animated by two of them; otherwise the
// scene is left as it is and the result is false.
bool JoinAnimations(aiScene* scene);

} // namespace host
