// Identity inverse bind matrices for the skins of a glTF file that have
// none.
//
// A glTF skin may leave out its inverse bind matrices: each joint's is then
// the identity. Assimp 5.2 reads a skinned mesh's matrices without looking
// whether the skin has any, and crashes on one that has none. The importer
// hands Assimp the file with such skins given identities: one more buffer,
// a base64 "data:" uri of identity matrices, a view of it, and an accessor
// per skin. Every index the file has keeps what it names.
#pragma once

#include "host/import/GltfSteps.h"

#include <string>
#include <string_view>
#include <vector>

namespace host {

// The bytes of the glTF file `file` (JSON text or binary glTF) with the
// skins `bare` (as ReadGltfFacts lists them) given identity matrices. False,
// with a one-line reason in `problem`, when the file cannot be rewritten
// (its JSON cannot be read whole, or a binary file's JSON chunk is not
// padded as binary glTF requires).
bool GiveIdentityBindMatrices(std::string_view file, const std::vector<GltfBareSkin>& bare,
                              std::string* out, std::string* problem);

} // namespace host
