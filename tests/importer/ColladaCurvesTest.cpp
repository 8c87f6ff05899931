// The curves of Collada node transforms, read from small hand-written files.
#include "host/import/ColladaCurves.h"
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

// A file with one node "N" of the elements given, animated by the channels.
std::string File(const std::string& elements, const std::vector<Channel>& channels,
                 const std::string& tool = "Hand") {
    std::string anims;
    for (size_t i = 0; i < channels.size(); ++i) {
        anims += Animation(channels[i], static_cast<int>(i));
    }
    return "<COLLADA><asset><contributor><authoring_tool>" + tool +
           "</authoring_tool></contributor></asset><library_animations>" + anims +
           "</library_animations><library_visual_scenes><visual_scene id=\"S\"><node id=\"N\">" +
           elements + "</node></visual_scene></library_visual_scenes></COLLADA>";
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
    };
    for (const auto& c : cases) {
        const std::string file = File(kTranslate, {c.channel});
        EXPECT_THROW(host::ReadColladaCurves(file), host::FileMeshError) << c.what;
    }
    EXPECT_THROW(host::ReadColladaCurves("<COLLADA><unclosed"), host::FileMeshError);
}
