#include "PlatformKit/Gpu/Sync.h"

#include "PlatformKit/Gpu/Device.h"
#include "PlatformKit/Gpu/GlCommon.h"

namespace pk::gpu {

Fence::Fence(Device& device) : queue_(device.queue()) {
    device.requireOwnerThread("Fence");
    sync_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
}

Fence::~Fence() {
    GLsync sync = static_cast<GLsync>(sync_);
    if (sync) queue_->post([sync] { glDeleteSync(sync); });
}

bool Fence::wait(uint64_t timeoutNs) {
    if (!sync_) return false;
    GLenum r = glClientWaitSync(static_cast<GLsync>(sync_), GL_SYNC_FLUSH_COMMANDS_BIT, timeoutNs);
    return r == GL_ALREADY_SIGNALED || r == GL_CONDITION_SATISFIED;
}

namespace {
uint32_t newQuery(Device& device) {
    device.requireOwnerThread("TimerQuery");
    GLuint q = 0;
    glCreateQueries(GL_TIME_ELAPSED, 1, &q);
    return q;
}
}  // namespace

TimerQuery::TimerQuery(Device& device)
    : query_(device.queue(), detail::GlObject::Kind::query, newQuery(device)) {}

void TimerQuery::begin() {
    glBeginQuery(GL_TIME_ELAPSED, query_.name());
    running_ = true;
}

void TimerQuery::end() {
    if (!running_) return;
    glEndQuery(GL_TIME_ELAPSED);
    running_ = false;
}

uint64_t TimerQuery::elapsedNanoseconds() {
    end();
    GLuint64 ns = 0;
    glGetQueryObjectui64v(query_.name(), GL_QUERY_RESULT, &ns);
    return ns;
}

}  // namespace pk::gpu
