// The system haptic engine: rumble of the first SDL game controller that has it.
#include <mutex>
#include <string>

#include <SDL.h>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Haptics/Haptics.h"

namespace pk::haptics {

namespace {
std::mutex& sdlMutex() {
    static std::mutex m;
    return m;
}

// Caller holds sdlMutex. The subsystem stays initialised for the life of the process.
bool ensureControllers() {
    static bool ok = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    return ok;
}

// Opens the first controller with rumble, or nullptr. Caller holds sdlMutex.
SDL_GameController* openRumbleController() {
    if (!ensureControllers()) return nullptr;
    SDL_GameControllerUpdate();
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (!SDL_IsGameController(i)) continue;
        SDL_GameController* c = SDL_GameControllerOpen(i);
        if (!c) continue;
        if (SDL_GameControllerHasRumble(c)) return c;
        SDL_GameControllerClose(c);
    }
    return nullptr;
}

class SdlRumbleEngine : public HapticEngine {
public:
    explicit SdlRumbleEngine(SDL_GameController* c) : controller_(c) {}
    ~SdlRumbleEngine() override {
        std::lock_guard<std::mutex> lock(sdlMutex());
        SDL_GameControllerClose(controller_);
    }
    void start() override {
        std::lock_guard<std::mutex> lock(sdlMutex());
        if (!SDL_GameControllerGetAttached(controller_))
            throw StudioError(kErrorDomain, engineFailure, "The game controller is no longer attached.");
    }
    void playPattern(const HapticPattern& pattern) override {
        if (pattern.events.empty()) throw StudioError(kErrorDomain, invalidPattern, "A haptic pattern needs an event.");
        const RumbleCommand c = rumbleFor(pattern);
        std::lock_guard<std::mutex> lock(sdlMutex());
        if (SDL_GameControllerRumble(controller_, c.lowFrequency, c.highFrequency, c.durationMs) != 0)
            throw StudioError::library("SDL", engineFailure, SDL_GetError());
    }

private:
    SDL_GameController* controller_;
};
}  // namespace

bool deviceSupportsHaptics() {
    std::lock_guard<std::mutex> lock(sdlMutex());
    SDL_GameController* c = openRumbleController();
    if (!c) return false;
    SDL_GameControllerClose(c);
    return true;
}

std::shared_ptr<HapticEngine> makeSystemEngine() {
    std::lock_guard<std::mutex> lock(sdlMutex());
    SDL_GameController* c = openRumbleController();
    if (!c) throw StudioError(kErrorDomain, engineUnavailable, "No game controller with rumble is attached.");
    return std::make_shared<SdlRumbleEngine>(c);
}

}  // namespace pk::haptics
