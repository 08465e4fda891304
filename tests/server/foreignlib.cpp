// Libraries that look like the control but are not: one with no entry points, one from
// another version of the interface.
#ifdef TVL_WITH_ENTRY_POINTS
extern "C" __attribute__((visibility("default"))) int tvl_vism_abi_version() {
    return 99;
}
extern "C" __attribute__((visibility("default"))) void* tvl_vism_create() {
    return nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) int tvl_something_else() {
    return 1;
}
#endif
