#include <cstdint>
#include <cstdlib>

#include "MarblewickCreatorStudio/VelIMAADPCMVoiceCodecV1170.h"
#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"

using namespace creator;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto d = VelIMAADPCMVoiceCodecV1170::decodeToFloat32({data, size});
    if (!d) return 0;
    if (d->samples.empty() || d->samples.size() > 1 + 2 * (size - 12)) abort();
    // The play path: a rate of 0 is dropped before it reaches the spatialiser.
    if (d->sampleRate > 0) {
        auto mix = VelSpatialProximityVoiceDSPV1020::spatializeMonoVoice(
            d->samples, static_cast<float>(d->sampleRate), {0, 0, 0}, {1, 0, 0}, {2.5f, 0, -2.5f}, {0, 0, 0}, 2, 0.24f, 32);
        if (mix.stereoInterleavedPCM.size() != 2 * d->samples.size()) abort();
    }
    return 0;
}
