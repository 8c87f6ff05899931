// The SDK reference to a scene object: the object's class id and its
// address, which the SDK classes read back (see host/sdk/src/SceneRefs.h).
// A null object gives the empty reference.
#pragma once

#include <xsi_ref.h>

namespace host {

class Item;
class Param;
class LightShader;

XSI::CRef RefOf(const Item* item);
XSI::CRef RefOf(const Param* param);
XSI::CRef RefOf(const LightShader* shader);

} // namespace host
