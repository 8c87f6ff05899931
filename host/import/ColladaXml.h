// Reading a Collada document's elements: ids as URLs and number lists.
#pragma once

#include "host/import/FileMeshes.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace host {

// The most inputs a primitive or a skin's vertex weights interleave: their
// offsets lie below it.
constexpr size_t kMaxInputs = 1000;

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

// The arrays of a document, each parsed once however many <source>s,
// samplers and channels read it: a file that names one array from many
// places costs its numbers once.
class ColladaArrays {
  public:
    // The numbers (double) or words (std::string) of an array element.
    template <class T>
    std::shared_ptr<const std::vector<T>> Of(const pugi::xml_node& data, const std::string& what) {
        auto& cache = Cache<T>();
        auto it = cache.find(data.internal_object());
        if (it == cache.end()) {
            std::vector<T> all;
            if constexpr (std::is_same_v<T, std::string>) {
                all = Words(data);
            } else {
                all = Numbers<T>(data, what);
            }
            it = cache
                     .emplace(data.internal_object(),
                              std::make_shared<const std::vector<T>>(std::move(all)))
                     .first;
        }
        return it->second;
    }

  private:
    template <class T> auto& Cache() {
        if constexpr (std::is_same_v<T, std::string>) {
            return m_words;
        } else {
            return m_numbers;
        }
    }
    std::map<const void*, std::shared_ptr<const std::vector<double>>> m_numbers;
    std::map<const void*, std::shared_ptr<const std::vector<std::string>>> m_words;
};

// A <source>'s items: count items of stride values (numbers or names), the
// values [first, first + count * stride) of its array, which the items share
// with every other reader of it.
template <class T> struct SourceItems {
    size_t count = 0;
    size_t stride = 1;
    size_t first = 0;
    std::shared_ptr<const std::vector<T>> all;

    const T& operator[](size_t i) const { return (*all)[first + i]; }
    const T* data() const { return all->data() + first; }
};

// An attribute's text for a message: at most 40 characters of it.
inline std::string Clipped(const char* text) {
    const std::string all(text);
    return all.size() <= 40 ? all : all.substr(0, 40) + "...";
}

// A count, offset or stride attribute of an element: absent, the fallback;
// anything but a whole number from 0 to `most` is refused with one line
// naming the element, the attribute and its text.
inline size_t CountAttribute(const pugi::xml_node& element, const char* name, size_t fallback,
                             size_t most, const std::string& what) {
    const pugi::xml_attribute a = element.attribute(name);
    if (!a) {
        return fallback;
    }
    const char* text = a.value();
    const char* end = text + std::char_traits<char>::length(text);
    unsigned long long v = 0;
    const auto res = std::from_chars(text, end, v);
    if (res.ec != std::errc() || res.ptr != end || v > most) {
        throw FileMeshError(what + "<" + element.name() + " " + name + "=\"" + Clipped(text) +
                            "\"> is not a whole number from 0 to " + std::to_string(most));
    }
    return static_cast<size_t>(v);
}

// The items of the <source> an <input> names, read from its array
// (float_array, Name_array, IDREF_array ...) through its accessor. Throws
// FileMeshError, its message starting with `what`, for a missing or short
// array, items wider than 16 values or an accessor's impossible numbers.
template <class T>
SourceItems<T> ReadSource(const std::map<std::string, pugi::xml_node>& ids,
                          const pugi::xml_node& input, const char* array, const std::string& what,
                          ColladaArrays* arrays) {
    const std::string semantic = input.attribute("semantic").value();
    const pugi::xml_node source = ByUrl(ids, input.attribute("source").value());
    const pugi::xml_node data = source.child(array);
    if (!data) {
        throw FileMeshError(what + "its " + semantic + " names no <" + array + ">");
    }
    SourceItems<T> out;
    out.all = arrays->Of<T>(data, what);
    const size_t size = out.all->size();
    const pugi::xml_node accessor = source.child("technique_common").child("accessor");
    out.stride = CountAttribute(accessor, "stride", 1, 16, what);
    out.first = CountAttribute(accessor, "offset", 0, size, what);
    if (out.stride < 1) {
        throw FileMeshError(what + "its " + semantic + " has items of 0 values");
    }
    out.count = CountAttribute(accessor, "count", (size - out.first) / out.stride, SIZE_MAX, what);
    if (out.count > (size - out.first) / out.stride) {
        throw FileMeshError(what + "its " + semantic + " is shorter than its accessor says");
    }
    return out;
}

} // namespace host
