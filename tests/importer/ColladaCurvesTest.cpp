// The curves of Collada node transforms and the skins of Collada nodes, read
// from small hand-written files.
#include "host/import/ColladaCurves.h"
#include "host/import/ColladaLensLight.h"
#include "host/import/ColladaSkins.h"
#include "host/import/FileMeshes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A <source> of numbers (or names, for a "Name_array"), stride values each.
std::string Source(const std::string& id, const std::string& text, int count, int stride,
                   const char* array = "float_array") {
    return "<source id=\"" + id + "\"><" + array + " id=\"" + id + "-a\">" + text + "</" + array +
           "><technique_common><accessor source=\"#" + id + "-a\" count=\"" +
           std::to_string(count) + "\" stride=\"" + std::to_string(stride) +
           "\"/></technique_common></source>";
}

struct Channel {
    std::string target;
    std::string times;
    std::string values;
    int count;
    int width;
    std::string interp; // "" for no INTERPOLATION input
    std::string in;     // "" for no tangents
    std::string out;
    int tangentStride;
};

std::string Animation(const Channel& c, int n) {
    const std::string id = "s" + std::to_string(n);
    std::string a = "<animation>" + Source(id + "t", c.times, c.count, 1) +
                    Source(id + "v", c.values, c.count, c.width);
    std::string inputs = "<input semantic=\"INPUT\" source=\"#" + id +
                         "t\"/><input semantic=\"OUTPUT\" source=\"#" + id + "v\"/>";
    if (!c.interp.empty()) {
        a += Source(id + "i", c.interp, c.count, 1, "Name_array");
        inputs += "<input semantic=\"INTERPOLATION\" source=\"#" + id + "i\"/>";
    }
    if (!c.in.empty()) {
        a += Source(id + "in", c.in, c.count, c.tangentStride) +
             Source(id + "out", c.out, c.count, c.tangentStride);
        inputs += "<input semantic=\"IN_TANGENT\" source=\"#" + id +
                  "in\"/><input semantic=\"OUT_TANGENT\" source=\"#" + id + "out\"/>";
    }
    return a + "<sampler id=\"" + id + "\">" + inputs + "</sampler><channel source=\"#" + id +
           "\" target=\"" + c.target + "\"/></animation>";
}

// A file with one node "N" of the elements given, animated by the channels,
// and the libraries given.
std::string File(const std::string& elements, const std::vector<Channel>& channels,
                 const std::string& tool = "Hand", const std::string& libraries = "") {
    std::string anims;
    for (size_t i = 0; i < channels.size(); ++i) {
        anims += Animation(channels[i], static_cast<int>(i));
    }
    return "<COLLADA><asset><contributor><authoring_tool>" + tool +
           "</authoring_tool></contributor></asset><library_animations>" + anims +
           "</library_animations>" + libraries +
           "<library_visual_scenes><visual_scene id=\"S\"><node id=\"N\">" + elements +
           "</node></visual_scene></library_visual_scenes></COLLADA>";
}

const char* kTranslate = "<translate sid=\"t\">0 0 0</translate>";

// The x translation of node N at a time.
double X(const std::string& file, double time) {
    const auto curves = host::ReadColladaCurves(file);
    const auto it = curves.find("N");
    if (it == curves.end()) {
        ADD_FAILURE() << "node N has no curves";
        return -1e9;
    }
    return it->second->At(time).m[0][3];
}

} // namespace

TEST(ColladaCurves, InterpolationsBetweenKeys) {
    // A move from 0 to 2 between 0 s and 1 s, read at a quarter and at the
    // middle, and outside the keys.
    const struct {
        const char* what;
        Channel channel;
        double quarter, middle;
    } cases[] = {
        {"step", {"N/t.X", "0 1", "0 2", 2, 1, "STEP STEP", "", "", 0}, 0.0, 0.0},
        {"eased Bezier, (time, value) tangents",
         {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "-0.33 0 0.6666667 2", "0.3333333 0 1.33 2",
          2},
         0.3125,
         1.0},
        {"eased Bezier, value-only tangents",
         {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "0 2", "0 2", 1},
         0.3125,
         1.0},
        {"Bezier along the straight line",
         {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "0 0 0.6666667 1.3333333",
          "0.3333333 0.6666667 1 2", 2},
         0.5,
         1.0},
        {"Hermite, flat slopes",
         {"N/t.X", "0 1", "0 2", 2, 1, "HERMITE HERMITE", "0 0", "0 0", 1},
         0.3125,
         1.0},
        {"Hermite, the straight line's slopes",
         {"N/t.X", "0 1", "0 2", 2, 1, "HERMITE HERMITE", "2 2", "2 2", 1},
         0.5,
         1.0},
        // Control points past the other key or behind their own: pulled in,
        // the curve stays a function of time.
        {"Bezier, handles too long",
         {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "0 0 -1 2", "2 0 3 0", 2},
         -1.0,
         1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = File(kTranslate, {c.channel});
        if (c.quarter > -1.0) {
            EXPECT_NEAR(X(file, 0.25), c.quarter, 1e-6);
        }
        EXPECT_NEAR(X(file, 0.5), c.middle, 1e-6);
        EXPECT_NEAR(X(file, -1.0), 0.0, 1e-12);
        EXPECT_NEAR(X(file, 1.0), 2.0, 1e-12);
        EXPECT_NEAR(X(file, 5.0), 2.0, 1e-12);
    }
    // Handles too long still give a value that only grows with time.
    const std::string longHandles = File(kTranslate, {cases[6].channel});
    double last = -1.0;
    for (double t = 0.0; t <= 1.0; t += 0.05) {
        const double x = X(longHandles, t);
        EXPECT_GE(x, last - 1e-9) << t;
        last = x;
    }
}

TEST(ColladaCurves, TargetsOfTheNodeElements) {
    // A whole matrix, linear, and a Bezier curve on one of its values
    // ("(column)(row)"): column 3, row 0 is the x translation.
    const std::string matrix = File("<matrix sid=\"m\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>",
                                    {{"N/m", "0 1",
                                      "1 0 0 5 0 1 0 0 0 0 1 0 0 0 0 1 "
                                      "1 0 0 7 0 1 0 3 0 0 1 0 0 0 0 1",
                                      2, 16, "LINEAR LINEAR", "", "", 0},
                                     {"N/m(3)(0)", "0 1", "0 2", 2, 1, "STEP STEP", "", "", 0}});
    EXPECT_NEAR(X(matrix, 0.5), 0.0, 1e-12);
    EXPECT_NEAR(host::ReadColladaCurves(matrix).at("N")->At(0.5).m[1][3], 1.5, 1e-12);
    EXPECT_TRUE(host::ReadColladaCurves(matrix).at("N")->AnimatesMatrix());

    // A matrix animated by linear keys alone is the file's too: its keys may
    // shear, which Assimp's split into translation, rotation and scaling
    // drops. Halfway between an identity and a shear of x into y, the
    // matrices blend value by value.
    const std::string sheared = File("<matrix sid=\"m\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>",
                                     {{"N/m", "0 1",
                                       "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 "
                                       "1 0 0 0 2 1 0 0 0 0 1 0 0 0 0 1",
                                       2, 16, "LINEAR LINEAR", "", "", 0}});
    ASSERT_EQ(host::ReadColladaCurves(sheared).count("N"), 1u);
    EXPECT_NEAR(host::ReadColladaCurves(sheared).at("N")->At(0.5).m[1][0], 1.0, 1e-12);

    // A rotation's angle, in degrees, after a translation.
    const std::string rotate =
        File("<translate sid=\"t\">0 0 0</translate><rotate sid=\"r\">0 0 1 0</rotate>",
             {{"N/r.ANGLE", "0 1", "0 90", 2, 1, "STEP STEP", "", "", 0}});
    const host::Mat34 turned = host::ReadColladaCurves(rotate).at("N")->At(1.0);
    EXPECT_NEAR(turned.m[1][0], 1.0, 1e-12); // x turned onto y
    EXPECT_NEAR(turned.m[0][1], -1.0, 1e-12);

    // What Assimp's keys already show, and what the reader cannot follow,
    // keep Assimp's keys: no curves for the node.
    const struct {
        const char* what;
        std::string file;
    } kept[] = {
        {"linear curves",
         File(kTranslate, {{"N/t.X", "0 1", "0 2", 2, 1, "LINEAR LINEAR", "", "", 0}})},
        {"no interpolation named",
         File(kTranslate, {{"N/t.X", "0 1", "0 2", 2, 1, "", "", "", 0}})},
        {"a member it does not know",
         File(kTranslate, {{"N/t.Q", "0 1", "0 2", 2, 1, "STEP STEP", "", "", 0}})},
        {"an element it does not know",
         File(std::string(kTranslate) + "<lookat sid=\"l\">0 0 1 0 0 0 0 1 0</lookat>",
              {{"N/t.X", "0 1", "0 2", 2, 1, "STEP STEP", "", "", 0}})},
        // Broken, but not this reader's matter: Assimp reads no such value.
        {"a value that is no transform",
         File(kTranslate, {{"N/hidden", "0 1", "0", 2, 1, "STEP STEP", "", "", 0}})},
        {"a sid the node lacks",
         File(kTranslate, {{"N/u.X", "0 1", "0 2", 2, 1, "STEP STEP", "", "", 0}})},
        {"a whole element of the wrong size",
         File(kTranslate, {{"N/t", "0 1", "0 2", 2, 1, "STEP STEP", "", "", 0}})},
    };
    for (const auto& k : kept) {
        EXPECT_EQ(host::ReadColladaCurves(k.file).count("N"), 0u) << k.what;
    }
}

TEST(ColladaCurves, BlenderKeyframeLayout) {
    // Blender writes scale, rotations Z, Y, X and location in this order and
    // means location x rotation x scale.
    const std::string elements = "<scale sid=\"scale\">2 2 2</scale>"
                                 "<rotate sid=\"rotationZ\">0 0 1 90</rotate>"
                                 "<rotate sid=\"rotationY\">0 1 0 0</rotate>"
                                 "<rotate sid=\"rotationX\">1 0 0 0</rotate>"
                                 "<translate sid=\"location\">1 0 0</translate>";
    const auto blender = host::ReadColladaCurves(File(elements, {}, "Blender 3.4.1"));
    ASSERT_EQ(blender.count("N"), 1u);
    const host::Mat34 m = blender.at("N")->At(0.0);
    EXPECT_NEAR(m.m[0][3], 1.0, 1e-12); // the location as written
    EXPECT_NEAR(m.m[1][3], 0.0, 1e-12);
    EXPECT_NEAR(m.m[1][0], 2.0, 1e-12); // x scaled, then turned onto y
    // The same elements from another tool compose as written: Assimp's own
    // transform already does.
    EXPECT_EQ(host::ReadColladaCurves(File(elements, {}, "Other")).count("N"), 0u);
}

TEST(ColladaCurves, BrokenSamplersAreRefused) {
    const struct {
        const char* what;
        Channel channel;
    } cases[] = {
        {"fewer values than times", {"N/t.X", "0 1", "0", 2, 1, "STEP STEP", "", "", 0}},
        {"fewer interpolations than keys", {"N/t.X", "0 1", "0 2", 2, 1, "STEP", "", "", 0}},
        {"times out of order", {"N/t.X", "1 0", "0 2", 2, 1, "STEP STEP", "", "", 0}},
        {"text that is no number", {"N/t.X", "0 x", "0 2", 2, 1, "STEP STEP", "", "", 0}},
        {"Bezier keys without tangents", {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "", "", 0}},
        {"tangents that fit no value",
         {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "0 0 0 0 0 0", "0 0 0 0 0 0", 3}},
        {"tangents shorter than the keys",
         {"N/t.X", "0 1", "0 2", 2, 1, "BEZIER BEZIER", "0 0 1", "0 0 1", 2}},
        {"values of no width", {"N/t.X", "0 1", "0 2", 2, 0, "STEP STEP", "", "", 0}},
        {"values 17 wide", {"N/t.X", "0 1", "0 2", 2, 17, "STEP STEP", "", "", 0}},
    };
    for (const auto& c : cases) {
        const std::string file = File(kTranslate, {c.channel});
        EXPECT_THROW(host::ReadColladaCurves(file), host::FileMeshError) << c.what;
    }
    EXPECT_THROW(host::ReadColladaCurves("<COLLADA><unclosed"), host::FileMeshError);
}

namespace {

// A skin controller of two vertices on the joints given (a Name_array, or
// an IDREF_array of ids), each joint's inverse bind matrix a translation by
// (j + 1, 0, 0), the bind shape a translation by (0, 10, 0); v: the
// <vertex_weights> pairs (joint, weight index) of weights 0.25, 0.75, 0.
std::string Controller(const std::string& id, const std::string& joints, int count, bool ids,
                       const std::string& vcount, const std::string& v) {
    std::string matrices;
    for (int j = 0; j < count; ++j) {
        matrices += "1 0 0 " + std::to_string(j + 1) + " 0 1 0 0 0 0 1 0 0 0 0 1 ";
    }
    return "<controller id=\"" + id + "\"><skin source=\"#geo\">" +
           "<bind_shape_matrix>1 0 0 0 0 1 0 10 0 0 1 0 0 0 0 1</bind_shape_matrix>" +
           Source(id + "j", joints, count, 1, ids ? "IDREF_array" : "Name_array") +
           Source(id + "m", matrices, count, 16) + Source(id + "w", "0.25 0.75 0", 3, 1) +
           "<joints><input semantic=\"JOINT\" source=\"#" + id +
           "j\"/><input semantic=\"INV_BIND_MATRIX\" source=\"#" + id + "m\"/></joints>" +
           "<vertex_weights count=\"2\"><input semantic=\"JOINT\" source=\"#" + id +
           "j\" offset=\"0\"/><input semantic=\"WEIGHT\" source=\"#" + id +
           "w\" offset=\"1\"/><vcount>" + vcount + "</vcount><v>" + v +
           "</v></vertex_weights></skin></controller>";
}

std::string SkinScene(const std::string& controllers) {
    return "<COLLADA><library_geometries><geometry id=\"geo\"/></library_geometries>"
           "<library_controllers>" +
           controllers +
           "</library_controllers><library_visual_scenes><visual_scene id=\"s\">"
           "<node id=\"A\"><node id=\"A_Up\" name=\"Up\" sid=\"Up\">"
           "<node id=\"A_Lo\" name=\"Lo\" sid=\"Lo\"/></node></node>"
           "<node id=\"B\"><node id=\"B_Up\" name=\"Up\" sid=\"Up\">"
           "<node id=\"B_Lo\" name=\"Lo\" sid=\"Lo\"/></node></node>"
           "<node id=\"X\"><instance_controller url=\"#c\"><skeleton>#B_Up</skeleton>"
           "</instance_controller></node>"
           "<node id=\"Y\"><instance_controller url=\"#c\"/></node>"
           "<node id=\"Z\"><instance_controller url=\"#d\"><skeleton>#B</skeleton>"
           "</instance_controller></node>"
           "</visual_scene></library_visual_scenes></COLLADA>";
}

std::map<std::string, std::shared_ptr<const host::ColladaSkin>> Skins(const std::string& text) {
    return host::ReadColladaSkins(host::ParseColladaXml(text));
}

} // namespace

TEST(ColladaSkins, JointsAreFoundFromTheSkeletonRoots) {
    // Both rigs have the sids Up and Lo: X's skeleton picks rig B; Y has no
    // skeleton and takes the first in the file; Z names ids, one of them
    // no node, and its vertex 1 has an influence of joint -1 (the bind
    // shape), which is dropped.
    const auto skins =
        Skins(SkinScene(Controller("c", "Lo Up", 2, false, "2 1", "0 0 1 1 1 2") +
                        Controller("d", "B_Lo none", 2, true, "1 2", "0 1 -1 0 0 0")));
    ASSERT_EQ(skins.size(), 3u);
    const host::ColladaSkin& x = *skins.at("X");
    EXPECT_EQ(x.geometry, "geo");
    EXPECT_EQ(x.jointNodes, (std::vector<std::string>{"B_Lo", "B_Up"}));
    EXPECT_EQ(skins.at("Y")->jointNodes, (std::vector<std::string>{"A_Lo", "A_Up"}));
    EXPECT_EQ(skins.at("Z")->jointNodes, (std::vector<std::string>{"B_Lo", ""}));
    // Vertex 0: Lo 0.25, Up 0.75; vertex 1: Up with weight 0, left out.
    EXPECT_EQ(x.start, (std::vector<int>{0, 2, 2}));
    EXPECT_EQ(x.joint, (std::vector<int>{0, 1}));
    EXPECT_EQ(x.weight, (std::vector<double>{0.25, 0.75}));
    EXPECT_EQ(x.dropped, 0u);
    EXPECT_EQ(skins.at("Z")->dropped, 1u);
    // Offsets: the inverse bind matrix times the bind shape matrix.
    ASSERT_EQ(x.offsets.size(), 2u);
    EXPECT_EQ(x.offsets[1].m[0][3], 2.0);
    EXPECT_EQ(x.offsets[1].m[1][3], 10.0);
}

TEST(ColladaSkins, BrokenSkinsAreRefused) {
    const std::string good = Controller("c", "Lo Up", 2, false, "2 1", "0 0 1 1 1 2");
    const struct {
        const char* name;
        std::string from, to;
    } cases[] = {
        {"no inverse bind matrices", "INV_BIND_MATRIX", "OTHER"},
        {"fewer matrices than joints", "count=\"2\" stride=\"16\"", "count=\"1\" stride=\"16\""},
        {"fewer pairs than counts", "<v>0 0 1 1 1 2</v>", "<v>0 0 1 1</v>"},
        {"a weight index past the weights", "<v>0 0 1 1 1 2</v>", "<v>0 0 1 1 1 7</v>"},
        {"a bind shape of 15 numbers", "0 0 0 1</bind_shape_matrix>", "0 0 1</bind_shape_matrix>"},
        {"more vertices than counts", "<vertex_weights count=\"2\">",
         "<vertex_weights count=\"3\">"},
        {"an offset past the inputs' room", "w\" offset=\"1\"", "w\" offset=\"1000\""},
        {"a negative offset", "j\" offset=\"0\"", "j\" offset=\"-1\""},
    };
    for (const auto& c : cases) {
        std::string bad = good;
        ASSERT_NE(bad.find(c.from), std::string::npos) << c.name;
        bad.replace(bad.find(c.from), c.from.size(), c.to);
        EXPECT_THROW(Skins(SkinScene(bad)), host::FileMeshError) << c.name;
    }
}

TEST(ColladaLensLight, LensesAndLightColoursOfTheNodesThatShowThem) {
    // N shows camera "cam" (yfov 40, aspect 2, its yfov keyed 40 to 60) and
    // light "lamp" (colour 1 0.5 0, green keyed, then all three keyed);
    // other channels animate nothing read here.
    const std::string libraries =
        "<library_cameras><camera id=\"cam\" name=\"Lens\"><optics><technique_common>"
        "<perspective><yfov sid=\"yfov\">40</yfov><aspect_ratio>2</aspect_ratio>"
        "</perspective></technique_common></optics></camera></library_cameras>"
        "<library_lights><light id=\"lamp\" name=\"Lamp\"><technique_common><point>"
        "<color sid=\"color\">1 0.5 0</color></point></technique_common></light>"
        "</library_lights><library_materials><material id=\"mat\"/></library_materials>";
    const std::string shows = "<instance_camera url=\"#cam\"/><instance_light url=\"#lamp\"/>";
    const auto read = [&](const std::vector<Channel>& channels, const char* tool = "Hand") {
        return host::ReadColladaLensLight(
            host::ParseColladaXml(File(shows, channels, tool, libraries)));
    };
    const host::ColladaLensLight r = read({{"cam/yfov", "0 1", "40 60", 2, 1, "", "", "", 0},
                                           {"lamp/color.G", "0 2", "0.5 1", 2, 1, "", "", "", 0},
                                           {"lamp/energy", "0 1", "1 2", 2, 1, "", "", "", 0},
                                           {"mat/diffuse", "0 1", "1 2", 2, 1, "", "", "", 0},
                                           {"nothing/xfov", "0 1", "1 2", 2, 1, "", "", "", 0}});
    ASSERT_EQ(r.lenses.count("N"), 1u);
    const host::ColladaLens& lens = *r.lenses.at("N");
    // Horizontal: 2 atan(aspect tan(yfov / 2)).
    const double degrees = 180.0 / 3.14159265358979323846;
    EXPECT_NEAR(lens.HorizontalFov(0.0), 2 * std::atan(2 * std::tan(20 / degrees)) * degrees, 1e-9);
    EXPECT_NEAR(lens.HorizontalFov(0.5), 2 * std::atan(2 * std::tan(25 / degrees)) * degrees, 1e-9);
    EXPECT_EQ(lens.Aspect(0.5), 2.0);
    ASSERT_EQ(r.lights.count("N"), 1u);
    double rgb[3];
    r.lights.at("N")->At(1.0, rgb);
    EXPECT_EQ(rgb[0], 1.0);
    EXPECT_EQ(rgb[1], 0.75);
    EXPECT_EQ(rgb[2], 0.0);
    EXPECT_EQ(r.endTime, 2.0);
    EXPECT_EQ(r.unread, (std::vector<std::string>{"lamp/energy", "mat/diffuse", "nothing/xfov"}));

    // The whole colour; Blender's names of the camera and light ("N-Lens-
    // camera"), read only in a file Blender wrote.
    const std::vector<Channel> blender = {
        {"N-Lamp-light/color", "0 1", "0 0 1 0 1 0", 2, 3, "", "", "", 0},
        {"N-Lens-camera/yfov", "0 1", "30 50", 2, 1, "", "", "", 0}};
    const host::ColladaLensLight b = read(blender, "Blender 3.4.1");
    EXPECT_TRUE(b.unread.empty());
    b.lights.at("N")->At(1.0, rgb);
    EXPECT_EQ(rgb[1], 1.0);
    EXPECT_NEAR(b.lenses.at("N")->HorizontalFov(1.0),
                2 * std::atan(2 * std::tan(25 / degrees)) * degrees, 1e-9);
    EXPECT_EQ(read(blender).unread.size(), 2u);
}
