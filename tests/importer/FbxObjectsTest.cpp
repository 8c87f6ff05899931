// The object layer of the FBX reader: objects by id and name, connections,
// properties with their templates, and animated properties through stacks,
// layers and curve nodes (7.x) or takes (6.x).
#include "host/import/fbx/FbxAnimation.h"
#include "host/import/fbx/FbxScene.h"

#include <gtest/gtest.h>

namespace {

// Two models, the second under the first; ids beyond 2^53 tell apart ids a
// double would merge.
const char* const kSeven = R"(; FBX 7.4.0 project file
FBXHeaderExtension:  {
	FBXVersion: 7400
}
Definitions:  {
	ObjectType: "Model" {
		PropertyTemplate: "FbxNode" {
			Properties70:  {
				P: "Lcl Scaling", "Lcl Scaling", "", "A",1,1,1
				P: "RotationOrder", "enum", "", "",0
			}
		}
	}
	ObjectType: "NodeAttribute" {
		PropertyTemplate: "FbxCamera" {
			Properties70:  {
				P: "FocalLength", "Number", "", "A",35
			}
		}
		PropertyTemplate: "FbxLight" {
			Properties70:  {
				P: "Intensity", "Number", "", "A",100
			}
		}
	}
}
Objects:  {
	Model: 9007199254740993, "Model::Arm", "Null" {
		Properties70:  {
			P: "Lcl Translation", "Lcl Translation", "", "A+",1,2,3
			P: "RotationOrder", "enum", "", "",4
		}
	}
	Model: 9007199254740992, "Model::Hand", "Camera" {
	}
	NodeAttribute: 5, "NodeAttribute::", "Camera" {
	}
	Geometry: 6, "Geometry::", "Mesh" {
	}
	AnimationStack: 10, "AnimStack::Walk", "" {
		Properties70:  {
			P: "LocalStart", "KTime", "Time", "",0
			P: "LocalStop", "KTime", "Time", "",46186158000
		}
	}
	AnimationLayer: 11, "AnimLayer::Base", "" {
	}
	AnimationLayer: 12, "AnimLayer::Extra", "" {
		Properties70:  {
			P: "Weight", "Number", "", "A",50
		}
	}
	AnimationCurveNode: 20, "AnimCurveNode::T", "" {
		Properties70:  {
			P: "d|X", "Number", "", "A",7
			P: "d|Y", "Number", "", "A",8
			P: "d|Z", "Number", "", "A",9
		}
	}
	AnimationCurveNode: 21, "AnimCurveNode::T", "" {
		Properties70:  {
			P: "d|X", "Number", "", "A",0
		}
	}
	AnimationCurve: 30, "AnimCurve::", "" {
		KeyTime: *2 {
			a: 0,46186158000
		}
		KeyValueFloat: *2 {
			a: 10,20
		}
		KeyAttrFlags: *1 {
			a: 4
		}
		KeyAttrDataFloat: *4 {
			a: 0,0,0,0
		}
		KeyAttrRefCount: *1 {
			a: 2
		}
	}
	AnimationCurve: 31, "AnimCurve::", "" {
		KeyTime: *1 {
			a: 0
		}
		KeyValueFloat: *1 {
			a: 4
		}
	}
}
Connections:  {
	C: "OO",9007199254740993,0
	C: "OO",9007199254740992,9007199254740993
	C: "OO",5,9007199254740992
	C: "OO",6,9007199254740993
	C: "OO",11,10
	C: "OO",12,10
	C: "OO",20,11
	C: "OO",21,12
	C: "OP",20,9007199254740993, "Lcl Translation"
	C: "OP",21,9007199254740993, "Lcl Translation"
	C: "OP",30,20, "d|X"
	C: "OP",31,21, "d|X"
}
)";

TEST(FbxObjects, ObjectsConnectionsAndTemplates) {
    const host::FbxScene file = host::FbxScene::Read(kSeven);
    EXPECT_EQ(file.Version(), 7400u);
    EXPECT_FALSE(file.IsVersion6());
    ASSERT_EQ(file.Models().size(), 2u);
    const host::FbxObject* arm = file.Find(9007199254740993);
    const host::FbxObject* hand = file.Find(9007199254740992);
    ASSERT_TRUE(arm && hand);
    EXPECT_EQ(arm->name, "Arm");
    EXPECT_EQ(arm->className, "Model");
    EXPECT_EQ(hand->subclass, "Camera");
    EXPECT_EQ(file.ParentModel(*arm), nullptr);
    EXPECT_EQ(file.ParentModel(*hand), arm);
    EXPECT_TRUE(file.InScene(*hand));
    ASSERT_NE(file.GeometryOf(*arm), nullptr);
    EXPECT_EQ(file.GeometryOf(*arm)->id, 6);
    EXPECT_EQ(file.GeometryOf(*hand), nullptr);
    ASSERT_NE(file.AttributeOf(*hand), nullptr);
    EXPECT_EQ(file.AttributeOf(*hand)->id, 5);

    // Own values, then the type's template (by subclass where a type has
    // several), then the caller's fallback.
    const host::Vec3 t = file.Vector(*arm, "Lcl Translation", {});
    EXPECT_EQ(t.z, 3.0);
    EXPECT_EQ(file.Number(*arm, "RotationOrder", -1), 4.0);
    EXPECT_EQ(file.Number(*hand, "RotationOrder", -1), 0.0);
    EXPECT_EQ(file.Vector(*hand, "Lcl Scaling", {}).y, 1.0);
    EXPECT_EQ(file.Number(*hand, "GeometricScaling", -1), -1.0);
    EXPECT_EQ(file.Number(*file.AttributeOf(*hand), "FocalLength", 0), 35.0);

    const auto sources = file.Sources(9007199254740993);
    ASSERT_EQ(sources.size(), 2u); // the hand and the geometry, not the curve nodes
    EXPECT_EQ(sources[0], hand);
    EXPECT_EQ(file.SourceObject(9007199254740993, "Geometry")->id, 6);
    EXPECT_EQ(file.Destinations(5, "Model").at(0), hand);
}

TEST(FbxObjects, LayersBlendAnimatedProperties) {
    const host::FbxScene file = host::FbxScene::Read(kSeven);
    const auto stacks = host::FbxAnimation::Stacks(file);
    ASSERT_EQ(stacks.size(), 1u);
    EXPECT_EQ(stacks[0].name, "Walk");
    EXPECT_TRUE(stacks[0].hasSpan);
    EXPECT_EQ(stacks[0].stop, 1.0);

    const host::FbxAnimation anim(file, 0);
    ASSERT_EQ(anim.Layers().size(), 2u);
    EXPECT_EQ(anim.Layers()[1].weight, 0.5);
    EXPECT_FALSE(anim.WasEvaluated(9007199254740993, "Lcl Translation"));
    const host::FbxAnimatedProperty t =
        anim.Property(9007199254740993, "Lcl Translation", {1, 2, 3});
    EXPECT_TRUE(anim.WasEvaluated(9007199254740993, "Lcl Translation"));
    ASSERT_TRUE(t.IsAnimated());
    ASSERT_EQ(t.LayerCount(), 2u);
    // Base layer: X from its linear curve (10 -> 20 over a second), Y and Z
    // from the curve node's defaults. The additive layer at half weight
    // adds half its X (4) and leaves Y and Z alone.
    for (const auto& [seconds, x] : {std::pair{0.0, 12.0}, {0.5, 17.0}, {1.0, 22.0}, {2.0, 22.0}}) {
        const host::Vec3 v = t.EvaluateVec3(seconds);
        EXPECT_DOUBLE_EQ(v.x, x) << seconds;
        EXPECT_EQ(v.y, 8.0);
        EXPECT_EQ(v.z, 9.0);
    }
    double first = 0, last = 0;
    ASSERT_TRUE(t.KeyRange(&first, &last));
    EXPECT_EQ(first, 0.0);
    EXPECT_EQ(last, 1.0);

    const host::FbxAnimatedProperty still =
        anim.Property(9007199254740992, "Lcl Translation", {5, 6, 7});
    EXPECT_FALSE(still.IsAnimated());
    EXPECT_EQ(still.EvaluateVec3(3.0).y, 6.0);
    EXPECT_EQ(anim.AnimatedProperties().size(), 1u);
}

// FBX 6.1: objects by name, the geometry inside the model, a take of
// per-model channels; keys written on the lines after "Key:".
const char* const kSix =
    "; FBX 6.1.0 project file\r\n"
    "FBXHeaderExtension:  {\r\n\tFBXVersion: 6100\r\n}\r\n"
    "Objects:  {\r\n"
    "\tModel: \"Model::Box\", \"Mesh\" {\r\n"
    "\t\tProperties60:  {\r\n"
    "\t\t\tProperty: \"Lcl Translation\", \"Lcl Translation\", \"A+\",1,2,3\r\n"
    "\t\t}\r\n"
    "\t\tVertices: 0,0,0,1,0,0,1,1,0\r\n"
    "\t\t\t\t,0,1,0\r\n"
    "\t\tPolygonVertexIndex: 0,1,2,-4\r\n"
    "\t}\r\n"
    "\tModel: \"Model::Lid\", \"Null\" {\r\n\t}\r\n"
    "\tGlobalSettings:  {\r\n\t\tProperties60:  {\r\n"
    "\t\t\tProperty: \"UnitScaleFactor\", \"double\", \"\",2.54\r\n"
    "\t\t}\r\n\t}\r\n"
    "}\r\n"
    "Connections:  {\r\n"
    "\tConnect: \"OO\", \"Model::Box\", \"Model::Scene\"\r\n"
    "\tConnect: \"OO\", \"Model::Lid\", \"Model::Box\"\r\n"
    "}\r\n"
    "Takes:  {\r\n"
    "\tTake: \"Open\" {\r\n"
    "\t\tLocalTime: 0,92372316000\r\n"
    "\t\tModel: \"Model::Lid\" {\r\n"
    "\t\t\tChannel: \"Transform\" {\r\n"
    "\t\t\t\tChannel: \"T\" {\r\n"
    "\t\t\t\t\tChannel: \"Y\" {\r\n"
    "\t\t\t\t\t\tDefault: 0\r\n"
    "\t\t\t\t\t\tKey: \r\n"
    "\t\t\t\t\t\t\t0,1,L,46186158000,3,C,s,92372316000,5,L\r\n"
    "\t\t\t\t\t}\r\n"
    "\t\t\t\t}\r\n"
    "\t\t\t}\r\n"
    "\t\t}\r\n"
    "\t}\r\n"
    "}\r\n";

TEST(FbxObjects, Version6ObjectsAndTakes) {
    const host::FbxScene file = host::FbxScene::Read(kSix);
    EXPECT_TRUE(file.IsVersion6());
    ASSERT_EQ(file.Models().size(), 2u);
    const host::FbxObject& box = *file.Models()[0];
    const host::FbxObject& lid = *file.Models()[1];
    EXPECT_EQ(box.name, "Box");
    EXPECT_EQ(file.ParentModel(lid), &box);
    EXPECT_TRUE(file.InScene(lid));
    EXPECT_EQ(file.GeometryOf(box), &box);
    EXPECT_EQ(file.GeometryOf(lid), nullptr);
    EXPECT_EQ(file.Vector(box, "Lcl Translation", {}).y, 2.0);
    EXPECT_EQ(file.SettingsProperty("UnitScaleFactor").Number(0), 2.54);
    const std::vector<double> vertices = file.Document().Array(*box.node->Child("Vertices"));
    EXPECT_EQ(vertices.size(), 12u);

    const auto stacks = host::FbxAnimation::Stacks(file);
    ASSERT_EQ(stacks.size(), 1u);
    EXPECT_EQ(stacks[0].name, "Open");
    EXPECT_EQ(stacks[0].stop, 2.0);
    const host::FbxAnimation anim(file, 0);
    const host::FbxAnimatedProperty t = anim.Property(lid.id, "Lcl Translation", {7, 8, 9});
    ASSERT_TRUE(t.IsAnimated());
    // Linear from 1 to 3, then constant at 3 until the last key.
    for (const auto& [seconds, y] :
         {std::pair{-1.0, 1.0}, {0.5, 2.0}, {1.0, 3.0}, {1.5, 3.0}, {2.0, 5.0}, {9.0, 5.0}}) {
        const host::Vec3 v = t.EvaluateVec3(seconds);
        EXPECT_EQ(v.x, 7.0);
        EXPECT_DOUBLE_EQ(v.y, y) << seconds;
        EXPECT_EQ(v.z, 9.0);
    }
}

} // namespace
