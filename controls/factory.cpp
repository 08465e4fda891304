// The entry points of libvism.so: the program finds the control by these names.
#include "server/vismcontrol.h"
#include "vismclient.h"

extern "C" {

__attribute__((visibility("default"))) int tvl_vism_abi_version() {
    return tvl::kVismControlAbiVersion;
}

// The caller owns the control and deletes it through its virtual destructor.
__attribute__((visibility("default"))) tvl::VismControl* tvl_vism_create() {
    try {
        return tvl::makeSocketControl().release();
    } catch (...) {
        return nullptr;
    }
}
}
