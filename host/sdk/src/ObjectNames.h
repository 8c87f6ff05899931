// Names of host objects that are not scene objects (the application, a
// plug-in registrar, a plug-in item, a command, ...). SIObject::GetName,
// PutName and GetFullName use the accessor registered for the reference's
// class id; without one the name reads "" and PutName fails with NotImpl.
// The full name of such an object is its name.
#pragma once

#include <xsi_decl.h>

#include <functional>
#include <string>

namespace host {

struct NameAccessor {
    std::function<std::wstring(const void* object)> get;
    // Returns false to refuse the name.
    std::function<bool(void* object, const std::wstring& name)> put;
};

void SetNameAccessor(XSI::siClassID id, NameAccessor accessor);
const NameAccessor* GetNameAccessor(XSI::siClassID id);

} // namespace host
