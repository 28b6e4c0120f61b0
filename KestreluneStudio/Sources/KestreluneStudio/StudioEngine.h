#pragma once
// What the view model and the viewport need of the look-development engine, as an
// interface: the live engine (LiveStudioEngine) in the application, a fake in tests.
// Everything here is called on the main thread unless a comment says otherwise.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"
#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/LookDevSceneState.h"
#include "MarblewickLookDevKit/PBRMapPreviews.h"
#include "MarblewickLookDevKit/PBRMaterialParameters.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "MarblewickLookDevKit/SynthesizedPBRPack.h"

namespace pk::gpu {
class Texture;
}

namespace kestrelune {

// The engine's one material synthesizer. Every call waits for the GPU on the caller's
// thread; failures give no result.
class StudioMaterialSynthesizer {
public:
    virtual ~StudioMaterialSynthesizer() = default;
    virtual std::optional<lookdev::SynthesizedPBRPack> synthesize(const lookdev::PBRMaterialParameters& parameters) = 0;
    virtual std::optional<lookdev::SynthesizedPBRPack> synthesizeFromPhoto(
        const std::filesystem::path& imageURL, const lookdev::PBRMaterialParameters& parameters) = 0;
    // Images of the four maps, each at most maxDimension pixels on its longer side; a map
    // that cannot be read stays absent.
    virtual lookdev::PBRMapPreviews makePreviews(const lookdev::SynthesizedPBRPack& pack, int maxDimension) = 0;
};

class StudioEngine {
public:
    virtual ~StudioEngine() = default;

    // The scene state, edited in place under the engine's state lock.
    virtual void updateSceneState(const std::function<void(lookdev::LookDevSceneState&)>& edit) = 0;
    virtual lookdev::LookDevSceneState currentSceneState() const = 0;

    virtual lookdev::StudioMeshHandle currentMesh() const = 0;
    virtual void setActiveMesh(lookdev::StudioMeshHandle mesh) = 0;
    virtual std::optional<lookdev::SynthesizedPBRPack> currentPBRPack() const = 0;
    virtual void setActivePBRPack(lookdev::SynthesizedPBRPack pack) = 0;
    // Also sets the scene's environment blend (0.85 with a map, 0 without).
    virtual void setActiveHDRI(std::optional<lookdev::LoadedHDRIEnvironment> environment) = 0;

    // Receives the measured frame rate (about every 0.5 s, on the main queue). Replaces
    // any callback set before.
    virtual void setOnFPSUpdate(std::function<void(double)> callback) = 0;

    // Camera input; the camera belongs to the mouse, never to the view model's sync.
    virtual void orbitBy(float deltaX, float deltaY) = 0;
    virtual void zoomBy(float delta) = 0;
    virtual void resetCamera() = 0;

    virtual StudioMaterialSynthesizer& pbrForge() = 0;

    // Loading onto the engine's device. Null or none when the file cannot be read.
    virtual lookdev::StudioMeshHandle loadMesh(const lookdev::StudioAssetItem& item) = 0;
    virtual std::optional<lookdev::LoadedHDRIEnvironment> loadRadianceHDR(const std::filesystem::path& url) = 0;
    virtual std::optional<lookdev::LoadedHDRIEnvironment> loadPanoramicImage(const std::filesystem::path& url) = 0;

    // One viewport frame at the given drawable size (4-sample colour, 32-bit float depth),
    // resolved into a single-sample texture stored bottom row first, as GL render
    // targets are. Null when nothing could be drawn. Advances the turntable.
    virtual std::shared_ptr<pk::gpu::Texture> drawViewportFrame(int drawableWidth, int drawableHeight) = 0;
};

}  // namespace kestrelune
