// FBX files the reader refuses (one line naming the file and what is wrong),
// the things it meets and does not evaluate (one warning line per kind),
// and the encodings it reads alike (binary of either byte order, text with
// any line ends).
#include "ImporterSupport.h"

#include "host/import/fbx/FbxSceneBuilder.h"

#include <cstring>

using namespace importer_test;

namespace {

// An FBX 7.4 text: settings (Properties70 lines of GlobalSettings),
// objects and connections; a null "N" at the root unless objects are given.
std::string Text(const std::string& settings, const std::string& objects = "",
                 const std::string& connections = "") {
    return "; FBX 7.4.0 project file\nFBXHeaderExtension:  {\n\tFBXVersion: 7400\n}\n"
           "GlobalSettings:  {\n\tProperties70:  {\n" +
           settings + "\t}\n}\nObjects:  {\n" +
           (objects.empty() ? "\tModel: 1, \"Model::N\", \"Null\" {\n\t}\n" : objects) +
           "}\nConnections:  {\n" + (connections.empty() ? "\tC: \"OO\",1,0\n" : connections) +
           "}\n";
}

std::string Unit(const std::string& value) {
    return "\t\tP: \"UnitScaleFactor\", \"double\", \"Number\", \"\"," + value + "\n";
}

std::string CustomRate(const std::string& value) {
    return "\t\tP: \"TimeMode\", \"enum\", \"\", \"\",14\n"
           "\t\tP: \"CustomFrameRate\", \"double\", \"Number\", \"\"," +
           value + "\n";
}

// A mesh model "M" (a triangle whose first x is `x`) at the root.
std::string Triangle(const std::string& x) {
    return "\tModel: 1, \"Model::M\", \"Mesh\" {\n\t}\n"
           "\tGeometry: 2, \"Geometry::M\", \"Mesh\" {\n"
           "\t\tVertices: *9 {\n\t\t\ta: " +
           x +
           ",0,0,0,1,0,0,0,1\n\t\t}\n"
           "\t\tPolygonVertexIndex: *3 {\n\t\t\ta: 0,1,-3\n\t\t}\n\t}\n";
}

struct Loaded {
    std::string error;                 // "" when it loaded
    std::vector<std::string> warnings; // the warning lines of the load
};

Loaded LoadText(const std::string& name, const std::string& text, double fps = 0.0) {
    const std::string path = std::string(ZK_TEST_OUT_DIR) + "/fbx_" + name;
    std::ofstream(path, std::ios::binary) << text;
    FreshHost();
    host::AssimpLoadOptions options;
    options.frameRate = fps;
    Loaded out;
    try {
        host::LoadSceneFile(path, options);
    } catch (const host::SceneLoadError& e) {
        out.error = e.what();
        const size_t colon = out.error.find(path + ": ");
        EXPECT_EQ(colon, 0u) << out.error; // names the file first
        out.error = out.error.substr(path.size() + 2);
    }
    for (const host::LogEntry& e : host::HostApp::Get().GetLog()) {
        if (e.severity == XSI::siWarningMsg) {
            out.warnings.push_back(e.text);
        }
    }
    return out;
}

} // namespace

TEST(FbxRefusals, NumbersThatMakeNoSense) {
    const struct {
        const char* name;
        std::string text;
        double fps;
        const char* error; // "" loads
    } cases[] = {
        {"unit0.fbx", Text(Unit("0")), 0,
         "its unit scale 0 is not a positive number of centimetres"},
        {"unit_negative.fbx", Text(Unit("-1")), 0,
         "its unit scale -1 is not a positive number of centimetres"},
        {"unit_nan.fbx", Text(Unit("nan")), 0,
         "its unit scale nan is not a positive number of centimetres"},
        {"unit_inf.fbx", Text(Unit("inf")), 0,
         "its unit scale inf is not a positive number of centimetres"},
        // Points of 1e30 metres would leave float range on their way.
        {"unit_huge.fbx", Text(Unit("1e40"), Triangle("1"), "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"),
         0, "its unit scale takes the points of mesh \"M\" out of range"},
        {"unit_small.fbx",
         Text(Unit("1e-300"), Triangle("1"), "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"), 0, ""},
        {"rate_tiny.fbx", Text(CustomRate("1e-300")), 0,
         "its frame rate 1e-300 is outside 0.001 to 100000 frames per second"},
        {"rate_huge.fbx", Text(CustomRate("100001")), 0,
         "its frame rate 100001 is outside 0.001 to 100000 frames per second"},
        {"rate_edge.fbx", Text(CustomRate("100000")), 0, ""},
        {"rate_low_edge.fbx", Text(CustomRate("0.001")), 0, ""},
        // A rate given on the command line: the file's is not used.
        {"rate_overridden.fbx", Text(CustomRate("1e-300")), 24, ""},
        {"vertex_nan.fbx", Text(Unit("1"), Triangle("nan"), "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"),
         0, "mesh \"M\": a vertex is not a finite number"},
        {"translation_inf.fbx",
         Text("", "\tModel: 1, \"Model::N\", \"Null\" {\n\t\tProperties70:  {\n\t\t\tP: \"Lcl "
                  "Translation\", \"Lcl Translation\", \"\", \"A\",0,inf,0\n\t\t}\n\t}\n"),
         0, "model \"N\": Lcl Translation is not a finite number"},
        {"vertex_huge.fbx",
         Text(Unit("100"), Triangle("1e35"), "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"), 0,
         "mesh \"M\": a vertex lies out of range"},
        {"translation_huge.fbx",
         Text("", "\tModel: 1, \"Model::N\", \"Null\" {\n\t\tProperties70:  {\n\t\t\tP: \"Lcl "
                  "Translation\", \"Lcl Translation\", \"\", \"A\",0,1e31,0\n\t\t}\n\t}\n"),
         0, "model \"N\": Lcl Translation lies out of range"},
        {"light_nan.fbx",
         Text("",
              "\tModel: 1, \"Model::L\", \"Light\" {\n\t}\n\tNodeAttribute: 2, "
              "\"NodeAttribute::\", \"Light\" {\n\t\tProperties70:  {\n\t\t\tP: "
              "\"Intensity\", \"Number\", \"\", \"A\",nan\n\t\t}\n\t}\n",
              "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"),
         0, "light \"L\": Intensity is not a finite number"},
        {"camera_inf.fbx",
         Text("",
              "\tModel: 1, \"Model::C\", \"Camera\" {\n\t}\n\tNodeAttribute: 2, "
              "\"NodeAttribute::\", \"Camera\" {\n\t\tProperties70:  {\n\t\t\tP: "
              "\"FieldOfView\", \"FieldOfView\", \"\", \"A\",inf\n\t\t}\n\t}\n",
              "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"),
         0, "camera \"C\": FieldOfView is not a finite number"},
        {"version5.fbx",
         "; FBX 5.8.0 project file\nFBXHeaderExtension:  {\n\tFBXVersion: 5800\n}\n", 0,
         "FBX version 5800 is not read (read are FBX 6.x and 7.x files)"},
        {"version8.fbx", "FBXHeaderExtension:  {\n\tFBXVersion: 8000\n}\n", 0,
         "FBX version 8000 is not read (read are FBX 6.x and 7.x files)"},
        {"empty.fbx", "; FBX 7.4.0 project file\n", 0, "the file holds no scene items"},
        {"unclosed.fbx", "; FBX 7.4.0 project file\nObjects:  {\n", 0,
         "FBX text line 3: missing '}'"},
    };
    for (const auto& c : cases) {
        const Loaded l = LoadText(c.name, c.text, c.fps);
        EXPECT_EQ(l.error, c.error) << c.name;
        EXPECT_EQ(l.error.find('\n'), std::string::npos) << c.name;
        if (!*c.error) {
            EXPECT_NE(host::HostApp::Get().GetScene(), nullptr) << c.name;
        }
    }
    // The smallest unit keeps the points finite (if tiny).
    LoadText("unit_small.fbx",
             Text(Unit("1e-300"), Triangle("1"), "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n"));
    const std::vector<host::Vec3> points =
        host::HostApp::Get().GetScene()->FindItem(L"M")->GetMesh()->GetPoints();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].x, 1e-302);
}

namespace {

// A curve node on the translation of "N" (its "d|X" default given) with
// the curve of the text given, bound to "d|X" or not bound at all.
std::string AnimatedNull(const std::string& curve, const std::string& defaultX, bool bound) {
    const std::string objects =
        "\tModel: 1, \"Model::N\", \"Null\" {\n\t}\n"
        "\tAnimationStack: 10, \"AnimStack::Take\", \"\" {\n\t}\n"
        "\tAnimationLayer: 11, \"AnimLayer::Base\", \"\" {\n\t}\n"
        "\tAnimationCurveNode: 20, \"AnimCurveNode::T\", \"\" {\n\t\tProperties70:  {\n"
        "\t\t\tP: \"d|X\", \"Number\", \"\", \"A\"," +
        defaultX + "\n\t\t}\n\t}\n\tAnimationCurve: 30, \"AnimCurve::\", \"\" {\n" + curve +
        "\t}\n";
    return Text("", objects,
                "\tC: \"OO\",1,0\n\tC: \"OO\",11,10\n\tC: \"OO\",20,11\n"
                "\tC: \"OP\",20,1, \"Lcl Translation\"\n" +
                    std::string(bound ? "\tC: \"OP\",30,20, \"d|X\"\n" : ""));
}

std::string Keys(const std::string& times, const std::string& values,
                 const std::string& attributes = "") {
    return "\t\tKeyTime: *0 {\n\t\t\ta: " + times +
           "\n\t\t}\n\t\tKeyValueFloat: *0 {\n\t\t\ta: " + values + "\n\t\t}\n" + attributes;
}

} // namespace

TEST(FbxRefusals, CurvesAreReadOnlyWhenTheSceneUsesThem) {
    // A broken curve is refused, named by what it animates, when it animates
    // the scene; never read when nothing uses it (a file's unconnected curves
    // cost nothing).
    const std::string cubicNanSlope =
        "\t\tKeyAttrFlags: *1 {\n\t\t\ta: 1032\n\t\t}\n"
        "\t\tKeyAttrDataFloat: *4 {\n\t\t\ta: 2143289344,0,0,0\n\t\t}\n"
        "\t\tKeyAttrRefCount: *1 {\n\t\t\ta: 2\n\t\t}\n";
    const struct {
        const char* name;
        std::string curve;
        const char* defaultX;
        const char* error;
    } cases[] = {
        {"counts.fbx", Keys("0,1", "1,2,3"), "0", "FBX animation curve: 2 key times but 3 values"},
        {"nan_value.fbx", Keys("0,1", "1,nan"), "0",
         "FBX animation curve: a key time or value is not a finite number"},
        {"backwards.fbx", Keys("5,1", "1,2"), "0", "FBX animation curve: its key times go back"},
        // A cubic key whose slope is the bits of a NaN.
        {"nan_slope.fbx", Keys("0,46186158000", "1,2", cubicNanSlope), "0",
         "FBX animation curve: a key's slope is not a finite number"},
        {"nan_default.fbx", Keys("0,1", "1,2"), "inf",
         "the default value of \"d|X\" is not a finite number"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            LoadText(std::string("used_") + c.name, AnimatedNull(c.curve, c.defaultX, true)).error,
            std::string("the animation of \"Lcl Translation\" on \"N\": ") + c.error)
            << c.name;
        // Unbound, the curve is never read (the curve node's own default
        // is still the translation's).
        const Loaded unused =
            LoadText(std::string("unused_") + c.name, AnimatedNull(c.curve, "0", false));
        EXPECT_EQ(unused.error, "") << c.name;
    }
}

TEST(FbxRefusals, OneWarningPerKindOfWhatIsNotEvaluated) {
    // Two constraints, an animated property no part of the scene takes, two
    // models outside the scene (in a loop), one below two models, an
    // orthographic camera aimed at a model (which is no second parent of
    // that model), and a soloed layer.
    const std::string objects =
        "\tModel: 1, \"Model::A\", \"Null\" {\n\t}\n"
        "\tModel: 2, \"Model::B\", \"Null\" {\n\t}\n"
        "\tModel: 3, \"Model::Loop1\", \"Null\" {\n\t}\n"
        "\tModel: 4, \"Model::Loop2\", \"Null\" {\n\t}\n"
        "\tConstraint: 5, \"Constraint::aim1\", \"Aim\" {\n\t}\n"
        "\tConstraint: 6, \"Constraint::aim2\", \"Aim\" {\n\t}\n"
        "\tModel: 7, \"Model::Cam\", \"Camera\" {\n\t\tProperties70:  {\n"
        "\t\t\tP: \"CameraProjectionType\", \"enum\", \"\", \"\",1\n\t\t}\n\t}\n"
        "\tAnimationStack: 10, \"AnimStack::Take\", \"\" {\n\t}\n"
        "\tAnimationLayer: 11, \"AnimLayer::Base\", \"\" {\n\t\tProperties70:  {\n"
        "\t\t\tP: \"Solo\", \"bool\", \"\", \"\",1\n\t\t}\n\t}\n"
        "\tAnimationCurveNode: 20, \"AnimCurveNode::Visibility\", \"\" {\n\t}\n"
        "\tAnimationCurve: 30, \"AnimCurve::\", \"\" {\n"
        "\t\tKeyTime: *2 {\n\t\t\ta: 0,46186158000\n\t\t}\n"
        "\t\tKeyValueFloat: *2 {\n\t\t\ta: 0,1\n\t\t}\n\t}\n";
    const std::string links =
        "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n\tC: \"OO\",2,0\n"
        "\tC: \"OO\",7,0\n\tC: \"OP\",1,7, \"LookAtProperty\"\n"
        "\tC: \"OO\",3,4\n\tC: \"OO\",4,3\n"
        "\tC: \"OO\",11,10\n\tC: \"OO\",20,11\n"
        "\tC: \"OP\",20,2, \"Visibility\"\n\tC: \"OP\",30,20, \"d|Visibility\"\n";
    const Loaded l = LoadText("warnings.fbx", Text("", objects, links));
    ASSERT_EQ(l.error, "");
    EXPECT_EQ(l.warnings,
              (std::vector<std::string>{
                  "model \"B\" hangs under more than one model; it is placed under the first",
                  "model \"Loop1\" hangs under no model of the scene and is left out (and 1 more)",
                  "camera \"Cam\" is orthographic; it is baked as a perspective camera",
                  "the look-at target of \"Cam\" is not evaluated",
                  "the constraint \"aim1\" is not evaluated (and 1 more)",
                  "the animation of \"Visibility\" (on \"B\") is not evaluated",
                  "layer \"Base\" is soloed; every layer that is not muted plays"}));
    // B is placed under A, its first parent.
    EXPECT_NE(host::HostApp::Get().GetScene()->FindItem(L"A.B"), nullptr);
}

namespace {

// A binary FBX 7.4 writer of the records the test needs, in either byte order.
class Binary {
  public:
    explicit Binary(bool big) : m_big(big) {}

    struct Node {
        std::string name;
        std::string values; // encoded
        int count = 0;
        std::vector<Node> children;
    };

    std::string Num(char type, uint64_t bits, size_t size) const {
        std::string s(1, type);
        for (size_t i = 0; i < size; ++i) {
            const size_t shift = 8 * (m_big ? size - 1 - i : i);
            s += static_cast<char>((bits >> shift) & 0xff);
        }
        return s;
    }
    std::string I64(int64_t v) const { return Num('L', static_cast<uint64_t>(v), 8); }
    std::string I32(int32_t v) const { return Num('I', static_cast<uint32_t>(v), 4); }
    std::string F64(double v) const {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return Num('D', bits, 8);
    }
    std::string Str(const std::string& v) const {
        return "S" + Num('x', v.size(), 4).substr(1) + v;
    }
    std::string DoubleArray(const std::vector<double>& v) const {
        std::string s = "d" + Num('x', v.size(), 4).substr(1) + Num('x', 0, 4).substr(1) +
                        Num('x', v.size() * 8, 4).substr(1);
        for (double d : v) {
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            s += Num('x', bits, 8).substr(1);
        }
        return s;
    }
    std::string IntArray(const std::vector<int32_t>& v) const {
        std::string s = "i" + Num('x', v.size(), 4).substr(1) + Num('x', 0, 4).substr(1) +
                        Num('x', v.size() * 4, 4).substr(1);
        for (int32_t i : v) {
            s += Num('x', static_cast<uint32_t>(i), 4).substr(1);
        }
        return s;
    }

    std::string File(const std::vector<Node>& top) const {
        std::string out = std::string("Kaydara FBX Binary  \0\x1a", 22) +
                          std::string(1, m_big ? '\1' : '\0') + Num('x', 7400, 4).substr(1);
        for (const Node& n : top) {
            out += Record(n, out.size());
        }
        return out + std::string(13, '\0');
    }

  private:
    std::string Record(const Node& n, size_t at) const {
        const size_t head = 13 + n.name.size();
        std::string body;
        for (const Node& c : n.children) {
            body += Record(c, at + head + n.values.size() + body.size());
        }
        if (!n.children.empty()) {
            body += std::string(13, '\0');
        }
        const size_t end = at + head + n.values.size() + body.size();
        return Num('x', end, 4).substr(1) + Num('x', n.count, 4).substr(1) +
               Num('x', n.values.size(), 4).substr(1) + static_cast<char>(n.name.size()) + n.name +
               n.values + body;
    }

    bool m_big;
};

// A scene of a mesh "Tri" translated by (1,2,3), in binary of one byte order.
std::string BinaryScene(bool big) {
    const Binary b(big);
    using N = Binary::Node;
    N settings{"GlobalSettings", "", 0, {}};
    N props{"Properties70", "", 0, {}};
    props.children.push_back(
        {"P",
         b.Str("UnitScaleFactor") + b.Str("double") + b.Str("Number") + b.Str("") + b.F64(100),
         5,
         {}});
    settings.children.push_back(props);
    N model{"Model", b.I64(5) + b.Str(std::string("Tri\0\1Model", 10)) + b.Str("Mesh"), 3, {}};
    N modelProps{"Properties70", "", 0, {}};
    modelProps.children.push_back({"P",
                                   b.Str("Lcl Translation") + b.Str("Lcl Translation") + b.Str("") +
                                       b.Str("A") + b.F64(1) + b.F64(2) + b.F64(3),
                                   7,
                                   {}});
    model.children.push_back(modelProps);
    N geometry{
        "Geometry", b.I64(6) + b.Str(std::string("\0\1Geometry", 10)) + b.Str("Mesh"), 3, {}};
    geometry.children.push_back({"Vertices", b.DoubleArray({1, 0, 0, 0, 1, 0, 0, 0, 1}), 1, {}});
    geometry.children.push_back({"PolygonVertexIndex", b.IntArray({0, 1, -3}), 1, {}});
    N objects{"Objects", "", 0, {geometry, model}};
    N connections{"Connections", "", 0, {}};
    connections.children.push_back({"C", b.Str("OO") + b.I64(5) + b.I64(0), 3, {}});
    connections.children.push_back({"C", b.Str("OO") + b.I64(6) + b.I64(5), 3, {}});
    return b.File({settings, objects, connections});
}

} // namespace

TEST(FbxRefusals, EncodingsReadAlike) {
    const std::vector<P3> expected{{2, 2, 3}, {1, 3, 3}, {1, 2, 4}};
    std::string lf = Text(Unit("100"), Triangle("1"), "\tC: \"OO\",1,0\n\tC: \"OO\",2,1\n");
    lf.replace(lf.find("\"Mesh\" {\n\t}"), 11,
               "\"Mesh\" {\n\t\tProperties70:  {\n\t\t\tP: \"Lcl Translation\", \"Lcl "
               "Translation\", \"\", \"A\",1,2,3\n\t\t}\n\t}");
    std::string crlf, cr;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        cr += c == '\n' ? '\r' : c;
    }
    const struct {
        const char* name;
        std::string bytes;
        const wchar_t* item;
    } cases[] = {
        {"lf.fbx", lf, L"M"},
        {"crlf.fbx", crlf, L"M"},
        {"cr.fbx", cr, L"M"},
        {"little.fbx", BinaryScene(false), L"Tri"},
        {"big.fbx", BinaryScene(true), L"Tri"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded l = LoadText(c.name, c.bytes);
        ASSERT_EQ(l.error, "");
        const host::Item* item = host::HostApp::Get().GetScene()->FindItem(c.item);
        ASSERT_NE(item, nullptr);
        std::vector<host::Vec3> local(3);
        item->EvalPoints(0, local.data());
        const host::Mat34 g = item->EvalGlobalMatrix(0);
        for (size_t i = 0; i < 3; ++i) {
            const host::Vec3 w = host::Apply(g, local[i]);
            EXPECT_P3_NEAR((P3{w.x, w.y, w.z}), expected[i], "point " << i);
        }
    }
}

TEST(FbxRefusals, NamesAsTheirProgramShowsThem) {
    // Namespaces kept (their ':' made '_'), Maya's FBXASC codes decoded
    // before the name is cleaned, nameless models named by their kind, and
    // a name met twice numbered.
    std::string objects, links;
    const char* names[] = {"rig:Hips", "pCube1FBXASC046001", "", "Box", "Box", "FBXASC0", "Ä"};
    for (int i = 0; i < 7; ++i) {
        const std::string id = std::to_string(i + 1);
        objects += "\tModel: " + id + ", \"Model::" + names[i] + "\", \"Null\" {\n\t}\n";
        links += "\tC: \"OO\"," + id + ",0\n";
    }
    ASSERT_EQ(LoadText("names.fbx", Text("", objects, links)).error, "");
    std::vector<std::string> got;
    const host::Scene* scene = host::HostApp::Get().GetScene();
    for (int i = 0; i < scene->ItemCount(); ++i) {
        const std::wstring& n = scene->GetItem(i)->GetName();
        got.emplace_back(n.begin(), n.end());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"rig_Hips", "pCube1_001", "null", "Box", "Box1",
                                             "FBXASC0", "_"}));
}

TEST(FbxRefusals, AnimationsChosenByNameOrIndex) {
    // Two stacks move "N" along X: "Walk" to 1 and "Run" to 2, over a
    // second, each its own curve; the first plays unless one is named.
    std::string objects = "\tModel: 1, \"Model::N\", \"Null\" {\n\t}\n";
    std::string links = "\tC: \"OO\",1,0\n";
    int id = 100;
    for (const auto& [name, x] : {std::pair{"Walk", "1"}, {"Run", "2"}}) {
        const std::string stack = std::to_string(id), layer = std::to_string(id + 1),
                          node = std::to_string(id + 2), curve = std::to_string(id + 3);
        objects += "\tAnimationStack: " + stack + ", \"AnimStack::" + name +
                   "\", \"\" {\n\t}\n\tAnimationLayer: " + layer +
                   ", \"AnimLayer::Base\", \"\" {\n\t}\n\tAnimationCurveNode: " + node +
                   ", \"AnimCurveNode::T\", \"\" {\n\t}\n\tAnimationCurve: " + curve +
                   ", \"AnimCurve::\", \"\" {\n" + Keys("0,46186158000", std::string("0,") + x) +
                   "\t}\n";
        links += "\tC: \"OO\"," + layer + "," + stack + "\n\tC: \"OO\"," + node + "," + layer +
                 "\n\tC: \"OP\"," + node + ",1, \"Lcl Translation\"\n\tC: \"OP\"," + curve + "," +
                 node + ", \"d|X\"\n";
        id += 10;
    }
    const std::string path = std::string(ZK_TEST_OUT_DIR) + "/fbx_stacks.fbx";
    std::ofstream(path, std::ios::binary) << Text("", objects, links);
    for (const auto& [animation, x] :
         {std::pair{"", 1.0}, {"Walk", 1.0}, {"Run", 2.0}, {"0", 1.0}, {"1", 2.0}}) {
        LoadIntoHost(path, animation);
        const host::Mat34 g =
            host::HostApp::Get().GetScene()->FindItem(L"N")->EvalGlobalMatrix(30.0);
        EXPECT_DOUBLE_EQ(g.m[0][3], x) << animation; // one second at 30 frames per second
    }
    try {
        LoadIntoHost(path, "Jump");
        ADD_FAILURE() << "no error";
    } catch (const host::SceneLoadError& e) {
        EXPECT_EQ(std::string(e.what()),
                  path + ": no animation \"Jump\" (the file has 2 animations: Walk, Run)");
    }
}
