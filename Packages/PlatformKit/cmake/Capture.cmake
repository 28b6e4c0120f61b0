# Capture: camera frames from V4L2 through OpenCV's videoio, behind a frame-source
# interface with a synthetic source and a video-file source for tests.
find_package(OpenCV REQUIRED COMPONENTS core imgproc videoio)
pk_add_module(Capture LIBS PlatformKit::Draw2D opencv_core opencv_imgproc opencv_videoio Threads::Threads)
ks_add_tests(pk_capture DIR Tests/Capture LIBS PlatformKit::Capture PlatformKit::Media)
