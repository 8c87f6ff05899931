// The scene Blender exported (data/dcc, see its README) against Blender's own
// evaluated points: every mesh of every file on every frame the file can
// reproduce. Points are compared as sets (every point lies near some expected
// point of the frame, and every expected point is met), so the comparison
// holds whether a mesh's points are the file's vertices or one per polygon
// corner; the point order is another test's matter.
#include "ImporterSupport.h"
#include "host/import/ColladaTimeline.h"

#include <assimp/scene.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <memory>

using namespace importer_test;

namespace {

// The larger of: the farthest a point lies from every expected point, and
// the farthest an expected point lies from every point.
double PointSetError(const std::vector<P3>& points, const std::vector<double>& flat) {
    std::vector<P3> expected;
    for (size_t i = 0; i + 2 < flat.size(); i += 3) {
        expected.push_back({flat[i], flat[i + 1], flat[i + 2]});
    }
    if (points.empty() || expected.empty()) {
        return points.size() == expected.size() ? 0.0 : DBL_MAX;
    }
    auto dist = [](const P3& a, const P3& b) {
        const P3 d = a - b;
        return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    };
    std::vector<double> nearestToExpected(expected.size(), DBL_MAX);
    double worst = 0.0;
    for (const P3& p : points) {
        double nearest = DBL_MAX;
        for (size_t j = 0; j < expected.size(); ++j) {
            const double d = dist(p, expected[j]);
            nearest = std::min(nearest, d);
            nearestToExpected[j] = std::min(nearestToExpected[j], d);
        }
        worst = std::max(worst, nearest);
    }
    for (double d : nearestToExpected) {
        worst = std::max(worst, d);
    }
    return worst;
}

struct MeshCase {
    const wchar_t* item;
    const char* mesh; // its name in the expected data
    int lastFrame;    // frames 0..lastFrame hold what Blender shows
};

void ExpectSceneMatchesBlender(const char* file, std::initializer_list<MeshCase> meshes) {
    SCOPED_TRACE(file);
    FreshHost().SetFrameRate(Expected()["fps"].get<double>());
    host::LoadSceneFile(std::string(ZK_DATA_DIR "/dcc/") + file);
    for (const MeshCase& m : meshes) {
        const auto& frames = Expected()["meshes"][m.mesh]["frames"];
        for (int f = 0; f <= m.lastFrame; ++f) {
            const double error =
                PointSetError(Points(m.item, f, true), frames[f].get<std::vector<double>>());
            EXPECT_LT(error, kTolerance) << m.mesh << " frame " << f;
        }
    }
}

} // namespace

TEST(BlenderScenes, ColladaSkinFollowsTheBoneAnimation) {
    // Assimp hands the bone channels over apart from the other objects'
    // channels; the limb only bends when both play together. Collada keeps no
    // shape key here, so the sphere is only checked at its basis (frame 0).
    ExpectSceneMatchesBlender("rig.dae", {{L"Limb", "Limb", 16}, //
                                          {L"Box", "Box", 16},
                                          {L"Blob", "Blob", 0}});
}

TEST(BlenderScenes, GltfAndFbxMotion) {
    ExpectSceneMatchesBlender("rig.glb", {{L"Limb", "Limb", 16}, //
                                          {L"Box", "Box", 16},
                                          {L"Blob", "Blob", 16}});
    // The FBX sphere's shape-key curve is not checked here.
    for (const char* file : {"rig_m.fbx", "rig_m_ascii.fbx"}) {
        ExpectSceneMatchesBlender(file, {{L"Limb", "Limb", 16}, {L"Box", "Box", 16}});
    }
    // OBJ holds the scene at frame 0.
    ExpectSceneMatchesBlender("rig.obj", {{L"Limb", "Limb", 0}, //
                                          {L"Box", "Box", 0},
                                          {L"Blob", "Blob", 0}});
}

TEST(BlenderScenes, ColladaAnimationsFormOneTimelineWithoutClips) {
    const struct {
        const char* text;
        bool timeline;
    } cases[] = {
        {"<?xml?><COLLADA><library_animations/></COLLADA>", true},
        {"<COLLADA><library_animation_clips><animation_clip id=\"a\"/></library_animation_clips>",
         false},
        {"<COLLADA><animation_clip id=\"a\"/>", false},
        {"{\"asset\":{}}", false}, // no Collada text
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(host::IsColladaTimelineText(c.text), c.timeline) << c.text;
    }
    EXPECT_FALSE(host::IsColladaTimelineFile(ZK_DATA_DIR "/no-such-file.dae"));
    EXPECT_TRUE(host::IsColladaTimelineFile(ZK_DATA_DIR "/dcc/rig.dae"));
}

namespace {

aiAnimation* Animation(double ticksPerSecond, double duration,
                       std::initializer_list<const char*> nodes) {
    aiAnimation* anim = new aiAnimation();
    anim->mTicksPerSecond = ticksPerSecond;
    anim->mDuration = duration;
    anim->mNumChannels = static_cast<unsigned>(nodes.size());
    anim->mChannels = new aiNodeAnim*[nodes.size()];
    unsigned i = 0;
    for (const char* node : nodes) {
        anim->mChannels[i] = new aiNodeAnim();
        anim->mChannels[i++]->mNodeName = node;
    }
    return anim;
}

std::unique_ptr<aiScene> SceneOf(std::initializer_list<aiAnimation*> anims) {
    auto scene = std::make_unique<aiScene>();
    scene->mNumAnimations = static_cast<unsigned>(anims.size());
    scene->mAnimations = new aiAnimation*[anims.size()];
    std::copy(anims.begin(), anims.end(), scene->mAnimations);
    return scene;
}

std::vector<std::string> ChannelNodes(const aiAnimation& anim) {
    std::vector<std::string> out;
    for (unsigned i = 0; i < anim.mNumChannels; ++i) {
        out.push_back(anim.mChannels[i]->mNodeName.C_Str());
    }
    return out;
}

} // namespace

TEST(BlenderScenes, JoinAnimations) {
    // Disjoint channels at one tick rate: one animation of the longest duration.
    auto joined =
        SceneOf({Animation(1000, 400, {"Cam", "Pivot"}), Animation(1000, 666, {"Upper", "Lower"}),
                 Animation(1000, 10, {"Lamp"})});
    EXPECT_TRUE(host::JoinAnimations(joined.get()));
    ASSERT_EQ(joined->mNumAnimations, 1u);
    EXPECT_EQ(joined->mAnimations[0]->mDuration, 666);
    EXPECT_EQ(ChannelNodes(*joined->mAnimations[0]),
              (std::vector<std::string>{"Cam", "Pivot", "Upper", "Lower", "Lamp"}));

    // A node animated twice, or two tick rates: left alone.
    auto twice = SceneOf({Animation(1000, 1, {"Cam"}), Animation(1000, 1, {"Lamp", "Cam"})});
    auto rates = SceneOf({Animation(1000, 1, {"Cam"}), Animation(24, 1, {"Lamp"})});
    auto single = SceneOf({Animation(1000, 1, {"Cam"})});
    for (aiScene* scene : {twice.get(), rates.get(), single.get()}) {
        const unsigned before = scene->mNumAnimations;
        EXPECT_FALSE(host::JoinAnimations(scene));
        EXPECT_EQ(scene->mNumAnimations, before);
    }
    EXPECT_FALSE(host::JoinAnimations(nullptr));
}

namespace {

// The worst distance between a mesh's points and Blender's, point by point
// in the file's vertex order, over the expected data's frames.
// scale: the scene's numbers per metre.
double WorstInOrder(const std::string& expectedFile, const char* mesh, const wchar_t* item,
                    double scale = 1.0) {
    const nlohmann::json& expected = Expected(expectedFile);
    const auto& frames = expected["meshes"][mesh]["frames"];
    const int first = expected["first_frame"].get<int>();
    double worst = 0.0;
    for (size_t f = 0; f < frames.size(); ++f) {
        const std::vector<P3> points = Points(item, first + static_cast<double>(f), true);
        const std::vector<double> flat = frames[f].get<std::vector<double>>();
        if (points.size() * 3 != flat.size()) {
            ADD_FAILURE() << mesh << " has " << points.size() << " points on frame " << first + f;
            return DBL_MAX;
        }
        for (size_t i = 0; i < points.size(); ++i) {
            const P3 d = points[i] - P3{flat[3 * i], flat[3 * i + 1], flat[3 * i + 2]} * scale;
            worst = std::max(worst, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) / scale);
        }
    }
    return worst;
}

} // namespace

TEST(BlenderScenes, ColladaKeysPlayTheFileCurves) {
    // Blender writes the keys an artist set as Bezier curves (eased in and
    // out); the frames between the keys, and those before and after them,
    // are where the curves show.
    FreshHost().SetFrameRate(Expected("eased_expected.json")["fps"].get<double>());
    host::LoadSceneFile(ZK_DATA_DIR "/dcc/eased.dae");
    EXPECT_LT(WorstInOrder("eased_expected.json", "Box", L"Box"), kTolerance);
    EXPECT_LT(WorstInOrder("eased_expected.json", "Crate", L"Crate"), kTolerance);

    // The same file in centimetres: the curves' translations are the file's
    // numbers, scaled to metres like every other; --keep-units keeps them.
    std::string text = ReadText(ZK_DATA_DIR "/dcc/eased.dae");
    const std::string metre = "<unit name=\"meter\" meter=\"1\"/>";
    ASSERT_NE(text.find(metre), std::string::npos);
    text.replace(text.find(metre), metre.size(), "<unit name=\"centimeter\" meter=\"0.01\"/>");
    const zkt::ScratchDir scratch;
    const std::string cm = scratch / "eased_cm.dae";
    std::ofstream(cm, std::ios::binary) << text;
    for (const bool keep : {false, true}) {
        FreshHost().SetFrameRate(Expected("eased_expected.json")["fps"].get<double>());
        host::AssimpLoadOptions options;
        options.keepUnits = keep;
        host::LoadSceneFile(cm, options);
        const double scale = keep ? 1.0 : 0.01;
        EXPECT_LT(WorstInOrder("eased_expected.json", "Box", L"Box", scale), kTolerance) << keep;
        EXPECT_LT(WorstInOrder("eased_expected.json", "Crate", L"Crate", scale), kTolerance)
            << keep;
    }
}

TEST(BlenderScenes, ColladaLensAndLightColourAreAnimated) {
    // Blender samples the lens as xfov and the colour per component every
    // frame, naming the camera and light in its own way (see the fixture's
    // README): the camera's horizontal angle and the light's colour follow
    // Blender's on every frame, the colour split into the shader's colour
    // (largest component 1) and intensity.
    const nlohmann::json& expected = Expected("lens_expected.json");
    FreshHost().SetFrameRate(expected["fps"].get<double>());
    host::LoadSceneFile(ZK_DATA_DIR "/dcc/lens.dae");
    EXPECT_EQ(host::HostApp::Get().GetScene()->GetEndFrame(), expected["last_frame"].get<double>());
    EXPECT_EQ(Param(L"Cam", L"fovtype", 0), 1.0);
    const auto& fov = expected["cameras"]["Cam"]["xfov"];
    const auto& colors = expected["lights"]["Lamp"]["color"];
    for (int f = 0; f <= expected["last_frame"].get<int>(); ++f) {
        EXPECT_NEAR(Param(L"Cam", L"fov", f), fov[f].get<double>(), 1e-4) << "frame " << f;
        const std::vector<double> rgb = colors[f].get<std::vector<double>>();
        const double intensity = std::max({rgb[0], rgb[1], rgb[2]});
        const auto [color, value] = LightValues(L"Lamp", f);
        EXPECT_NEAR(value, intensity, 1e-5) << "frame " << f;
        EXPECT_P3_NEAR(color, (P3{rgb[0], rgb[1], rgb[2]} * (1.0 / intensity)), "frame " << f);
    }
    for (const host::LogEntry& e : host::HostApp::Get().GetLog()) {
        EXPECT_NE(e.severity, XSI::siWarningMsg) << e.text;
    }
}

namespace {

// The keys (time in seconds, value) of the envelopes that follow a line of a
// LightWave scene ("ZoomFactor (envelope)", "LightColor (envelope)"),
// envelope by envelope.
std::vector<std::map<double, double>> Envelopes(const std::string& lws, const std::string& line) {
    std::vector<std::map<double, double>> out;
    std::istringstream in(lws.substr(lws.find(line)));
    std::string text;
    std::getline(in, text);
    while (std::getline(in, text) && text.rfind("{ Envelope", 0) == 0) {
        out.emplace_back();
        while (std::getline(in, text) && text != "}") {
            std::istringstream key(text);
            std::string word;
            double value = 0.0, time = 0.0;
            if (key >> word >> value >> time && word == "Key") {
                out.back()[std::round(time * 24.0)] = value; // by frame at 24 fps
            }
        }
    }
    return out;
}

} // namespace

TEST(BlenderScenes, ColladaLensAndLightColourReachTheSceneFiles) {
    // The bake keys the zoom and the light's colour on every frame: the
    // lens zooms in (35 to 85 mm) by frame 10, the red falls to under a
    // fourth of the green by frame 8.
    const zkt::ScratchDir scratch;
    const Outcome r = Xsihost("bake --quiet --scene " ZK_DATA_DIR "/dcc/lens.dae --fps 24 " +
                              scratch.Dir() + "/out");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string lws = ReadText(scratch.Dir() + "/out/scene.lws");
    const auto& xfov = Expected("lens_expected.json")["cameras"]["Cam"]["xfov"];
    const auto& rgb = Expected("lens_expected.json")["lights"]["Lamp"]["color"];
    const std::vector<std::map<double, double>> zoom = Envelopes(lws, "ZoomFactor (envelope)");
    ASSERT_EQ(zoom.size(), 1u);
    ASSERT_EQ(zoom[0].count(0), 1u);
    ASSERT_EQ(zoom[0].count(10), 1u);
    // A zoom factor goes as 1 / tan(half the angle), whatever its scale.
    const double tan0 = std::tan(xfov[0].get<double>() * kPi / 360.0);
    const double tan10 = std::tan(xfov[10].get<double>() * kPi / 360.0);
    EXPECT_NEAR(zoom[0].at(10) / zoom[0].at(0), tan0 / tan10, 1e-4);
    const std::vector<std::map<double, double>> color = Envelopes(lws, "LightColor (envelope)");
    ASSERT_EQ(color.size(), 3u);
    for (const int f : {0, 8, 16}) {
        ASSERT_EQ(color[0].count(f), 1u);
        EXPECT_NEAR(color[0].at(f) / color[1].at(f),
                    rgb[f][0].get<double>() / rgb[f][1].get<double>(), 1e-4)
            << "frame " << f;
    }
}
