// Node metadata (glTF extras, FBX user properties) as parameter values: a
// key that names one of an item's parameters, or of a light's shader, sets
// it. Numbers come from numeric entries, "true"/"false" or numeric text;
// colours from vectors (alpha 1) or a text of three or four numbers.
#pragma once

#include <string>

struct aiMetadata;

namespace host {

class Item;

// A number of text: optional blanks and '+', "true" (1) or "false" (0).
bool ParseNumber(const std::string& text, double* out);

// Sets the item's parameters that the metadata names; values that do not
// fit a parameter are skipped.
void ApplyNodeMetadata(const aiMetadata* md, Item* item);

} // namespace host
