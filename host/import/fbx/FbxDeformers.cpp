// The deformers of FBX meshes, evaluated as the programs that write them
// show them:
//   - a skin ("Skin" with its "Cluster" sub-deformers): each cluster binds
//     some control points (Indexes, Weights) to one joint (the model
//     connected to it); Transform maps the mesh as it was bound into the
//     joint's space at bind time and TransformLink is the joint's global
//     transform then, so that TransformLink x Transform is the mesh's global
//     transform at bind time. A point's weights are normalised. Programs
//     that skin in the mesh's own space (Maya, 3ds Max) work on the mesh as
//     it stood when bound, and the mesh node's own transform at the frame
//     then moves the result; for any other writer (MotionBuilder, Blender,
//     the FBX SDK's own rule) the points go where the joints put them,
//     whatever the mesh node does. SkinningType: Linear (also Rigid),
//     DualQuaternion, or Blend with a blend weight per control point (the
//     skin's Indexes and BlendWeights; 0 linear, 1 dual quaternion);
//   - blend shapes ("BlendShape", its "BlendShapeChannel"s and their "Shape"
//     geometries): a shape moves some control points by offsets (Indexes,
//     Vertices); a channel's weight is DeformPercent (animated or not) and
//     its shapes sit at their FullWeights (percent) with the base mesh at 0:
//     between two neighbours the two blend linearly, past the ends the
//     nearest two extrapolate. Blender writes one shape per channel with
//     FullWeights holding a weight per shape point (percent), which scales
//     that point's offset. FBX 6.x puts its shapes in the model ("Shape"
//     nodes) and their weights in the model's property of the shape's name;
//   - a vertex cache ("VertexCacheDeformer" with its "Cache"): the points of
//     each frame come from the cache file, which holds the final points, so
//     the mesh's skin and blend shapes give way to it. The file is looked
//     for where CacheAbsoluteFileName says, else at CacheFileName relative
//     to the scene file; a missing file leaves the mesh without its cache,
//     with a warning.
#include "host/import/fbx/FbxDeformers.h"

#include "host/app/HostApp.h"
#include "host/import/ImportNames.h"
#include "host/import/fbx/VertexCache.h"
#include "host/scene/Item.h"
#include "host/scene/Mesh.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace host {

namespace {

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The numbers of a child array of an object's node ("Indexes", ...), or an
// empty list when it has none.
std::vector<double> ChildArray(const FbxScene& file, const FbxNode& node, const char* child) {
    const FbxNode* c = node.Child(child);
    if (!c) {
        return {};
    }
    return file.Document().Array(*c);
}

// A 4x4 matrix of the file (16 numbers, column after column) as an affine
// matrix; false when the node holds no such matrix.
bool FileMatrix(const FbxScene& file, const FbxNode& node, const char* child, Mat34* out) {
    if (!node.Child(child)) {
        return false;
    }
    const std::vector<double> a = ChildArray(file, node, child);
    if (a.size() != 16) {
        throw FbxError(std::string(child) + " of " + node.Text(0) + " holds " +
                       std::to_string(a.size()) + " numbers, not 16");
    }
    Mat34 m;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            m.m[r][c] = a[4 * c + r];
            // Beyond this a product of two such matrices leaves the numbers.
            if (!(std::fabs(m.m[r][c]) <= 1e100)) {
                throw FbxError(std::string(child) + " of " + node.Text(0) +
                               " holds a number that is not finite or out of range");
            }
        }
    }
    *out = m;
    return true;
}

// Control point indexes of an array, each checked against the mesh.
std::vector<int> PointIndexes(const std::vector<double>& values, int pointCount,
                              const std::string& what) {
    std::vector<int> out;
    out.reserve(values.size());
    for (double v : values) {
        if (!(v >= 0.0 && v < pointCount) || v != std::floor(v)) {
            throw FbxError(what + ": point index " + std::to_string(v) + " out of range (" +
                           std::to_string(pointCount) + " points)");
        }
        out.push_back(static_cast<int>(v));
    }
    return out;
}

// The program that wrote the file: the scene info's (7.x: in the header,
// 6.x: an object) LastSaved or Original ApplicationName, else the Creator.
std::string WritingProgram(const FbxScene& file) {
    const FbxNode* header = file.Document().Root().Child("FBXHeaderExtension");
    const FbxNode* info = header ? header->Child("SceneInfo") : nullptr;
    if (!info) { // FBX 6.x: an object
        const FbxNode* objects = file.Document().Root().Child("Objects");
        info = objects ? objects->Child("SceneInfo") : nullptr;
    }
    const FbxNode* props = nullptr;
    if (info) {
        props =
            info->Child("Properties70") ? info->Child("Properties70") : info->Child("Properties60");
    }
    for (const char* name : {"LastSaved|ApplicationName", "Original|ApplicationName"}) {
        for (const FbxNode& p : props ? props->children : std::vector<FbxNode>{}) {
            if (p.Text(0) == name && p.ValueCount() > 1) {
                const std::string app = p.Text(p.ValueCount() - 1);
                if (!app.empty()) {
                    return app;
                }
            }
        }
    }
    const FbxNode* creator = header ? header->Child("Creator") : nullptr;
    if (!creator) {
        creator = file.Document().Root().Child("Creator");
    }
    return creator ? creator->Text(0) : std::string();
}

// Whether the program deforms a skin in the mesh's own space, so that the
// mesh node's transform moves the skinned mesh (Maya's skin cluster, 3ds
// Max's skin modifier), rather than placing the points where the joints put
// them whatever the mesh node does (the FBX SDK's rule, MotionBuilder,
// Blender's armatures, whose meshes hang under the armature).
bool SkinsInMeshSpace(const std::string& program) {
    return program.find("Maya") != std::string::npos ||
           program.find("3ds Max") != std::string::npos ||
           program.find("3dsMax") != std::string::npos;
}

void ApplySkin(const FbxMeshContext& ctx, const FbxObject& model, const FbxObject& skin,
               Item* item) {
    const FbxScene& file = ctx.file;
    Mesh* mesh = item->GetMesh();
    const int n = mesh->GetPointCount();
    const std::string meshName = Quoted(model.name);

    std::vector<const Item*> joints;
    std::vector<Mat34> offsets;
    std::vector<std::vector<int>> indexes;
    std::vector<std::vector<double>> weights;
    Mat34 bind;
    bool haveBind = false;
    for (const FbxObject* cluster : file.Sources(skin.id, "Deformer")) {
        if (cluster->subclass != "Cluster") {
            continue;
        }
        const FbxObject* link = file.SourceObject(cluster->id, "Model");
        const auto found = link ? ctx.items.find(link->id) : ctx.items.end();
        if (found == ctx.items.end() || found->second == nullptr) {
            ctx.warnings.Warn("cluster without joint", "a cluster of the skin of mesh " + meshName +
                                                           " has no joint in the scene: its "
                                                           "points do not follow it");
            continue;
        }
        const std::string what =
            "the cluster of joint " + Quoted(link->name) + " on mesh " + meshName;
        std::vector<int> idx = PointIndexes(ChildArray(file, *cluster->node, "Indexes"), n, what);
        std::vector<double> w = ChildArray(file, *cluster->node, "Weights");
        if (w.size() != idx.size()) {
            throw FbxError(what + " has " + std::to_string(idx.size()) + " indexes and " +
                           std::to_string(w.size()) + " weights");
        }
        for (double& v : w) {
            if (!std::isfinite(v)) {
                throw FbxError(what + " has a weight that is not finite");
            }
            if (v < 0.0) {
                ctx.warnings.Warn("negative skin weight", what + " has negative weights, taken "
                                                                 "as 0");
                v = 0.0;
            }
        }
        Mat34 transform;
        Mat34 transformLink;
        const bool hasTransform = FileMatrix(file, *cluster->node, "Transform", &transform);
        const bool hasLink = FileMatrix(file, *cluster->node, "TransformLink", &transformLink);
        if (!hasTransform || !hasLink) {
            ctx.warnings.Warn("cluster without bind matrices",
                              what + " has no bind matrices (Transform, TransformLink): "
                                     "identities stand in");
        }
        if (const FbxNode* mode = cluster->node->Child("Mode")) {
            const std::string m = mode->Text(0);
            if (!m.empty() && m != "Normalize") {
                ctx.warnings.Warn("cluster mode " + m,
                                  what + " has link mode \"" + m + "\", evaluated as Normalize");
            }
        }
        if (!haveBind) {
            bind = Mul(ctx.axes, ctx.SceneMatrix(Mul(transformLink, transform)));
            haveBind = true;
        }
        joints.push_back(found->second);
        offsets.push_back(ctx.SceneMatrix(transform));
        indexes.push_back(std::move(idx));
        weights.push_back(std::move(w));
    }
    if (joints.empty()) {
        return;
    }
    // The influences point after point, each point's in cluster order.
    SkinWeights sw;
    sw.start.assign(static_cast<size_t>(n) + 1, 0);
    for (const std::vector<int>& idx : indexes) {
        for (int p : idx) {
            ++sw.start[static_cast<size_t>(p) + 1];
        }
    }
    for (size_t p = 0; p < static_cast<size_t>(n); ++p) {
        sw.start[p + 1] += sw.start[p];
    }
    sw.joint.resize(static_cast<size_t>(sw.start.back()));
    sw.weight.resize(sw.joint.size());
    std::vector<int> fill(sw.start.begin(), sw.start.end() - 1);
    for (size_t j = 0; j < joints.size(); ++j) {
        for (size_t k = 0; k < indexes[j].size(); ++k) {
            const int at = fill[static_cast<size_t>(indexes[j][k])]++;
            sw.joint[static_cast<size_t>(at)] = static_cast<int>(j);
            sw.weight[static_cast<size_t>(at)] = weights[j][k];
        }
    }
    mesh->SetSkinWeights(std::move(joints), std::move(offsets), std::move(sw));
    if (SkinsInMeshSpace(WritingProgram(file)) && std::fabs(Determinant3(bind)) > 0.0) {
        mesh->SetSkinBindMatrix(bind);
    }

    const FbxNode* typeNode = skin.node->Child("SkinningType");
    const std::string type = typeNode ? typeNode->Text(0) : std::string();
    if (type == "DualQuaternion") {
        mesh->SetSkinMethod(SkinMethod::DualQuaternion);
    } else if (type == "Blend") {
        std::vector<double> blend(static_cast<size_t>(n), 0.0);
        const std::vector<int> idx =
            PointIndexes(ChildArray(file, *skin.node, "Indexes"), n,
                         "the blend weights of the skin of mesh " + meshName);
        const std::vector<double> b = ChildArray(file, *skin.node, "BlendWeights");
        if (b.size() != idx.size()) {
            throw FbxError("the skin of mesh " + meshName + " has " + std::to_string(idx.size()) +
                           " indexes and " + std::to_string(b.size()) + " blend weights");
        }
        for (size_t k = 0; k < idx.size(); ++k) {
            if (!std::isfinite(b[k])) {
                throw FbxError("the skin of mesh " + meshName +
                               " has a blend weight that is not finite");
            }
            if (b[k] < 0.0 || b[k] > 1.0) {
                ctx.warnings.Warn("blend weight range", "the skin of mesh " + meshName +
                                                            " has blend weights outside 0 to 1, "
                                                            "taken to the nearest end");
            }
            blend[static_cast<size_t>(idx[k])] = std::clamp(b[k], 0.0, 1.0);
        }
        mesh->SetSkinMethod(SkinMethod::Blended, std::move(blend));
    } else if (!type.empty() && type != "Linear" && type != "Rigid") {
        ctx.warnings.Warn("skinning type " + type, "the skin of mesh " + meshName +
                                                       " has skinning type \"" + type +
                                                       "\", evaluated as linear");
    }
}

// A channel's weight (percent) at a frame.
using PercentOf = std::function<double(double frame)>;

PercentOf ChannelPercent(const FbxMeshContext& ctx, const FbxObject& object,
                         const std::string& property, double value) {
    if (!ctx.animation.IsAnimated(object.id, property)) {
        return [value](double) { return value; };
    }
    const FbxAnimatedProperty animated = ctx.animation.Property(object.id, property, {value});
    const double secondsPerFrame = 1.0 / ctx.framesPerSecond;
    return [animated, secondsPerFrame](double frame) {
        return animated.EvaluateNumber(frame * secondsPerFrame);
    };
}

// The weight of one target of a channel: the base mesh and the channel's
// targets sit at their full weights (ascending, knots); between two
// neighbours the two blend linearly, past the ends the nearest two go on.
double TargetWeight(const std::vector<double>& knots, size_t knot, double percent) {
    size_t i = 0;
    if (percent >= knots.back()) {
        i = knots.size() - 2;
    } else if (percent > knots.front()) {
        i = static_cast<size_t>(std::upper_bound(knots.begin(), knots.end(), percent) -
                                knots.begin()) -
            1;
    }
    const double u = (percent - knots[i]) / (knots[i + 1] - knots[i]);
    if (knot == i) {
        return 1.0 - u;
    }
    if (knot == i + 1) {
        return u;
    }
    return 0.0;
}

struct ShapeTarget {
    std::string name;
    std::vector<int> indexes;
    std::vector<Vec3> offsets; // scene offsets, each point's weight taken in
    double fullWeight = 100.0; // percent
};

// Adds the targets of one channel to the mesh, weighted by percent(frame).
void AddChannel(const FbxMeshContext& ctx, const std::string& meshName,
                const std::string& channelName, std::vector<ShapeTarget> targets,
                const PercentOf& percent, Item* item) {
    Mesh* mesh = item->GetMesh();
    std::sort(targets.begin(), targets.end(), [](const ShapeTarget& a, const ShapeTarget& b) {
        return a.fullWeight < b.fullWeight;
    });
    // The knots: each target's full weight and the base mesh's 0.
    std::vector<double> knots;
    std::vector<int> targetOfKnot; // -1: the base mesh
    bool baseIn = false;
    for (size_t k = 0; k <= targets.size(); ++k) {
        const bool target = k < targets.size();
        const double at = target ? targets[k].fullWeight : 0.0;
        if (!baseIn && (!target || at >= 0.0)) {
            if (!target || at != 0.0) {
                knots.push_back(0.0);
                targetOfKnot.push_back(-1);
            }
            baseIn = true;
        }
        if (!target) {
            break;
        }
        if (!knots.empty() && at == knots.back()) {
            ctx.warnings.Warn("shape at equal weights",
                              "channel " + Quoted(channelName) + " of mesh " + meshName +
                                  " has two shapes at one full weight: the later is left out");
            continue;
        }
        knots.push_back(at);
        targetOfKnot.push_back(static_cast<int>(k));
    }
    if (knots.size() < 2) {
        return;
    }
    auto shared = std::make_shared<std::pair<std::vector<double>, PercentOf>>(knots, percent);
    for (size_t knot = 0; knot < knots.size(); ++knot) {
        if (targetOfKnot[knot] < 0) {
            continue;
        }
        ShapeTarget& t = targets[static_cast<size_t>(targetOfKnot[knot])];
        const int index =
            mesh->AddMorphTarget(Widen(t.name), std::move(t.indexes), std::move(t.offsets));
        mesh->MorphWeight(index).SetFunction([shared, knot](double frame) {
            return TargetWeight(shared->first, knot, shared->second(frame));
        });
    }
}

// A shape's offsets as a sparse target: indexes checked, an index given
// twice adds its offsets, each offset scaled by its point's weight.
ShapeTarget ReadShape(const FbxMeshContext& ctx, const FbxNode& node, const std::string& name,
                      const std::vector<double>* pointWeights, int pointCount,
                      const std::string& what) {
    const FbxScene& file = ctx.file;
    const std::vector<int> idx = PointIndexes(ChildArray(file, node, "Indexes"), pointCount, what);
    const std::vector<double> v = ChildArray(file, node, "Vertices");
    if (v.size() != 3 * idx.size()) {
        throw FbxError(what + " has " + std::to_string(idx.size()) + " indexes and " +
                       std::to_string(v.size()) + " coordinates");
    }
    std::map<int, Vec3> sum;
    for (size_t k = 0; k < idx.size(); ++k) {
        Vec3 d{v[3 * k], v[3 * k + 1], v[3 * k + 2]};
        if (!std::isfinite(d.x) || !std::isfinite(d.y) || !std::isfinite(d.z)) {
            throw FbxError(what + " has an offset that is not finite");
        }
        if (pointWeights) {
            d = d * ((*pointWeights)[k] / 100.0);
        }
        sum[idx[k]] = sum[idx[k]] + ctx.SceneOffset(d);
    }
    ShapeTarget t;
    t.name = name;
    for (const auto& [i, d] : sum) {
        t.indexes.push_back(i);
        t.offsets.push_back(d);
    }
    return t;
}

void ApplyBlendShape(const FbxMeshContext& ctx, const FbxObject& model, const FbxObject& blend,
                     Item* item) {
    const FbxScene& file = ctx.file;
    const std::string meshName = Quoted(model.name);
    const int n = item->GetMesh()->GetPointCount();
    const bool fromBlender = WritingProgram(file).find("Blender") != std::string::npos;
    for (const FbxObject* channel : file.Sources(blend.id, "Deformer")) {
        if (channel->subclass != "BlendShapeChannel") {
            continue;
        }
        std::vector<const FbxObject*> shapes;
        for (const FbxObject* g : file.Sources(channel->id, "Geometry")) {
            if (g->subclass == "Shape") {
                shapes.push_back(g);
            }
        }
        if (shapes.empty()) {
            continue;
        }
        const std::string what = "channel " + Quoted(channel->name) + " of mesh " + meshName;
        std::vector<double> full;
        const bool hasFull = channel->node->Child("FullWeights") != nullptr;
        if (hasFull) {
            full = ChildArray(file, *channel->node, "FullWeights");
        }
        for (double f : full) {
            if (!std::isfinite(f)) {
                throw FbxError(what + " has a full weight that is not finite");
            }
        }
        // One shape with a weight per shape point (Blender): point weights.
        const std::vector<double>* pointWeights = nullptr;
        const FbxNode* shapeIndexes = shapes[0]->node->Child("Indexes");
        const size_t shapePoints = shapeIndexes ? file.Document().ArraySize(*shapeIndexes) : 0;
        // (A shape of one point is taken so only from Blender, which never
        // writes in-between shapes.)
        if (shapes.size() == 1 && full.size() == shapePoints &&
            (full.size() > 1 || (full.size() == 1 && fromBlender))) {
            pointWeights = &full;
        } else if (full.size() != shapes.size() && hasFull) {
            ctx.warnings.Warn("full weights count",
                              what + " has " + std::to_string(full.size()) + " full weights for " +
                                  std::to_string(shapes.size()) +
                                  " shapes: they are taken evenly spaced up to 100");
        }
        std::vector<ShapeTarget> targets;
        for (size_t k = 0; k < shapes.size(); ++k) {
            ShapeTarget t = ReadShape(ctx, *shapes[k]->node, shapes[k]->name, pointWeights, n,
                                      "shape " + Quoted(shapes[k]->name) + " of mesh " + meshName);
            t.fullWeight = (pointWeights == nullptr && full.size() == shapes.size())
                               ? full[k]
                               : 100.0 * static_cast<double>(k + 1) / shapes.size();
            targets.push_back(std::move(t));
        }
        // The channel's own property, else its DeformPercent node (Blender
        // writes only that), else the template's.
        double value = file.Number(*channel, "DeformPercent", 0.0);
        const std::vector<double> own = FbxProperty(*channel->node, "DeformPercent");
        if (!own.empty()) {
            value = own[0];
        } else if (const FbxNode* node = channel->node->Child("DeformPercent")) {
            value = node->Number(0);
        }
        if (!std::isfinite(value)) {
            throw FbxError(what + " has a weight that is not finite");
        }
        AddChannel(ctx, meshName, channel->name, std::move(targets),
                   ChannelPercent(ctx, *channel, "DeformPercent", value), item);
    }
}

// FBX 6.x: the model's "Shape" nodes, weighted by the model's property of
// each shape's name.
void ApplyShapes6(const FbxMeshContext& ctx, const FbxObject& model, const FbxObject& geometry,
                  Item* item) {
    const FbxScene& file = ctx.file;
    const std::string meshName = Quoted(model.name);
    const int n = item->GetMesh()->GetPointCount();
    for (const FbxNode& shape : geometry.node->children) {
        if (shape.name != "Shape") {
            continue;
        }
        const std::string name = FbxShortName(shape.Text(0));
        std::vector<ShapeTarget> targets;
        targets.push_back(ReadShape(ctx, shape, name, nullptr, n,
                                    "shape " + Quoted(name) + " of mesh " + meshName));
        const double value = file.Number(model, name.c_str(), 0.0);
        if (!std::isfinite(value)) {
            throw FbxError("shape " + Quoted(name) + " of mesh " + meshName +
                           " has a weight that is not finite");
        }
        AddChannel(ctx, meshName, name, std::move(targets), ChannelPercent(ctx, model, name, value),
                   item);
    }
}

bool IsFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string ForwardSlashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool EndsWith(const std::string& s, const char* tail) {
    const std::string t = tail;
    if (s.size() < t.size()) {
        return false;
    }
    for (size_t i = 0; i < t.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i]) {
            return false;
        }
    }
    return true;
}

// Opens the vertex cache of a mesh: the first active cache deformer whose
// channel holds positions. True when the mesh got one.
bool ApplyVertexCache(const FbxMeshContext& ctx, const FbxObject& model,
                      const std::vector<const FbxObject*>& deformers, Item* item) {
    const FbxScene& file = ctx.file;
    const std::string meshName = Quoted(model.name);
    Mesh* mesh = item->GetMesh();
    for (const FbxObject* d : deformers) {
        if (d->subclass != "VertexCacheDeformer" || file.Number(*d, "Active", 1.0) == 0.0) {
            continue;
        }
        const FbxObject* cache = file.SourceObject(d->id, "Cache");
        if (!cache) {
            ctx.warnings.Warn("vertex cache without file",
                              "the vertex cache of mesh " + meshName + " names no cache file");
            continue;
        }
        const std::string channel = file.Text(*d, "ChannelName");
        const std::string absolute = ForwardSlashes(file.Text(*cache, "CacheAbsoluteFileName"));
        const std::string relative = ForwardSlashes(file.Text(*cache, "CacheFileName"));
        std::string path = absolute;
        if (!IsFile(path)) {
            path = relative.empty() || relative[0] == '/' ? relative : ctx.folder + relative;
        }
        const int type = static_cast<int>(file.Number(*cache, "CacheFileType", 0.0));
        const bool pc2 = type == 1 || (type == 0 && EndsWith(path, ".pc2"));
        const bool maya = type == 2 || (type == 0 && EndsWith(path, ".xml"));
        if (!pc2 && !maya) {
            ctx.warnings.Warn("vertex cache type",
                              "the vertex cache of mesh " + meshName + " (" + path +
                                  ") is of a kind that is not read (read are Maya caches and "
                                  ".pc2): the mesh bakes without it");
            continue;
        }
        Mat34 transform = ctx.geometric;
        for (auto& row : transform.m) {
            for (int c = 0; c < 3; ++c) {
                row[c] *= ctx.unitScale;
            }
        }
        CacheReporter report = [](const std::string& line) {
            HostApp::Get().Log(XSI::CString(Widen(line).c_str()), XSI::siWarningMsg);
        };
        try {
            std::shared_ptr<VertexCache> source;
            if (maya) {
                const MayaCacheDescription description = ReadMayaCacheDescription(path, channel);
                if (!description.interpretation.empty() &&
                    description.interpretation != "positions") {
                    continue; // a channel of normals, or of something else
                }
                source = OpenMayaCache(path, channel, mesh->GetRestPoints(), ctx.framesPerSecond,
                                       transform, report);
            } else {
                const double fileRate =
                    ctx.fileFramesPerSecond > 0.0 ? ctx.fileFramesPerSecond : ctx.framesPerSecond;
                source = OpenPc2Cache(path, mesh->GetRestPoints(), ctx.framesPerSecond, fileRate,
                                      transform, report);
            }
            mesh->SetPointSource(std::move(source));
            return true;
        } catch (const VertexCacheMissing& e) {
            ctx.warnings.Warn("vertex cache missing " + path,
                              std::string(e.what()) + " (the vertex cache of mesh " + meshName +
                                  "): the mesh bakes without it");
        } catch (const VertexCacheError& e) {
            throw FbxError(e.what());
        }
    }
    return false;
}

} // namespace

void ApplyFbxDeformers(const FbxMeshContext& context, const FbxObject& model,
                       const FbxObject& geometry, Item* item) {
    if (item == nullptr || item->GetMesh() == nullptr) {
        return;
    }
    const FbxScene& file = context.file;
    const std::string meshName = Quoted(model.name);
    const std::vector<const FbxObject*> deformers = file.Sources(geometry.id, "Deformer");
    bool hasShapes = file.IsVersion6() && geometry.node->Child("Shape") != nullptr;
    bool hasSkin = false;
    for (const FbxObject* d : deformers) {
        hasShapes = hasShapes || d->subclass == "BlendShape";
        hasSkin = hasSkin || d->subclass == "Skin";
    }
    if (ApplyVertexCache(context, model, deformers, item)) {
        if (hasSkin || hasShapes) {
            context.warnings.Warn("cache over deformers",
                                  "the skin and blend shapes of mesh " + meshName +
                                      " give way to its vertex cache, which holds the final "
                                      "points");
        }
        return;
    }
    if (file.IsVersion6()) {
        ApplyShapes6(context, model, geometry, item);
    }
    bool skinned = false;
    for (const FbxObject* d : deformers) {
        const std::string& kind = d->subclass;
        if (kind == "BlendShape") {
            ApplyBlendShape(context, model, *d, item);
        } else if (kind == "Skin") {
            if (skinned) {
                context.warnings.Warn("second skin", "mesh " + meshName +
                                                         " has more than one skin: the first "
                                                         "is evaluated");
                continue;
            }
            ApplySkin(context, model, *d, item);
            skinned = true;
        } else if (kind != "VertexCacheDeformer") {
            context.warnings.Warn("deformer " + kind, "the deformer \"" + kind + "\" of mesh " +
                                                          meshName + " is not evaluated");
        }
    }
}

} // namespace host
