# Audio: playback, queued playback, microphone capture and an output tap over SDL2 audio.
find_package(SDL2 REQUIRED)
pk_add_module(Audio LIBS SDL2::SDL2 Threads::Threads)
ks_add_tests(pk_audio DIR Tests/Audio LIBS PlatformKit::Audio)
ks_add_benchmarks(pk_audio DIR Benchmarks/Audio LIBS PlatformKit::Audio)
