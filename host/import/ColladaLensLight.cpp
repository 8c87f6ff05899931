#include "host/import/ColladaLensLight.h"

#include "host/import/ColladaXml.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace host {
namespace {

using Ids = std::map<std::string, pugi::xml_node>;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

double Value(const ColladaCurve* curve, double fixed, double time) {
    if (!curve) {
        return fixed;
    }
    double v = 0.0;
    curve->Eval(time, &v);
    return v;
}

// The first number of an element's text, or NaN.
double FirstNumber(const pugi::xml_node& node, const std::string& what) {
    if (!node) {
        return kNone;
    }
    const std::vector<double> v = Numbers<double>(node, what);
    return v.empty() ? kNone : v.front();
}

// The child of `parent` whose sid is sid, looking below it too.
pugi::xml_node BySid(const pugi::xml_node& parent, const std::string& sid) {
    if (sid.empty()) {
        return {};
    }
    for (const pugi::xpath_node& x : parent.select_nodes(".//*[@sid]")) {
        if (sid == x.node().attribute("sid").value()) {
            return x.node();
        }
    }
    return {};
}

// Which component of a colour a member names ("" all three), or -1.
int ColorComponent(const std::string& member) {
    static const char* const names[] = {".R", ".G", ".B"};
    for (int i = 0; i < 3; ++i) {
        if (member == names[i] || member == "(" + std::to_string(i) + ")") {
            return i;
        }
    }
    return member.empty() ? 0 : -1;
}

} // namespace

double ColladaLens::HorizontalFov(double time) const {
    const double x = Value(xfovCurve.get(), xfov, time);
    if (std::isfinite(x)) {
        return x;
    }
    const double y = Value(yfovCurve.get(), yfov, time);
    const double a = Aspect(time);
    if (!std::isfinite(y) || !std::isfinite(a)) {
        return kNone;
    }
    return 2.0 * std::atan(a * std::tan(DegToRad(y) * 0.5)) * 180.0 / kPi;
}

double ColladaLens::Aspect(double time) const {
    return Value(aspectCurve.get(), aspect, time);
}

void ColladaLightColor::At(double time, double rgb[3]) const {
    std::copy(color, color + 3, rgb);
    double animated[16];
    for (const ColladaNodeCurves::Animation& a : animations) {
        a.curve->Eval(time, animated);
        for (int c = 0; c < a.curve->Width() && a.first + c < 3; ++c) {
            rgb[a.first + c] = animated[c];
        }
    }
}

ColladaLensLight ReadColladaLensLight(const pugi::xml_document& doc) {
    const Ids ids = ColladaIds(doc);
    ColladaSamplers samplers(ids);
    const std::string tool = doc.child("COLLADA")
                                 .child("asset")
                                 .child("contributor")
                                 .child("authoring_tool")
                                 .child_value();
    const bool byBlender = tool.rfind("Blender", 0) == 0;
    // The nodes that show each camera and light, and Blender's names of them.
    std::map<std::string, std::vector<std::string>> shownBy;
    std::map<std::string, pugi::xml_node> blenderNames;
    for (const pugi::xpath_node& x :
         doc.select_nodes("//node/instance_camera | //node/instance_light")) {
        const pugi::xml_node element = ByUrl(ids, x.node().attribute("url").value());
        const std::string node = x.node().parent().attribute("id").value();
        if (!element || node.empty()) {
            continue;
        }
        shownBy[element.attribute("id").value()].push_back(node);
        const bool camera = std::strcmp(element.name(), "camera") == 0;
        blenderNames[node + "-" + element.attribute("name").value() +
                     (camera ? "-camera" : "-light")] = element;
    }
    std::map<std::string, ColladaLens> lenses;
    std::map<std::string, ColladaLightColor> lights;
    ColladaLensLight out;
    for (const pugi::xpath_node& x : doc.select_nodes("//animation/channel")) {
        const std::string target = x.node().attribute("target").value();
        const size_t slash = target.find('/');
        const std::string id = target.substr(0, slash);
        pugi::xml_node element;
        if (const auto it = ids.find(id); it != ids.end()) {
            element = it->second;
        } else if (const auto named = blenderNames.find(id);
                   byBlender && named != blenderNames.end()) {
            element = named->second;
        }
        const std::string kind = element ? element.name() : "";
        if (kind == "node") {
            continue; // a transform: Assimp's and ColladaCurves.h's matter
        }
        const std::string rest = slash == std::string::npos ? "" : target.substr(slash + 1);
        const size_t cut = rest.find_first_of(".(");
        const std::string sid = rest.substr(0, cut);
        const std::string member = cut == std::string::npos ? "" : rest.substr(cut);
        const std::string what = "Collada animation of \"" + target + "\": ";
        const pugi::xml_node sampler = ByUrl(ids, x.node().attribute("source").value());
        bool read = false;
        if (kind == "camera" && sampler) {
            const pugi::xml_node value = BySid(element, sid);
            const std::string name = value ? value.name() : "";
            if (member.empty() && (name == "xfov" || name == "yfov" || name == "aspect_ratio")) {
                const auto curve = samplers.Read(sampler, what);
                if (curve->Width() == 1) {
                    out.endTime = std::max(out.endTime, curve->EndTime());
                    ColladaLens& lens = lenses[element.attribute("id").value()];
                    (name == "xfov"   ? lens.xfovCurve
                     : name == "yfov" ? lens.yfovCurve
                                      : lens.aspectCurve) = curve;
                    read = true;
                }
            }
        } else if (kind == "light" && sampler) {
            const pugi::xml_node value = BySid(element, sid);
            const int first = ColorComponent(member);
            if (value && std::strcmp(value.name(), "color") == 0 && first >= 0) {
                const auto curve = samplers.Read(sampler, what);
                if (first + curve->Width() <= 3 && (member.empty() == (curve->Width() == 3))) {
                    out.endTime = std::max(out.endTime, curve->EndTime());
                    lights[element.attribute("id").value()].animations.push_back({first, curve});
                    read = true;
                }
            }
        }
        if (!read) {
            out.unread.push_back(target);
        }
    }
    for (auto& [id, lens] : lenses) {
        const pugi::xml_node perspective =
            ids.at(id).child("optics").child("technique_common").child("perspective");
        const std::string what = "Collada camera \"" + id + "\": ";
        lens.xfov = FirstNumber(perspective.child("xfov"), what);
        lens.yfov = FirstNumber(perspective.child("yfov"), what);
        lens.aspect = FirstNumber(perspective.child("aspect_ratio"), what);
        const auto shared = std::make_shared<const ColladaLens>(lens);
        for (const std::string& node : shownBy[id]) {
            out.lenses[node] = shared;
        }
    }
    for (auto& [id, light] : lights) {
        const pugi::xml_node color = BySid(ids.at(id), "color");
        const std::vector<double> v = Numbers<double>(color, "Collada light \"" + id + "\": ");
        for (size_t c = 0; c < 3 && c < v.size(); ++c) {
            light.color[c] = v[c];
        }
        const auto shared = std::make_shared<const ColladaLightColor>(light);
        for (const std::string& node : shownBy[id]) {
            out.lights[node] = shared;
        }
    }
    return out;
}

} // namespace host
