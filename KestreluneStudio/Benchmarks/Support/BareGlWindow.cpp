// The baseline of the start-up benchmark: the least a studio window can be. SDL video,
// a window of the studio's size with the same OpenGL 4.5 core context, one cleared frame
// swapped to the screen, the same line on stderr as the studio's first frame, then
// events until asked to quit.
#include <SDL2/SDL.h>

#include <cstdio>

int main() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_Window* window = SDL_CreateWindow("Bare window", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 1180, 740,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "window or context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_MakeCurrent(window, context);
    SDL_GL_SetSwapInterval(1);
    using ClearColor = void (*)(float, float, float, float);
    using Clear = void (*)(unsigned);
    auto clearColor = reinterpret_cast<ClearColor>(SDL_GL_GetProcAddress("glClearColor"));
    auto clear = reinterpret_cast<Clear>(SDL_GL_GetProcAddress("glClear"));
    if (!clearColor || !clear) return 1;
    clearColor(0.045f, 0.052f, 0.07f, 1.0f);
    clear(0x00004000u | 0x00000100u);  // colour and depth
    SDL_GL_SwapWindow(window);
    std::fprintf(stderr, "window: first frame presented\n");
    std::fflush(stderr);
    for (bool running = true; running;) {
        SDL_Event e;
        if (!SDL_WaitEventTimeout(&e, 100)) continue;
        if (e.type == SDL_QUIT) running = false;
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
