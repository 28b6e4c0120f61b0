# Crypto: SHA-256 over OpenSSL libcrypto.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
pk_add_module(Crypto LIBS OpenSSL::Crypto)
ks_add_tests(pk_crypto DIR Tests/Crypto LIBS PlatformKit::Crypto)
