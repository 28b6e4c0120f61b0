#pragma once
// Haptic patterns played on the device's haptic engine. On Linux the engine is a game
// controller's rumble motors (SDL2); tests use the recording engine.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace pk::haptics {

inline constexpr const char* kErrorDomain = "PlatformKit.Haptics";
enum ErrorCode : int { engineUnavailable = 1, engineFailure = 2, invalidPattern = 3 };

struct HapticEvent {
    enum class Type { transient, continuous };
    Type type = Type::transient;
    double relativeTime = 0;  // seconds from the start of the pattern
    double duration = 0;      // seconds
    float intensity = 0;      // 0..1
    float sharpness = 0;      // 0..1
    bool operator==(const HapticEvent&) const = default;
};

struct HapticPattern {
    std::vector<HapticEvent> events;
    bool operator==(const HapticPattern&) const = default;
};

class HapticEngine {
public:
    virtual ~HapticEngine() = default;
    // Throws StudioError when the engine cannot run.
    virtual void start() = 0;
    // Makes a player for the pattern and starts it at once; throws StudioError on failure.
    virtual void playPattern(const HapticPattern& pattern) = 0;
};

// True when a game controller with rumble is attached.
bool deviceSupportsHaptics();
// The engine of the first rumble controller; throws StudioError(engineUnavailable) when
// there is none.
std::shared_ptr<HapticEngine> makeSystemEngine();

// What the two motors do for a pattern: the low-frequency motor carries the dull part of
// the intensity (1 − sharpness), the high-frequency one the crisp part; events overlap by
// taking the stronger value, and the rumble lasts until the last event ends.
struct RumbleCommand {
    uint16_t lowFrequency = 0;
    uint16_t highFrequency = 0;
    uint32_t durationMs = 0;
    bool operator==(const RumbleCommand&) const = default;
};
RumbleCommand rumbleFor(const HapticPattern& pattern);

// Records what it is asked to play; can be told to fail.
class RecordingHapticEngine : public HapticEngine {
public:
    void start() override;
    void playPattern(const HapticPattern& pattern) override;

    bool failStart = false;
    bool failPlay = false;
    int startCount() const;
    std::vector<HapticPattern> played() const;

private:
    mutable std::mutex mutex_;
    int starts_ = 0;
    std::vector<HapticPattern> played_;
};

}  // namespace pk::haptics
