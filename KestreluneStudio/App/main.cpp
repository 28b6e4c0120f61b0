// Kestrelune Studio: look-development of 3D assets and tileable PBR material sets.
#include "KestreluneStudio/KestreluneStudioApp.h"

int main() { return kestrelune::runKestreluneStudio(); }
