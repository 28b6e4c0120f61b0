// Camera frames of any size and content, with any timestamps and given faces, through the
// person segmenter for a few frames in a row (so that following and losing a person run
// too) and through the guided upsampling of a matte made from the same bytes. Nothing may
// crash, and every matte must come back at the frame's size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "PlatformKit/Vision/MatteCompositing.h"
#include "PlatformKit/Vision/PersonSegmenter.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t byte() { return at < size ? data[at++] : 0; }
    double number() {
        double v = 0;
        uint8_t raw[sizeof v] = {};
        for (uint8_t& b : raw) b = byte();
        std::memcpy(&v, raw, sizeof v);
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The cascades take long to load: one segmenter, forgetting between inputs.
    static pk::vision::CascadeSeededPersonSegmenter segmenter;
    segmenter.reset();
    Input in{data, size};
    const int width = 1 + in.byte() % 160, height = 1 + in.byte() % 120;
    const int frames = 1 + in.byte() % 4;
    auto frame = pk::draw2d::Bitmap::create(width, height);
    if (!frame) return 0;
    for (int f = 0; f < frames; ++f) {
        for (size_t i = 0; i < frame->byteCount(); ++i) frame->data()[i] = size ? data[(i + size_t(f) * 7) % size] : 0;
        const double timestamp = in.number();
        std::optional<pk::vision::GrayMask> matte;
        if (in.byte() & 1) {
            const pk::vision::FaceBox face{in.number(), in.number(), in.number(), in.number()};
            matte = segmenter.segment(frame->view(), timestamp, face);
        } else {
            matte = segmenter.segment(frame->view(), timestamp);
        }
        if (matte && (matte->width != width || matte->height != height || !matte->isValid())) abort();
    }
    // A coarse matte of any smaller size, against the frame.
    const int cw = 1 + in.byte() % width, ch = 1 + in.byte() % height;
    pk::vision::GrayMask coarse = pk::vision::GrayMask::filled(cw, ch, 0);
    for (size_t i = 0; i < coarse.values.size(); ++i) coarse.values[i] = in.byte();
    const pk::vision::GrayMask fine = pk::vision::guidedUpsampledMatte(coarse, frame->view());
    if (fine.width != width || fine.height != height || !fine.isValid()) abort();
    return 0;
}
