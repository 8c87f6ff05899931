// Plug-in registration and command arguments: a plug-in registered from
// this test's own functions, and the Echo test plug-in loaded from its
// library.
#include "host/app/HostApp.h"

#include <xsi_application.h>
#include <xsi_argument.h>
#include <xsi_command.h>
#include <xsi_context.h>
#include <xsi_pluginregistrar.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

using host::HostApp;
using XSI::CRef;
using XSI::CStatus;
using XSI::CValue;
using XSI::CValueArray;
using XSI::LONG;

namespace {

// What the local plug-in's entries saw.
struct Seen {
    int inits = 0;
    int executes = 0;
    CValueArray args;
    CRef source;
    CStatus addAfterInit = CStatus::OK;
    CStatus duplicateAdd = CStatus::OK;
    bool itemValid = false;
    XSI::CString itemName;
};
Seen g_seen;
bool g_enableReturn = true;
XSI::PluginRegistrar g_keptRegistrar;

CStatus LocalLoad(XSI::PluginRegistrar& reg) {
    reg.PutAuthor(L"Tester");
    reg.PutName(L"Local Plug-in");
    reg.PutVersion(1, 5);
    XSI::PluginItem item = reg.RegisterCommand(L"Local", L"LocalScript");
    g_seen.itemValid = item.IsValid();
    g_seen.itemName = item.GetName();
    // The same name twice is refused.
    EXPECT_FALSE(reg.RegisterCommand(L"Local", L"Local").IsValid());
    g_keptRegistrar = reg;
    return CStatus::OK;
}

CStatus LocalInit(CRef& ctxt) {
    ++g_seen.inits;
    XSI::Context context(ctxt);
    XSI::Command cmd(context.GetSource());
    cmd.EnableReturnValue(g_enableReturn);
    XSI::ArgumentArray args = cmd.GetArguments();
    args.Add(L"First");
    args.Add(L"Second", CValue(static_cast<LONG>(7)));
    args.Add(L"Third");
    g_seen.duplicateAdd = args.Add(L"First");
    return CStatus::OK;
}

CStatus LocalExecute(CRef& ctxt) {
    ++g_seen.executes;
    XSI::Context context(ctxt);
    g_seen.source = context.GetSource();
    g_seen.args = context.GetAttribute(L"Arguments");
    g_seen.addAfterInit = XSI::Command(g_seen.source).GetArguments().Add(L"Late");
    context.PutAttribute(L"ReturnValue", CValue(L"result"));
    return g_seen.args[0].GetAsText() == L"fail" ? CStatus::Fail : CStatus::OK;
}

CStatus FailingLoad(XSI::PluginRegistrar& reg) {
    reg.RegisterCommand(L"NeverRegistered", L"NeverRegistered");
    return CStatus::Fail;
}

CStatus TwoCommandsLoad(XSI::PluginRegistrar& reg) {
    reg.RegisterCommand(L"NoExecute", L"NoExecute");
    reg.RegisterCommand(L"BadInit", L"BadInit");
    reg.RegisterCommand(L"Local", L"Local"); // already registered by another plug-in
    return CStatus::OK;
}

CStatus BadInit(CRef&) {
    return CStatus::Fail;
}

host::PluginLookupFn Lookup(std::map<std::string, void*> entries) {
    return [entries](const std::string& name) -> void* {
        auto it = entries.find(name);
        return it == entries.end() ? nullptr : it->second;
    };
}

// Registers the local plug-in once for the whole test program.
void RegisterLocalPlugin() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    HostApp::Get().SetEchoLog(false);
    CStatus status = HostApp::Get().RegisterPlugin(
        "local", LocalLoad,
        Lookup({{"Local_Init", reinterpret_cast<void*>(&LocalInit)},
                {"Local_Execute", reinterpret_cast<void*>(&LocalExecute)}}));
    ASSERT_EQ(status, CStatus::OK);
}

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HostApp::Get().Reset();
        HostApp::Get().SetEchoLog(false);
        RegisterLocalPlugin();
    }
};

} // namespace

TEST_F(PluginTest, RegistrationRecordsThePluginAndDeclaresTheArgumentsInOrder) {
    const host::Plugin* plugin = nullptr;
    for (const auto& p : HostApp::Get().GetPlugins()) {
        if (p->path == "local") {
            plugin = p.get();
        }
    }
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->name, L"Local Plug-in");
    EXPECT_EQ(plugin->author, L"Tester");
    EXPECT_EQ(plugin->major, 1);
    EXPECT_EQ(plugin->minor, 5);
    EXPECT_TRUE(g_seen.itemValid);
    EXPECT_EQ(g_seen.itemName, L"Local");
    EXPECT_EQ(g_seen.inits, 1);
    EXPECT_EQ(g_seen.duplicateAdd, CStatus::InvalidArgument);
    // Commands are registered only while the plug-in loads.
    EXPECT_FALSE(g_keptRegistrar.RegisterCommand(L"Late", L"Late").IsValid());
    LONG major = 0;
    LONG minor = 0;
    g_keptRegistrar.GetVersion(major, minor);
    EXPECT_EQ(major * 10 + minor, 15);

    host::CommandSignature sig;
    ASSERT_TRUE(HostApp::Get().GetCommandSignature(L"Local", sig));
    EXPECT_TRUE(sig.declared);
    ASSERT_EQ(sig.argumentNames.size(), 3u);
    EXPECT_EQ(sig.argumentNames[0], L"First");
    EXPECT_EQ(sig.argumentNames[1], L"Second");
    EXPECT_EQ(sig.argumentNames[2], L"Third");
    EXPECT_EQ(static_cast<LONG>(sig.argumentDefaults[1]), 7);
    EXPECT_EQ(HostApp::Get().FindPluginCommand(L"Local")->scriptName, L"LocalScript");
}

TEST_F(PluginTest, ExecuteFillsArgumentsByPositionAndLeavesTheRestAtTheirDefaults) {
    int before = g_seen.executes;
    CValueArray args;
    args.Add(CValue(L"text"));
    CValue ret;
    EXPECT_EQ(XSI::Application().ExecuteCommand(L"Local", args, ret), CStatus::OK);
    EXPECT_EQ(g_seen.executes, before + 1);
    ASSERT_EQ(g_seen.args.GetCount(), 3);
    EXPECT_EQ(g_seen.args[0].GetAsText(), L"text");
    EXPECT_EQ(static_cast<LONG>(g_seen.args[1]), 7); // its declared default
    EXPECT_TRUE(g_seen.args[2].IsEmpty());
    EXPECT_EQ(ret.GetAsText(), L"result");
    // The context's source is the command, which keeps its arguments.
    EXPECT_EQ(g_seen.source.GetClassID(), XSI::siCommandID);
    EXPECT_EQ(g_seen.addAfterInit, CStatus::AccessDenied);
    EXPECT_EQ(XSI::Command(g_seen.source).GetArguments().GetCount(), 3);
    EXPECT_EQ(XSI::Command(g_seen.source).GetArguments().GetItem(2).GetName(), L"Third");

    args.Clear();
    args.Add(CValue(L"fail"));
    EXPECT_EQ(XSI::Application().ExecuteCommand(L"Local", args, ret), CStatus::Fail);
}

TEST_F(PluginTest, MoreValuesThanDeclaredAreRefusedWithoutRunningTheCommand) {
    int before = g_seen.executes;
    CValueArray args(4);
    CValue ret;
    EXPECT_EQ(XSI::Application().ExecuteCommand(L"Local", args, ret), CStatus::InvalidArgument);
    EXPECT_EQ(g_seen.executes, before);
    ASSERT_EQ(HostApp::Get().GetLog().size(), 1u);
    EXPECT_EQ(HostApp::Get().GetLog()[0].severity, XSI::siErrorMsg);
}

TEST_F(PluginTest, FailedLoadsAndBrokenCommandsAreNotRegistered) {
    HostApp& app = HostApp::Get();
    size_t plugins = app.GetPlugins().size();
    EXPECT_EQ(app.RegisterPlugin("failing", FailingLoad, Lookup({})), CStatus::Fail);
    EXPECT_EQ(app.GetPlugins().size(), plugins);
    EXPECT_FALSE(app.HasCommand(L"NeverRegistered"));

    app.ClearLog();
    EXPECT_EQ(app.RegisterPlugin("two", TwoCommandsLoad,
                                 Lookup({{"BadInit_Init", reinterpret_cast<void*>(&BadInit)},
                                         {"BadInit_Execute", reinterpret_cast<void*>(&BadInit)},
                                         {"Local_Execute", reinterpret_cast<void*>(&BadInit)}})),
              CStatus::OK);
    EXPECT_FALSE(app.HasCommand(L"NoExecute"));
    EXPECT_FALSE(app.HasCommand(L"BadInit"));
    // The first registration of "Local" stays in force.
    CValue ret;
    int before = g_seen.executes;
    EXPECT_EQ(XSI::Application().ExecuteCommand(L"Local", CValueArray(), ret), CStatus::OK);
    EXPECT_EQ(g_seen.executes, before + 1);
    EXPECT_EQ(app.GetLog().size(), 3u); // one message per command refused
}

TEST_F(PluginTest, HandlesOfTheWrongClassDoNothing) {
    int dummy = 0;
    CRef other = CRef::FromHost(XSI::siNullID, &dummy);
    EXPECT_FALSE(XSI::Context(other).GetSource().IsValid());
    EXPECT_TRUE(XSI::Context(other).GetAttribute(L"Arguments").IsEmpty());
    EXPECT_EQ(XSI::Command(other).EnableReturnValue(true), CStatus::Fail);
    EXPECT_EQ(XSI::Command(other).GetArguments().GetCount(), 0);
    EXPECT_EQ(XSI::Command(other).GetArguments().Add(L"x"), CStatus::Fail);
    EXPECT_EQ(XSI::PluginRegistrar(other).PutAuthor(L"x"), CStatus::Fail);
    EXPECT_FALSE(XSI::PluginRegistrar(other).RegisterCommand(L"X", L"X").IsValid());
}

TEST_F(PluginTest, LoadsTheEchoPluginFromItsFolderOnce) {
    HostApp& app = HostApp::Get();
    EXPECT_EQ(app.LoadPlugins(TEST_PLUGIN_DIR), 1); // NotAPlugin.so is passed over
    EXPECT_TRUE(app.GetLog().empty());
    app.LoadPlugins(TEST_PLUGIN_DIR); // already loaded: nothing new
    int echoes = 0;
    const host::Plugin* echo = nullptr;
    for (const auto& p : app.GetPlugins()) {
        if (p->name == L"Echo Plug-in") {
            ++echoes;
            echo = p.get();
        }
    }
    ASSERT_EQ(echoes, 1);
    EXPECT_EQ(echo->author, L"Host tests");
    EXPECT_EQ(echo->major, 2);
    EXPECT_EQ(echo->minor, 7);

    CValueArray args;
    args.Add(CValue(L"hello"));
    args.Add(CValue(static_cast<LONG>(3)));
    CValue ret;
    EXPECT_EQ(XSI::Application().ExecuteCommand(L"Echo", args, ret), CStatus::OK);
    EXPECT_EQ(ret.GetAsText(), L"steps 3");
    ASSERT_GE(app.GetLog().size(), 4u);
    EXPECT_EQ(app.GetLog()[0].text, "Echo Text text [hello]");
    EXPECT_EQ(app.GetLog()[1].text, "Echo Count int [3]");
    EXPECT_EQ(app.GetLog()[2].text, "Echo Flag empty []");

    EXPECT_EQ(app.LoadPlugin(std::string(TEST_PLUGIN_DIR) + "/NotAPlugin.so"),
              CStatus::InvalidArgument);
    EXPECT_EQ(app.LoadPlugin("/no/such/plugin.so"), CStatus::Fail);
}
