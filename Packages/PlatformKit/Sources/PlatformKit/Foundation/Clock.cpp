#include "PlatformKit/Foundation/Clock.h"

namespace pk {

namespace {
class SystemClock : public Clock {
public:
    double now() const override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    double wallSeconds() const override {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    }
};
}  // namespace

std::shared_ptr<Clock> Clock::system() {
    static std::shared_ptr<Clock> c = std::make_shared<SystemClock>();
    return c;
}

}  // namespace pk
