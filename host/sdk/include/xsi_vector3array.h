// MATH::CVector3Array: an array of 3-D vectors, laid out as consecutive
// x, y, z doubles.
//
// An array is a value: a copy never sees later changes of the original, nor
// the original those of the copy. Copies share their storage until one of
// them is changed (copy on write), so handing out a large array, such as the
// rest points of a mesh, costs no copy of the points. Read-only access
// (const operator[], const GetArray) never copies. Once an element has been
// handed out for writing (non-const operator[] or GetArray), the array keeps
// its storage to itself and later copies of it copy the elements, as a
// plain vector would. Arrays sharing storage must not be used from several
// threads at once.
#pragma once

#include "xsi_vector3.h"

#include <memory>

namespace XSI {
namespace MATH {

class CVector3Array {
  public:
    CVector3Array() = default;
    // in_size vectors (0, 0, 0).
    explicit CVector3Array(LONG in_size);
    CVector3Array(const CVector3Array& in_array);
    CVector3Array(CVector3Array&& in_array) noexcept;
    CVector3Array& operator=(const CVector3Array& in_array);
    CVector3Array& operator=(CVector3Array&& in_array) noexcept;
    ~CVector3Array() = default;

    LONG GetCount() const { return m_count; }
    const CVector3& operator[](LONG in_index) const { return m_items[in_index]; }
    CVector3& operator[](LONG in_index) { return Writable()[in_index]; }
    // New vectors are (0, 0, 0).
    void Resize(LONG in_size);
    void Add(const CVector3& in);
    const CVector3* GetArray() const { return m_items; }
    CVector3* GetArray() { return Writable(); }

    // Host side: the in_count vectors at in_items, owned by in_owner, shared
    // without a copy. They are never written while in_owner has other
    // holders: a write copies them first.
    static CVector3Array Share(std::shared_ptr<const void> in_owner, const CVector3* in_items,
                               LONG in_count) {
        CVector3Array out;
        if (in_count > 0) {
            out.m_storage = std::move(in_owner);
            out.m_items = const_cast<CVector3*>(in_items);
            out.m_count = in_count;
            out.m_capacity = in_count;
        }
        return out;
    }

  private:
    // An array of in_size vectors written in one pass by
    // in_fill(CVector3* out), which must construct every one of
    // out[0 .. in_size - 1] (e.g. with placement new); the storage is not
    // initialised before. The result shares its storage with its copies.
    template <class Fill> static CVector3Array Build(LONG in_size, Fill&& in_fill) {
        CVector3Array out;
        if (in_size > 0) {
            out.Reallocate(in_size);
            in_fill(out.m_items);
            out.m_count = in_size;
        }
        return out;
    }
    CVector3* Writable() {
        if (!m_writable) {
            MakeWritable();
        }
        return m_items;
    }
    // Takes a storage of its own if the current one is shared, and from then
    // on keeps it to itself.
    void MakeWritable();
    bool IsShared() const { return m_storage.use_count() > 1; }
    // Moves to a new, uninitialised storage of in_capacity vectors that holds
    // a copy of the first min(count, in_capacity) vectors.
    void Reallocate(LONG in_capacity);

    // Owns m_items (the start of its storage).
    std::shared_ptr<const void> m_storage;
    CVector3* m_items = nullptr;
    LONG m_count = 0;
    LONG m_capacity = 0;
    // Elements may be referred to for writing: the storage is not shared
    // and copies must not share it.
    bool m_writable = false;
};

} // namespace MATH
} // namespace XSI
