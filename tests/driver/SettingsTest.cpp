// The run's settings read from the 28 arguments: each position reaches its
// own setting, and arguments the host did not pass read as empty values.
#include "command/ZK_Settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const XSI::CString& s) {
    return s.GetAsciiString();
}

// Which switches a settings record holds on, by argument name.
std::string SwitchesOn(const BakeSettings& s) {
    std::string on;
    auto add = [&on](bool value, const char* name) {
        if (value)
            on += std::string(on.empty() ? "" : " ") + name;
    };
    const char* const rowSwitches[kPathSlots] = {"ZK_MDDAct", "ZK_LWOAct", "ZK_EMDLAct",
                                                 "ZK_LWSAct", "ZK_MELAct", "ZK_FXSAct",
                                                 "ZK_XSIAct", "ZK_MAXAct", "ZK_MOTSep"};
    for (int slot = 0; slot < kPathSlots; ++slot)
        add(s.on[slot], rowSwitches[slot]);
    add(s.motAct, "ZK_MOTAct");
    add(s.camAct, "ZK_CAMAct");
    add(s.lightAct, "ZK_LIGHTAct");
    add(s.nullAct, "ZK_NULLAct");
    add(s.objectAct, "ZK_OBJECTAct");
    return on;
}

TEST(Settings, ArgumentsLeftOutReadAsEmptyValues) {
    const BakeSettings s = ReadSettings(XSI::CValueArray());
    EXPECT_EQ(SwitchesOn(s), "");
    EXPECT_EQ(Text(s.objects), "");
    EXPECT_EQ(s.startFrame, 0);
    EXPECT_EQ(s.endFrame, 0);
    EXPECT_EQ(Text(s.rangeText), " to ");
    EXPECT_EQ(s.localSpace, 0);
}

// Every switch alone turns on exactly its own setting; every text and number
// lands where its position says.
TEST(Settings, EachPositionReachesItsSetting) {
    const ArgIndex switches[] = {ZK_MDDAct, ZK_LWOAct,   ZK_EMDLAct, ZK_LWSAct,   ZK_MELAct,
                                 ZK_FXSAct, ZK_XSIAct,   ZK_MAXAct,  ZK_MOTAct,   ZK_MOTSep,
                                 ZK_CAMAct, ZK_LIGHTAct, ZK_NULLAct, ZK_OBJECTAct};
    for (ArgIndex a : switches) {
        XSI::CValueArray args(ZK_ArgCount);
        args[a] = XSI::CValue(true);
        XSI::CString name(kArgNames[a]);
        EXPECT_EQ(SwitchesOn(ReadSettings(args)), Text(name));
    }

    XSI::CValueArray args(ZK_ArgCount);
    for (int i = 0; i < ZK_ArgCount; ++i) {
        XSI::CString text;
        text.PutAsciiString(("t" + std::to_string(i)).c_str());
        args[i] = XSI::CValue(text);
    }
    args[ZK_StartFrame] = XSI::CValue(XSI::LONG(-7));
    args[ZK_EndFrame] = XSI::CValue(XSI::LONG(40000));
    args[ZK_LOCALSPACE] = XSI::CValue(XSI::LONG(1));
    const BakeSettings s = ReadSettings(args);
    EXPECT_EQ(Text(s.objects), "t0");
    EXPECT_EQ(Text(s.prefix), "t4");
    EXPECT_EQ(s.startFrame, -7);
    EXPECT_EQ(s.endFrame, 40000);
    EXPECT_EQ(Text(s.rangeText), "-7 to 40000");
    EXPECT_EQ(s.localSpace, 1);
    const char* const paths[kPathSlots] = {"t1",  "t7",  "t9",  "t11", "t13",
                                           "t15", "t17", "t19", "t22"};
    for (int slot = 0; slot < kPathSlots; ++slot)
        EXPECT_EQ(Text(s.paths[slot]), paths[slot]) << kPathRows[slot].label;
}

} // namespace
