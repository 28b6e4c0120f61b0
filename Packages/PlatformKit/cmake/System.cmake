# System: process thermal state from the kernel's sysfs thermal zones.
pk_add_module(System)
ks_add_tests(pk_system DIR Tests/System LIBS PlatformKit::System)
