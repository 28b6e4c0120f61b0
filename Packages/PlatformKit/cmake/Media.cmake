# Media: MP4 writing (H.264 through libx264, AAC) and a demuxer/decoder for tests, over FFmpeg.
pkg_check_modules(PK_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswscale)
pk_add_module(Media LIBS PkgConfig::PK_FFMPEG Threads::Threads)
ks_add_tests(pk_media DIR Tests/Media LIBS PlatformKit::Media)
ks_add_benchmarks(pk_media DIR Benchmarks/Media LIBS PlatformKit::Media)
# Screen recording takes its sound from the studio's audio output and the microphone.
target_link_libraries(PlatformKit_Media PUBLIC PlatformKit::Audio)
