# Draw2D: 2D drawing and text into bitmaps over Cairo image surfaces, fonts through
# fontconfig and FreeType.
pkg_check_modules(PK_DRAW2D_DEPS REQUIRED IMPORTED_TARGET cairo cairo-ft fontconfig freetype2)
pk_add_module(Draw2D LIBS PkgConfig::PK_DRAW2D_DEPS)
ks_add_tests(pk_draw2d DIR Tests/Draw2D LIBS PlatformKit::Draw2D)
ks_add_benchmarks(pk_draw2d DIR Benchmarks/Draw2D LIBS PlatformKit::Draw2D)
