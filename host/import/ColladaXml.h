// Reading a Collada document's elements: ids as URLs and number lists.
#pragma once

#include "host/import/FileMeshes.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <type_traits>
#include <map>
#include <string>
#include <vector>

namespace host {

// The document's elements by id.
inline std::map<std::string, pugi::xml_node> ColladaIds(const pugi::xml_document& doc) {
    std::map<std::string, pugi::xml_node> ids;
    for (const pugi::xpath_node& x : doc.select_nodes("//*[@id]")) {
        ids.emplace(x.node().attribute("id").value(), x.node());
    }
    return ids;
}

// The element of an id given as a URL ("#id") among the document's ids.
inline pugi::xml_node ByUrl(const std::map<std::string, pugi::xml_node>& ids, const char* url) {
    if (!url || url[0] != '#') {
        return {};
    }
    auto it = ids.find(url + 1);
    return it == ids.end() ? pugi::xml_node() : it->second;
}

// The next word of a text at p, split at white space: [*begin, *end); false
// at the end of the text.
inline bool NextWord(const char** p, const char** begin, const char** end) {
    const char* q = *p;
    while (*q == ' ' || *q == '\t' || *q == '\n' || *q == '\r') {
        ++q;
    }
    if (!*q) {
        return false;
    }
    const char* e = q;
    while (*e && *e != ' ' && *e != '\t' && *e != '\n' && *e != '\r') {
        ++e;
    }
    *begin = q;
    *end = e;
    *p = e;
    return true;
}

// The words of an element's text.
inline std::vector<std::string> Words(const pugi::xml_node& node) {
    std::vector<std::string> out;
    const char* p = node.child_value();
    const char* b = nullptr;
    const char* e = nullptr;
    while (NextWord(&p, &b, &e)) {
        out.emplace_back(b, e);
    }
    return out;
}

// The numbers of an element's text; throws FileMeshError, its message
// starting with `what`, for a word that is no number.
template <class T> std::vector<T> Numbers(const pugi::xml_node& node, const std::string& what) {
    std::vector<T> out;
    const char* p = node.child_value();
    const char* b = nullptr;
    const char* e = nullptr;
    while (NextWord(&p, &b, &e)) {
        T v{};
        const auto res = std::from_chars(*b == '+' ? b + 1 : b, e, v);
        if (res.ec != std::errc() || res.ptr != e) {
            throw FileMeshError(what + "<" + node.name() + "> holds text that is no number");
        }
        out.push_back(v);
    }
    return out;
}

// A <source>'s items: count items of stride values (numbers or names).
template <class T> struct SourceItems {
    size_t count = 0;
    size_t stride = 1;
    std::vector<T> values; // count * stride
};

// The items of the <source> an <input> names, read from its array
// (float_array, Name_array, IDREF_array ...) through its accessor. Throws
// FileMeshError, its message starting with `what`, for a missing or short
// array or items wider than 16 values.
template <class T>
SourceItems<T> ReadSource(const std::map<std::string, pugi::xml_node>& ids,
                          const pugi::xml_node& input, const char* array, const std::string& what) {
    const std::string semantic = input.attribute("semantic").value();
    const pugi::xml_node source = ByUrl(ids, input.attribute("source").value());
    const pugi::xml_node data = source.child(array);
    if (!data) {
        throw FileMeshError(what + "its " + semantic + " names no <" + array + ">");
    }
    std::vector<T> all;
    if constexpr (std::is_same_v<T, std::string>) {
        all = Words(data);
    } else {
        all = Numbers<T>(data, what);
    }
    const pugi::xml_node accessor = source.child("technique_common").child("accessor");
    SourceItems<T> out;
    out.stride = accessor.attribute("stride").as_uint(1);
    const size_t offset = accessor.attribute("offset").as_uint(0);
    if (out.stride < 1 || out.stride > 16) {
        throw FileMeshError(what + "its " + semantic + " has items of " +
                            std::to_string(out.stride) + " values");
    }
    out.count = accessor.attribute("count").as_uint(
        static_cast<unsigned>((all.size() - std::min(offset, all.size())) / out.stride));
    if (offset > all.size() || out.count > (all.size() - offset) / out.stride) {
        throw FileMeshError(what + "its " + semantic + " is shorter than its accessor says");
    }
    out.values.assign(all.begin() + offset, all.begin() + offset + out.count * out.stride);
    return out;
}

} // namespace host
