# GameServices: the local player (KESTRELUNE_PLAYER_NAME) and leaderboards in the Cloud database.
pk_add_module(GameServices LIBS PlatformKit::Cloud)
ks_add_tests(pk_gameservices DIR Tests/GameServices LIBS PlatformKit::GameServices)
ks_add_benchmarks(pk_gameservices DIR Benchmarks/GameServices LIBS PlatformKit::GameServices)
