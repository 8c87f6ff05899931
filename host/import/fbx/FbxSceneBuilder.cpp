#include "host/import/fbx/FbxSceneBuilder.h"

#include "host/import/ImportLimits.h"
#include "host/import/ImportNames.h"
#include "host/import/NodeMetadata.h"
#include "host/import/Transforms.h"
#include "host/import/fbx/FbxAnimation.h"
#include "host/import/fbx/FbxDeformers.h"
#include "host/import/fbx/FbxMeshes.h"
#include "host/import/fbx/FbxScene.h"
#include "host/import/fbx/FbxTransforms.h"
#include "host/scene/Scene.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace host {
namespace {

using namespace import_limits;

// The frame rates of FBX's time modes; 0 for the default mode and custom.
double TimeModeRate(int mode) {
    static const double kRates[] = {0,  120, 100,  60,     50, 48, 30, 30,    29.97, 29.97,
                                    25, 24,  1000, 23.976, 0,  96, 72, 59.94, 119.88};
    return mode >= 0 && mode < static_cast<int>(sizeof(kRates) / sizeof(kRates[0])) ? kRates[mode]
                                                                                    : 0.0;
}

std::string Quoted(const std::string& name) {
    return "\"" + OneLine(name) + "\"";
}

std::string NumberText(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof(buf), v);
    return std::string(buf, res.ptr);
}

// A name as its program shows it: Maya and MotionBuilder write the
// characters FBX names cannot hold as "FBXASC" and their three-digit code.
std::string DecodeName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, 6, "FBXASC") == 0 && i + 9 <= name.size() &&
            std::isdigit(static_cast<unsigned char>(name[i + 6])) &&
            std::isdigit(static_cast<unsigned char>(name[i + 7])) &&
            std::isdigit(static_cast<unsigned char>(name[i + 8]))) {
            const int code = std::stoi(name.substr(i + 6, 3));
            if (code > 0 && code < 256) {
                out += static_cast<char>(code);
                i += 8;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

bool Finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The rotation that turns the file's axis system into Y-up, Z-front,
// X-right (right-handed): row r holds the file axis that becomes scene
// axis r, with its sign.
Mat34 AxisConversion(int up, int upSign, int front, int frontSign, int coord, int coordSign) {
    Mat34 m;
    const bool valid = up >= 0 && up <= 2 && front >= 0 && front <= 2 && coord >= 0 && coord <= 2 &&
                       up != front && up != coord && front != coord;
    if (!valid) {
        return m;
    }
    for (auto& row : m.m) {
        row[0] = row[1] = row[2] = 0.0;
    }
    m.m[0][coord] = coordSign < 0 ? -1.0 : 1.0;
    m.m[1][up] = upSign < 0 ? -1.0 : 1.0;
    m.m[2][front] = frontSign < 0 ? -1.0 : 1.0;
    return m;
}

class Builder {
  public:
    Builder(FbxScene& file, const std::string& folder, const AssimpLoadOptions& options,
            FbxWarnings& warnings)
        : m_file(file), m_folder(folder), m_options(options), m_warnings(warnings) {}

    std::unique_ptr<Scene> Build(SceneFileInfo* info) {
        ReadSettings(info);
        ChooseStack();
        CollectModels();
        if (m_models.empty()) {
            throw SceneLoadError("the file holds no scene items");
        }
        m_scene = std::make_unique<Scene>();
        ClassifyAndName();
        BuildTransforms();
        for (size_t i = 0; i < m_models.size(); ++i) {
            MakeItem(i);
        }
        for (size_t i = 0; i < m_models.size(); ++i) {
            if (m_nodes[i].kind == ItemKind::Mesh) {
                BuildMesh(i);
            }
        }
        for (size_t i = 0; i < m_models.size(); ++i) {
            if (m_nodes[i].kind == ItemKind::Mesh) {
                FbxMeshContext context{
                    m_file, *m_anim,  m_items, m_warnings, m_scale, m_nodes[i].geometric,
                    m_fps,  m_folder, m_axes,  m_fileRate};
                ApplyFbxDeformers(context, *m_models[i], *m_nodes[i].geometry, m_nodes[i].item);
            }
        }
        for (size_t i = 0; i < m_models.size(); ++i) {
            ApplyUserProperties(i);
        }
        WarnAboutTheRest();
        SetFrameRange();
        return std::move(m_scene);
    }

  private:
    struct Node {
        int parent = -1;
        ItemKind kind = ItemKind::Null;
        const FbxObject* geometry = nullptr;
        const FbxObject* attribute = nullptr;
        std::string name;
        Item* item = nullptr;
        Mat34 geometric; // scene units
        Mat34 frame;     // the FBX camera or light frame seen from the host's
    };

    // ---------------------------------------------------------------
    // Units, axes, frame rate.

    void ReadSettings(SceneFileInfo* info) {
        const FbxPropertyRef unit = m_file.SettingsProperty("UnitScaleFactor");
        double metresPerUnit = 0.0;
        if (unit) {
            const double cm = unit.Number(0);
            if (!(cm > 0.0) || !std::isfinite(cm)) {
                throw SceneLoadError("its unit scale " + NumberText(cm) +
                                     " is not a positive number of centimetres");
            }
            metresPerUnit = cm / 100.0;
            if (!m_options.keepUnits) {
                m_scale = metresPerUnit;
            }
        }
        auto axis = [&](const char* name, int fallback) {
            const FbxPropertyRef p = m_file.SettingsProperty(name);
            const double v = p ? p.Number(0) : fallback;
            return v >= -8.0 && v <= 8.0 ? static_cast<int>(v) : fallback;
        };
        m_axes = AxisConversion(axis("UpAxis", 1), axis("UpAxisSign", 1), axis("FrontAxis", 2),
                                axis("FrontAxisSign", 1), axis("CoordAxis", 0),
                                axis("CoordAxisSign", 1));
        double fileRate = 0.0;
        const FbxPropertyRef mode = m_file.SettingsProperty("TimeMode");
        if (mode) {
            const double m = mode.Number(0);
            fileRate = TimeModeRate(m >= 0.0 && m < 100.0 ? static_cast<int>(m) : -1);
            if (m == 14) {
                fileRate = m_file.SettingsProperty("CustomFrameRate").Number(0);
            }
        } else if (m_file.IsVersion6()) {
            fileRate = Version5FrameRate();
        }
        if (!std::isfinite(fileRate) || fileRate < 0.0) {
            fileRate = fileRate < 0.0 ? fileRate : 0.0;
        }
        m_fps = m_options.defaultFrameRate;
        if (m_options.frameRate > 0.0) {
            m_fps = m_options.frameRate;
        } else if (fileRate != 0.0) {
            if (!(fileRate >= kMinFileRate && fileRate <= kMaxFileRate)) {
                throw SceneLoadError("its frame rate " + NumberText(fileRate) +
                                     " is outside 0.001 to 100000 frames per second");
            }
            m_fps = fileRate;
        }
        if (!(m_fps > 0.0) || !std::isfinite(m_fps)) {
            m_fps = 30.0;
        }
        m_fileRate = fileRate > 0.0 ? fileRate : 0.0;
        if (info) {
            info->metresPerUnit = metresPerUnit;
            info->fileFrameRate = fileRate > 0.0 ? fileRate : 0.0;
            info->frameRate = m_fps;
        }
    }

    // FBX 6.x files give their rate in "Version5/Settings/FrameRate".
    double Version5FrameRate() const {
        const FbxNode* v5 = m_file.Document().Root().Child("Version5");
        const FbxNode* settings = v5 ? v5->Child("Settings") : nullptr;
        const FbxNode* rate = settings ? settings->Child("FrameRate") : nullptr;
        if (!rate) {
            return 0.0;
        }
        double v = rate->Number(0);
        if (rate->Text(0).size()) {
            ParseNumber(rate->Text(0), &v);
        }
        return v;
    }

    // ---------------------------------------------------------------
    // The animation stack.

    void ChooseStack() {
        const std::vector<FbxAnimStack> stacks = FbxAnimation::Stacks(m_file);
        int index = stacks.empty() ? -1 : 0;
        const std::string& wanted = m_options.animation;
        if (!wanted.empty()) {
            index = -1;
            for (size_t i = 0; i < stacks.size() && index < 0; ++i) {
                if (stacks[i].name == wanted) {
                    index = static_cast<int>(i);
                }
            }
            if (index < 0 && wanted.size() <= 9 &&
                wanted.find_first_not_of("0123456789") == std::string::npos) {
                const long n = std::stol(wanted);
                if (n < static_cast<long>(stacks.size())) {
                    index = static_cast<int>(n);
                }
            }
            if (index < 0) {
                std::string names;
                for (size_t i = 0; i < stacks.size(); ++i) {
                    names += i ? ", " : ": ";
                    names += OneLine(stacks[i].name);
                }
                throw SceneLoadError("no animation \"" + OneLine(wanted) + "\" (the file has " +
                                     std::to_string(stacks.size()) + " animation" +
                                     (stacks.size() == 1 ? "" : "s") + names + ")");
            }
        }
        m_anim = std::make_unique<FbxAnimation>(m_file, index);
    }

    // ---------------------------------------------------------------
    // Models: those under the scene's root, parents first.

    void CollectModels() {
        std::unordered_map<FbxId, int> index;
        std::vector<const FbxObject*> stack;
        auto children = [&](FbxId parent) {
            std::vector<const FbxObject*> out;
            for (const FbxObject* o : m_file.Sources(parent, "Model")) {
                const FbxObject* p = m_file.ParentModel(*o);
                if ((p ? p->id : kFbxRoot) == parent && !index.count(o->id)) {
                    out.push_back(o);
                }
            }
            return out;
        };
        const std::vector<const FbxObject*> top = children(kFbxRoot);
        stack.assign(top.rbegin(), top.rend());
        while (!stack.empty()) {
            const FbxObject* m = stack.back();
            stack.pop_back();
            if (index.count(m->id)) {
                continue;
            }
            const FbxObject* parent = m_file.ParentModel(*m);
            index[m->id] = static_cast<int>(m_models.size());
            m_models.push_back(m);
            Node n;
            n.parent = parent ? index.at(parent->id) : -1;
            m_nodes.push_back(n);
            const std::vector<const FbxObject*> below = children(m->id);
            stack.insert(stack.end(), below.rbegin(), below.rend());
        }
        for (const FbxObject* m : m_file.Models()) {
            if (index.count(m->id)) {
                size_t parents = 0;
                for (const FbxConnection* c : m_file.ConnectionsFrom(m->id)) {
                    const FbxObject* d = c->toProperty ? nullptr : m_file.Find(c->destination);
                    parents +=
                        !c->toProperty && (c->destination == kFbxRoot || (d && d->type == "Model"));
                }
                if (parents > 1) {
                    m_warnings.Warn("parents", "model " + Quoted(m->name) +
                                                   " hangs under more than one model; it is "
                                                   "placed under the first");
                }
                continue;
            }
            // MotionBuilder and FBX 6.x files list the viewer's cameras as
            // models of no scene.
            const bool viewer =
                (m->subclass == "Camera" && m->name.compare(0, 9, "Producer ") == 0) ||
                m->subclass == "CameraSwitcher";
            if (!viewer) {
                m_warnings.Warn("outside",
                                "model " + Quoted(m->name) +
                                    " hangs under no model of the scene and is left out");
            }
        }
    }

    void ClassifyAndName() {
        std::unordered_set<std::string> wanted;
        for (size_t i = 0; i < m_models.size(); ++i) {
            const FbxObject& m = *m_models[i];
            Node& n = m_nodes[i];
            n.attribute = m_file.AttributeOf(m);
            const std::string kind =
                n.attribute && !m_file.IsVersion6() ? n.attribute->subclass : m.subclass;
            if (m.subclass == "Mesh" || m.subclass.empty()) {
                n.geometry = m_file.GeometryOf(m);
            }
            if (n.geometry) {
                n.kind = ItemKind::Mesh;
            } else if (kind == "Camera") {
                n.kind = ItemKind::Camera;
                n.frame = FileFrame({}, {1, 0, 0}, {0, 1, 0});
            } else if (kind == "Light") {
                n.kind = ItemKind::Light;
                n.frame = FileFrame({}, {0, -1, 0}, {0, 0, -1});
            } else {
                WarnOtherGeometry(m);
            }
            n.name = CleanName(DecodeName(m.name));
            if (n.name.empty()) {
                n.name = n.kind == ItemKind::Mesh     ? "mesh"
                         : n.kind == ItemKind::Camera ? "camera"
                         : n.kind == ItemKind::Light  ? "light"
                                                      : "null";
            }
            wanted.insert(n.name);
        }
        UniqueNames names(std::move(wanted));
        std::vector<size_t> fullLength(m_models.size(), 0);
        for (size_t i = 0; i < m_models.size(); ++i) {
            Node& n = m_nodes[i];
            n.name = names.Take(n.name);
            const size_t length =
                (n.parent >= 0 ? fullLength[static_cast<size_t>(n.parent)] + 1 : 0) + n.name.size();
            if (length > kMaxFullName) {
                throw SceneLoadError("the full name of item \"" + n.name + "\" is longer than " +
                                     std::to_string(kMaxFullName) + " characters");
            }
            fullLength[i] = length;
        }
    }

    void WarnOtherGeometry(const FbxObject& model) {
        for (const FbxObject* g : m_file.Sources(model.id, "Geometry")) {
            m_warnings.Warn("geometry " + g->subclass,
                            "the " + g->subclass + " geometry of model " + Quoted(model.name) +
                                " is not read (the model is a null)");
        }
    }

    // ---------------------------------------------------------------
    // Transforms.

    // A vector property of a model, refused when it is not finite or lies
    // beyond any scene's range.
    Vec3 StaticVector(const FbxObject& m, const char* property, const Vec3& fallback) {
        const Vec3 v = m_file.Vector(m, property, fallback);
        if (!Finite(v)) {
            throw SceneLoadError("model " + Quoted(m.name) + ": " + property +
                                 " is not a finite number");
        }
        if (std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}) > kMaxCoordinate) {
            throw SceneLoadError("model " + Quoted(m.name) + ": " + property +
                                 " lies out of range");
        }
        return v;
    }

    // A number property of a camera or light, refused when it is not finite.
    double StaticNumber(size_t i, const FbxObject& owner, const char* property, double fallback) {
        const double v = m_file.Number(owner, property, fallback);
        if (!std::isfinite(v)) {
            throw SceneLoadError(
                std::string(m_nodes[i].kind == ItemKind::Camera ? "camera " : "light ") +
                Quoted(m_models[i]->name) + ": " + property + " is not a finite number");
        }
        return v;
    }

    FbxAnimatedProperty Animated(const FbxObject& m, const char* property, const Vec3& still) {
        return m_anim->Property(m.id, property, {still.x, still.y, still.z});
    }

    void BuildTransforms() {
        std::vector<FbxNodeTransform> nodes(m_models.size());
        for (size_t i = 0; i < m_models.size(); ++i) {
            const FbxObject& m = *m_models[i];
            FbxNodeTransform& t = nodes[i];
            t.parent = m_nodes[i].parent;
            const double inherit = m_file.Number(m, "InheritType", 1.0);
            t.inherit = inherit == 0.0   ? FbxInherit::RrSs
                        : inherit == 2.0 ? FbxInherit::Rrs
                                         : FbxInherit::RSrs;
            const double order = m_file.Number(m, "RotationOrder", 0.0);
            t.rotationOrder = order >= 0.0 && order <= 6.0 ? static_cast<int>(order) : 0;
            t.rotationActive = m_file.Number(m, "RotationActive", 0.0) != 0.0;
            t.translation = StaticVector(m, "Lcl Translation", {});
            t.rotation = StaticVector(m, "Lcl Rotation", {});
            t.scaling = StaticVector(m, "Lcl Scaling", {1, 1, 1});
            t.rotationOffset = StaticVector(m, "RotationOffset", {});
            t.rotationPivot = StaticVector(m, "RotationPivot", {});
            t.scalingOffset = StaticVector(m, "ScalingOffset", {});
            t.scalingPivot = StaticVector(m, "ScalingPivot", {});
            t.preRotation = StaticVector(m, "PreRotation", {});
            t.postRotation = StaticVector(m, "PostRotation", {});
            t.animTranslation = Animated(m, "Lcl Translation", t.translation);
            t.animRotation = Animated(m, "Lcl Rotation", t.rotation);
            t.animScaling = Animated(m, "Lcl Scaling", t.scaling);
            const Vec3 gt = StaticVector(m, "GeometricTranslation", {}) * m_scale;
            const Vec3 gr = StaticVector(m, "GeometricRotation", {});
            const Vec3 gs = StaticVector(m, "GeometricScaling", {1, 1, 1});
            Mat34 g = FbxEulerMatrix(gr, 0);
            for (int r = 0; r < 3; ++r) {
                g.m[r][0] *= gs.x;
                g.m[r][1] *= gs.y;
                g.m[r][2] *= gs.z;
            }
            g.m[0][3] = gt.x;
            g.m[1][3] = gt.y;
            g.m[2][3] = gt.z;
            m_nodes[i].geometric = g;
        }
        m_transforms = std::make_shared<const FbxTransforms>(std::move(nodes), m_scale, m_axes);
    }

    // ---------------------------------------------------------------
    // Items.

    void MakeItem(size_t i) {
        Node& n = m_nodes[i];
        Item* parent = n.parent >= 0 ? m_nodes[static_cast<size_t>(n.parent)].item : nullptr;
        n.item = n.kind == ItemKind::Light ? m_scene->AddLight(Widen(n.name), parent)
                                           : m_scene->AddItem(n.kind, Widen(n.name), parent);
        m_items[m_models[i]->id] = n.item;
        std::shared_ptr<const FbxTransforms> transforms = m_transforms;
        const int node = static_cast<int>(i);
        const double fps = m_fps;
        const Mat34 frame = n.frame;
        if (transforms->IsAnimated(node)) {
            if (IsIdentity(frame)) {
                n.item->SetGlobalMatrixFunction([transforms, node, fps](double f) {
                    return transforms->Global(node, f / fps);
                });
            } else {
                n.item->SetGlobalMatrixFunction([transforms, node, fps, frame](double f) {
                    return Mul(transforms->Global(node, f / fps), frame);
                });
            }
        } else {
            const Mat34 still = Mul(transforms->Global(node, 0.0), frame);
            n.item->SetGlobalMatrixFunction([still](double) { return still; });
        }
        if (n.kind == ItemKind::Camera) {
            SetCamera(i);
        } else if (n.kind == ItemKind::Light) {
            SetLight(i);
        }
    }

    void BuildMesh(size_t i) {
        Node& n = m_nodes[i];
        FileMesh mesh;
        try {
            mesh = ReadFbxGeometry(m_file.Document(), *n.geometry->node, m_models[i]->name);
        } catch (const FileMeshError& e) {
            throw SceneLoadError(e.what());
        }
        std::vector<Vec3> points;
        points.reserve(mesh.positions.size());
        double largest = 0.0;
        double largestScene = 0.0;
        for (const Vec3& p : mesh.positions) {
            if (!Finite(p)) {
                throw SceneLoadError("mesh " + Quoted(m_models[i]->name) +
                                     ": a vertex is not a finite number");
            }
            largest = std::max({largest, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
            points.push_back(Apply(n.geometric, p * m_scale));
            const Vec3& q = points.back();
            largestScene = std::max({largestScene, std::fabs(q.x), std::fabs(q.y), std::fabs(q.z)});
        }
        if (largestScene > kMaxCoordinate || !std::isfinite(largestScene)) {
            throw SceneLoadError(largest > kMaxCoordinate
                                     ? "mesh " + Quoted(m_models[i]->name) +
                                           ": a vertex lies out of range"
                                     : "its unit scale takes the points of mesh " +
                                           Quoted(m_models[i]->name) + " out of range");
        }
        Mesh* target = n.item->GetMesh();
        target->SetPoints(points);
        std::vector<int> sizes;
        sizes.reserve(mesh.starts.size());
        for (size_t k = 1; k < mesh.starts.size(); ++k) {
            sizes.push_back(mesh.starts[k] - mesh.starts[k - 1]);
        }
        target->SetPolygons(std::move(sizes), std::move(mesh.corners));
    }

    // ---------------------------------------------------------------
    // Cameras and lights.

    const FbxObject& AttributeOrModel(size_t i) const {
        return m_nodes[i].attribute ? *m_nodes[i].attribute : *m_models[i];
    }

    // A number property of the node's attribute, animated or not.
    FbxAnimatedProperty Animated(const FbxObject& owner, const char* property, double still) {
        return m_anim->Property(owner.id, property, {still});
    }

    void SetCamera(size_t i) {
        const FbxObject& a = AttributeOrModel(i);
        Item* item = m_nodes[i].item;
        if (m_file.Number(a, "CameraProjectionType", 0.0) == 1.0) {
            m_warnings.Warn("orthographic", "camera " + Quoted(m_models[i]->name) +
                                                " is orthographic; it is baked as a perspective "
                                                "camera");
        }
        const double aw = StaticNumber(i, a, "AspectWidth", 0.0);
        const double ah = StaticNumber(i, a, "AspectHeight", 0.0);
        if (aw > 0.0 && ah > 0.0 && std::isfinite(aw / ah)) {
            item->GetParam(L"aspect")->Value().Set(aw / ah);
        }
        const double mode = m_file.Number(a, "ApertureMode", 3.0);
        const double fov = StaticNumber(i, a, "FieldOfView", 0.0);
        const double fovX = StaticNumber(i, a, "FieldOfViewX", 0.0);
        const double focal = StaticNumber(i, a, "FocalLength", 0.0);
        const double filmWidth = StaticNumber(i, a, "FilmWidth", 0.0) * 25.4; // inches to mm
        Param* fovParam = item->GetParam(L"fov");
        Param* fovType = item->GetParam(L"fovtype");
        const double seconds0 = 0.0;
        if (mode == 3.0 && focal > 0.0 && filmWidth > 0.0) {
            // The horizontal angle the focal length gives on the film.
            const FbxAnimatedProperty f = Animated(a, "FocalLength", focal);
            auto angle = [filmWidth](double mm) {
                return mm > 0.0 ? 2.0 * std::atan(filmWidth / (2.0 * mm)) * 180.0 / kPi : 0.0;
            };
            fovType->Value().Set(1.0);
            if (f.IsAnimated() && !f.IsConstant()) {
                const double fps = m_fps;
                fovParam->Value().SetFunction(
                    [f, fps, angle](double frame) { return angle(f.EvaluateNumber(frame / fps)); });
            } else {
                fovParam->Value().Set(angle(f.IsAnimated() ? f.EvaluateNumber(seconds0) : focal));
            }
            return;
        }
        const char* property = mode == 0.0 ? "FieldOfViewX" : "FieldOfView";
        const double still = mode == 0.0 ? fovX : fov;
        if (!(still > 0.0)) {
            return;
        }
        fovType->Value().Set(mode == 2.0 ? 0.0 : 1.0);
        const FbxAnimatedProperty f = Animated(a, property, still);
        if (f.IsAnimated() && !f.IsConstant()) {
            const double fps = m_fps;
            fovParam->Value().SetFunction(
                [f, fps](double frame) { return f.EvaluateNumber(frame / fps); });
        } else {
            fovParam->Value().Set(f.IsAnimated() ? f.EvaluateNumber(seconds0) : still);
        }
    }

    void SetLight(size_t i) {
        const FbxObject& a = AttributeOrModel(i);
        Item* item = m_nodes[i].item;
        const double type = m_file.Number(a, "LightType", 0.0);
        double hostType = 1.0;
        if (type == 1.0) {
            hostType = 0.0;
        } else if (type == 2.0) {
            hostType = 2.0;
        } else if (type != 0.0) {
            m_warnings.Warn("light type", "light " + Quoted(m_models[i]->name) + ": its kind (" +
                                              NumberText(type) + ") is made a point light");
        }
        item->GetParam(L"Type")->Value().Set(hostType);
        if (hostType == 2.0) {
            double cone = m_file.Number(a, "OuterAngle", -1.0);
            if (cone < 0.0) {
                cone = m_file.Number(a, "Cone angle", 45.0);
            }
            if (std::isfinite(cone)) {
                item->AddParam(L"LightCone", Param::Type::Double, cone);
            }
        }
        LightShader* shader = item->GetShaders().front().get();
        const Vec3 rgb = m_file.Vector(a, "Color", {1, 1, 1});
        if (!Finite(rgb)) {
            throw SceneLoadError("light " + Quoted(m_models[i]->name) +
                                 ": Color is not a finite number");
        }
        const FbxAnimatedProperty color = m_anim->Property(a.id, "Color", {rgb.x, rgb.y, rgb.z});
        const double fps = m_fps;
        if (color.IsAnimated() && !color.IsConstant()) {
            shader->GetParam(L"color")->ColorValue().SetFunction([color, fps](double f) {
                const Vec3 c = color.EvaluateVec3(f / fps);
                return Color{c.x, c.y, c.z, 1.0};
            });
        } else {
            const Vec3 c = color.IsAnimated() ? color.EvaluateVec3(0.0) : rgb;
            shader->GetParam(L"color")->ColorValue().Set(Color{c.x, c.y, c.z, 1.0});
        }
        const double intensity = StaticNumber(i, a, "Intensity", 100.0);
        const FbxAnimatedProperty level = Animated(a, "Intensity", intensity);
        if (level.IsAnimated() && !level.IsConstant()) {
            shader->GetParam(L"intensity")->Value().SetFunction([level, fps](double f) {
                return level.EvaluateNumber(f / fps) / 100.0;
            });
        } else {
            shader->GetParam(L"intensity")
                ->Value()
                .Set((level.IsAnimated() ? level.EvaluateNumber(0.0) : intensity) / 100.0);
        }
    }

    // ---------------------------------------------------------------
    // User properties, warnings, the frame range.

    void ApplyUserProperties(size_t i) {
        const FbxObject& m = *m_models[i];
        if (!m.properties) {
            return;
        }
        Item* item = m_nodes[i].item;
        const size_t first = m_file.IsVersion6() ? 3 : 4;
        for (const FbxNode& p : m.properties->children) {
            const std::string flags = p.Text(first - 1);
            if (p.values.size() <= first || flags.find('U') == std::string::npos) {
                continue;
            }
            const std::wstring key = Widen(p.Text(0));
            Param* param = item->GetParam(key);
            if (!param && item->GetKind() == ItemKind::Light && !item->GetShaders().empty()) {
                param = item->GetShaders().front()->GetParam(key);
            }
            if (!param) {
                continue;
            }
            if (param->GetType() == Param::Type::Color) {
                if (p.values.size() >= first + 3) {
                    const Color c{p.Number(first), p.Number(first + 1), p.Number(first + 2),
                                  p.values.size() > first + 3 ? p.Number(first + 3) : 1.0};
                    if (std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) &&
                        std::isfinite(c.a)) {
                        param->ColorValue().Set(c);
                    }
                }
                continue;
            }
            double v = p.Number(first);
            if (p.values[first].kind == FbxValue::Kind::Text && !ParseNumber(p.Text(first), &v)) {
                continue;
            }
            if (std::isfinite(v)) {
                param->Value().Set(v);
            }
        }
    }

    void WarnAboutTheRest() {
        for (const FbxObject* m : m_models) {
            // A target a camera, light or node aims at is a link, not a parent.
            for (const FbxConnection* c : m_file.ConnectionsTo(m->id)) {
                if (c->toProperty &&
                    (c->property == "LookAtProperty" || c->property == "UpVectorProperty")) {
                    m_warnings.Warn("target", "the " +
                                                  std::string(c->property == "LookAtProperty"
                                                                  ? "look-at target"
                                                                  : "up-vector target") +
                                                  " of " + Quoted(m->name) + " is not evaluated");
                }
            }
            if (!m_file.IsVersion6() && m_file.Sources(m->id, "Geometry").size() > 1) {
                m_warnings.Warn("geometries", "model " + Quoted(m->name) +
                                                  " shows more than one geometry; only its "
                                                  "first mesh is read");
            }
        }
        for (const FbxObject& o : m_file.Objects()) {
            if (o.type == "Constraint") {
                m_warnings.Warn("constraint",
                                "the constraint " + Quoted(o.name) + " is not evaluated");
            } else if (o.type == "Character" || o.type == "ControlSetPlug") {
                m_warnings.Warn("character",
                                "the character rig " + Quoted(o.name) +
                                    " is not evaluated (its joints' own animation plays)");
            }
        }
        for (const auto& [id, property] : m_anim->AnimatedProperties()) {
            if (m_anim->WasEvaluated(id, property) || !m_anim->Varies(id, property)) {
                continue;
            }
            const FbxObject* o = m_file.Find(id);
            std::string owner = o ? o->name : std::to_string(id);
            if (o && o->type != "Model") {
                for (const FbxObject* m : m_file.Destinations(id, "Model")) {
                    owner = m->name;
                }
            }
            m_warnings.Warn("animation " + property, "the animation of " + Quoted(property) +
                                                         " (on " + Quoted(owner) +
                                                         ") is not evaluated");
        }
        for (const FbxAnimLayer& layer : m_anim->Layers()) {
            if (layer.solo) {
                m_warnings.Warn("solo", "layer " + Quoted(layer.name) +
                                            " is soloed; every layer that is not muted plays");
            }
        }
        if (m_anim->Notes().velocity) {
            m_warnings.Warn("velocity", "curve keys with velocity are evaluated without it");
        }
    }

    void SetFrameRange() {
        double start = 0.0;
        double stop = 0.0;
        bool have = false;
        if (const FbxAnimStack* s = m_anim->Stack()) {
            if (s->hasSpan) {
                start = s->start;
                stop = s->stop;
                have = true;
            }
        }
        if (!have && m_anim->Stack()) {
            const double a =
                static_cast<double>(m_file.SettingsProperty("TimeSpanStart").Integer(0));
            const double b =
                static_cast<double>(m_file.SettingsProperty("TimeSpanStop").Integer(0));
            if (b > a) {
                start = a / kFbxTicksPerSecond;
                stop = b / kFbxTicksPerSecond;
                have = true;
            }
        }
        if (!have && m_anim->Stack()) {
            for (const auto& [id, property] : m_anim->AnimatedProperties()) {
                double first = 0.0, last = 0.0;
                const FbxAnimatedProperty p = m_anim->Property(id, property, {0.0, 0.0, 0.0});
                if (p.KeyRange(&first, &last)) {
                    start = have ? std::min(start, first) : first;
                    stop = have ? std::max(stop, last) : last;
                    have = true;
                }
            }
        }
        double first = std::floor(start * m_fps + 1e-6);
        double last = std::ceil(stop * m_fps - 1e-6);
        if (!std::isfinite(first) || std::fabs(first) > kMaxEndFrame) {
            first = first < 0.0 ? -kMaxEndFrame : 0.0;
        }
        if (!std::isfinite(last) || last > kMaxEndFrame) {
            last = kMaxEndFrame;
        }
        m_scene->SetFrameRange(first, std::max(first, last));
    }

    FbxScene& m_file;
    std::string m_folder;
    const AssimpLoadOptions& m_options;
    FbxWarnings& m_warnings;
    double m_scale = 1.0;
    double m_fps = 30.0;
    Mat34 m_axes;
    double m_fileRate = 0.0; // the file's own frame rate, 0 when it names none
    std::unique_ptr<FbxAnimation> m_anim;
    std::vector<const FbxObject*> m_models;
    std::vector<Node> m_nodes;
    std::unordered_map<FbxId, Item*> m_items;
    std::shared_ptr<const FbxTransforms> m_transforms;
    std::unique_ptr<Scene> m_scene;
};

} // namespace

bool LooksLikeFbx(std::string_view bytes) {
    if (bytes.compare(0, 18, "Kaydara FBX Binary") == 0) {
        return true;
    }
    const std::string_view head = bytes.substr(0, 4096);
    return head.find("FBXHeaderExtension") != std::string_view::npos ||
           head.compare(0, 6, "; FBX ") == 0;
}

std::unique_ptr<Scene> BuildFbxScene(std::string bytes, const std::string& folder,
                                     const AssimpLoadOptions& options, SceneFileInfo* info,
                                     FbxWarnings* warnings) {
    FbxWarnings local;
    FbxWarnings& w = warnings ? *warnings : local;
    try {
        FbxScene file = FbxScene::Read(std::move(bytes));
        return Builder(file, folder, options, w).Build(info);
    } catch (const FbxError& e) {
        throw SceneLoadError(OneLine(e.what()));
    } catch (const SceneLoadError&) {
        throw;
    } catch (const std::exception& e) {
        throw SceneLoadError(OneLine(e.what()));
    }
}

} // namespace host
