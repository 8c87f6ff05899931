#include "host/app/Plugins.h"

#include "host/app/Commands.h"
#include "host/app/HostLog.h"

#include <xsi_context.h>

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

std::wstring Widen(const std::string& text) {
    XSI::CString s;
    s.PutAsciiString(text.c_str());
    return s.GetWideString();
}

} // namespace

bool ExportsPluginEntry(const std::string& path, std::string* why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *why = "not a regular file";
        return false;
    }
    elf_version(EV_CURRENT);
    Elf* elf = elf_begin(fd, ELF_C_READ, nullptr);
    GElf_Ehdr header;
    bool found = false;
    *why = "not a shared library";
    if (elf && elf_kind(elf) == ELF_K_ELF && gelf_getehdr(elf, &header) &&
        header.e_type == ET_DYN) {
        *why = "it exports no XSILoadPlugin";
        for (Elf_Scn* section = elf_nextscn(elf, nullptr); section && !found;
             section = elf_nextscn(elf, section)) {
            GElf_Shdr sh;
            if (!gelf_getshdr(section, &sh) || sh.sh_type != SHT_DYNSYM || sh.sh_entsize == 0) {
                continue;
            }
            Elf_Data* data = elf_getdata(section, nullptr);
            const size_t count = data ? data->d_size / sh.sh_entsize : 0;
            for (size_t i = 0; i < count && !found; ++i) {
                GElf_Sym sym;
                if (!gelf_getsym(data, static_cast<int>(i), &sym)) {
                    continue;
                }
                const char* name = elf_strptr(elf, sh.sh_link, sym.st_name);
                const int bind = GELF_ST_BIND(sym.st_info);
                found = name && std::strcmp(name, "XSILoadPlugin") == 0 &&
                        sym.st_shndx != SHN_UNDEF && GELF_ST_TYPE(sym.st_info) == STT_FUNC &&
                        (bind == STB_GLOBAL || bind == STB_WEAK) &&
                        GELF_ST_VISIBILITY(sym.st_other) == STV_DEFAULT;
            }
        }
    }
    if (elf) {
        elf_end(elf);
    }
    close(fd);
    if (found) {
        why->clear();
    }
    return found;
}

PluginCommand* PluginLoader::FindActiveCommand(const std::wstring& name) const {
    for (const std::unique_ptr<Plugin>& p : m_plugins) {
        for (const std::unique_ptr<PluginCommand>& c : p->commands) {
            if (c->active && c->name == name) {
                return c.get();
            }
        }
    }
    return nullptr;
}

int PluginLoader::LoadPlugins(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        m_log.Log(XSI::CString(L"Cannot read the plug-in folder ") + Widen(folder).c_str(),
                  XSI::siWarningMsg);
        return 0;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0 &&
            name != "libsicppsdk.so") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    int loaded = 0;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        std::string why;
        if (!ExportsPluginEntry(path, &why)) {
            // A library that is no plug-in is passed over in silence; any
            // other file is named.
            if (why != "it exports no XSILoadPlugin") {
                m_log.Log(XSI::CString(L"Cannot load ") + Widen(path).c_str() + L": " +
                              Widen(why).c_str(),
                          XSI::siWarningMsg);
            }
            continue;
        }
        if (LoadPlugin(path) == XSI::CStatus::OK) {
            ++loaded;
        }
    }
    return loaded;
}

XSI::CStatus PluginLoader::LoadPlugin(const std::string& path) {
    std::string why;
    if (!ExportsPluginEntry(path, &why)) {
        if (why == "it exports no XSILoadPlugin") {
            return XSI::CStatus::InvalidArgument; // an ordinary library, not a plug-in
        }
        m_log.Log(XSI::CString(L"Cannot load ") + Widen(path).c_str() + L": " + Widen(why).c_str(),
                  XSI::siWarningMsg);
        return XSI::CStatus::Fail;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        m_log.Log(XSI::CString(L"Cannot load ") + Widen(path).c_str() + L": " +
                      Widen(why ? why : "unknown error").c_str(),
                  XSI::siWarningMsg);
        return XSI::CStatus::Fail;
    }
    for (const std::unique_ptr<Plugin>& p : m_plugins) {
        if (p->handle == handle) {
            dlclose(handle); // already loaded: drop the extra reference
            return XSI::CStatus::OK;
        }
    }
    void* load = dlsym(handle, "XSILoadPlugin");
    if (!load) {
        dlclose(handle); // an ordinary library, not a plug-in
        return XSI::CStatus::InvalidArgument;
    }
    PluginLookupFn lookup = [handle](const std::string& entry) {
        return dlsym(handle, entry.c_str());
    };
    XSI::CStatus status =
        RegisterPlugin(path, reinterpret_cast<PluginLoadFn>(load), lookup, handle);
    if (status != XSI::CStatus::OK) {
        // Nothing of it was kept (RegisterPlugin dropped it).
        dlclose(handle);
    }
    return status;
}

XSI::CStatus PluginLoader::RegisterPlugin(const std::string& label, PluginLoadFn load,
                                          const PluginLookupFn& lookup, void* handle) {
    auto plugin = std::make_unique<Plugin>();
    plugin->path = label;
    plugin->handle = handle;
    plugin->loading = true;
    Plugin* p = plugin.get();
    m_plugins.push_back(std::move(plugin));

    XSI::PluginRegistrar registrar(XSI::CRef::FromHost(XSI::siPluginRegistrarID, p));
    XSI::CStatus status =
        m_log.Guarded(Widen(label) + L": XSILoadPlugin", [&] { return load(registrar); });
    p->loading = false;
    if (status != XSI::CStatus::OK) {
        m_log.Log(XSI::CString(L"The plug-in ") + Widen(label).c_str() +
                      L" failed to load (XSILoadPlugin did not return OK)",
                  XSI::siErrorMsg);
        m_plugins.erase(
            std::find_if(m_plugins.begin(), m_plugins.end(),
                         [p](const std::unique_ptr<Plugin>& q) { return q.get() == p; }));
        return XSI::CStatus::Fail;
    }

    // Define each command: find its entries, have its arguments declared.
    for (std::unique_ptr<PluginCommand>& cmd : p->commands) {
        if (m_commands.HasCommand(cmd->name)) {
            m_log.Log(XSI::CString(L"The command ") + cmd->name.c_str() + L" of " +
                          Widen(label).c_str() +
                          L" is already registered; it is not registered again",
                      XSI::siWarningMsg);
            continue;
        }
        std::string base = XSI::CString(cmd->name.c_str()).GetAsciiString();
        void* init = lookup(base + "_Init");
        void* execute = lookup(base + "_Execute");
        if (!execute) {
            m_log.Log(XSI::CString(L"The command ") + cmd->name.c_str() + L" of " +
                          Widen(label).c_str() + L" has no entry " + Widen(base).c_str() +
                          L"_Execute; it is not registered",
                      XSI::siErrorMsg);
            continue;
        }
        cmd->execute = reinterpret_cast<PluginCommandFn>(execute);
        if (init) {
            CommandContext context;
            context.command = cmd.get();
            XSI::CRef ref = XSI::CRef::FromHost(XSI::siContextID, &context);
            cmd->defining = true;
            XSI::CStatus initStatus = m_log.Guarded(
                cmd->name + L"_Init", [&] { return reinterpret_cast<PluginCommandFn>(init)(ref); });
            cmd->defining = false;
            if (initStatus != XSI::CStatus::OK) {
                m_log.Log(XSI::CString(L"The command ") + cmd->name.c_str() +
                              L" failed to initialise; it is not registered",
                          XSI::siErrorMsg);
                continue;
            }
        }
        cmd->active = true;
    }
    return XSI::CStatus::OK;
}

bool GetPluginObjectName(const XSI::CRef& ref, XSI::CString& out) {
    void* object = ref.GetHostObject();
    switch (ref.GetClassID()) {
    case XSI::siApplicationID:
        out = L"Application";
        return true;
    case XSI::siPluginRegistrarID:
        out = static_cast<Plugin*>(object)->name.c_str();
        return true;
    case XSI::siPluginItemID:
    case XSI::siCommandID:
        out = static_cast<PluginCommand*>(object)->name.c_str();
        return true;
    case XSI::siContextID:
        out = L"Context";
        return true;
    default:
        return false;
    }
}

bool PutPluginObjectName(const XSI::CRef& ref, const XSI::CString& name, XSI::CStatus& out) {
    switch (ref.GetClassID()) {
    case XSI::siPluginRegistrarID:
        static_cast<Plugin*>(ref.GetHostObject())->name = name.GetWideString();
        out = XSI::CStatus::OK;
        return true;
    case XSI::siApplicationID:
    case XSI::siPluginItemID:
    case XSI::siCommandID:
    case XSI::siContextID:
        // The host names these; a command keeps the name it was registered by.
        out = XSI::CStatus::AccessDenied;
        return true;
    default:
        return false;
    }
}

} // namespace host
