#include "controlloader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>

#include "vismcontrol.h"

namespace tvl {

namespace {

inline constexpr const char* kLibraryName = "libvism.so";
inline constexpr const char* kInstalledLibraryFolder = "/../lib/tarvel/";

// Opens the library and finds its factory. The library is never closed: the code of every
// control it made must stay mapped while the control lives, and that is until the end.
VismFactoryFn openControlLibrary(const std::string& programDir, std::string* why) {
    std::string tried;
    void* handle = nullptr;
    const char* named = std::getenv("TVL_VISM_LIBRARY");
    if (named != nullptr && *named != '\0') {
        handle = ::dlopen(named, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            tried = ::dlerror();
        }
    } else {
        // The build puts the library beside the programs; the package puts the programs in
        // /usr/bin and the library in the program's own folder /usr/lib/tarvel.
        if (!programDir.empty()) {
            for (const char* folder : {"/", kInstalledLibraryFolder}) {
                const std::string path = programDir + folder + kLibraryName;
                if (handle != nullptr || ::access(path.c_str(), F_OK) != 0) {
                    continue;
                }
                handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
                if (handle == nullptr) {
                    tried += std::string(::dlerror()) + "; ";
                }
            }
        }
        if (handle == nullptr) {
            handle = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) {
                tried += ::dlerror();
            }
        }
    }
    if (handle == nullptr) {
        if (why != nullptr) {
            *why = tried;
        }
        return nullptr;
    }
    auto abi = reinterpret_cast<VismAbiFn>(::dlsym(handle, kVismAbiSymbol));
    auto factory = reinterpret_cast<VismFactoryFn>(::dlsym(handle, kVismFactorySymbol));
    if (abi == nullptr || factory == nullptr) {
        if (why != nullptr) {
            *why = "the control library has no entry point " +
                   std::string(abi == nullptr ? kVismAbiSymbol : kVismFactorySymbol);
        }
        return nullptr;
    }
    if (abi() != kVismControlAbiVersion) {
        if (why != nullptr) {
            *why = "the control library has interface version " + std::to_string(abi()) +
                   ", this program needs " + std::to_string(kVismControlAbiVersion);
        }
        return nullptr;
    }
    return factory;
}

}  // namespace

bool controlLibraryAvailable(const std::string& programDir, std::string* why) {
    return openControlLibrary(programDir, why) != nullptr;
}

std::unique_ptr<VismControl> loadControl(const std::string& programDir, std::string* why) {
    const VismFactoryFn factory = openControlLibrary(programDir, why);
    if (factory == nullptr) {
        return nullptr;
    }
    std::unique_ptr<VismControl> control(factory());
    if (!control && why != nullptr) {
        *why = "the control library could not create a control";
    }
    return control;
}

std::string programDirectory() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return {};
    }
    std::string path(buf, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace tvl
