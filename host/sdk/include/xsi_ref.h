// CRef: a reference to any host object. A reference holds the object's class
// id and a handle that only the host interprets; an empty reference has class
// id siUnknownClassID.
#pragma once

#include "xsi_decl.h"

namespace XSI {

class CString;

class CRef {
  public:
    CRef() = default;

    siClassID GetClassID() const { return m_classID; }
    bool IsValid() const { return m_object != nullptr; }
    bool IsA(siClassID in_id) const { return m_classID == in_id; }
    // The full name of the referenced object ("" for an empty reference).
    CString GetAsText() const;

    bool operator==(const CRef& in) const {
        return m_classID == in.m_classID && m_object == in.m_object;
    }
    bool operator!=(const CRef& in) const { return !(*this == in); }

    // Host side: build a reference to a host object, and read it back.
    static CRef FromHost(siClassID in_id, void* in_object) {
        CRef r;
        r.m_classID = in_object ? in_id : siUnknownClassID;
        r.m_object = in_object;
        return r;
    }
    void* GetHostObject() const { return m_object; }

  private:
    siClassID m_classID = siUnknownClassID;
    void* m_object = nullptr;
};

} // namespace XSI
