// Reading a Collada document's elements: ids as URLs and number lists.
#pragma once

#include "host/import/FileMeshes.h"

#include <pugixml.hpp>

#include <charconv>
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

} // namespace host
