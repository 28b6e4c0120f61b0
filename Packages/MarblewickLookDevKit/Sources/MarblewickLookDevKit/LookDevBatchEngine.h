#pragma once
// What a batch export needs of the engine beyond offscreen frames. The studio's engine
// implements it; tests stand in for it.
#include <functional>

#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/LookDevOffscreenRenderer.h"
#include "MarblewickLookDevKit/LookDevSceneState.h"

namespace pk::gpu {
class Device;
}

namespace lookdev {

// Its device for loading meshes, and its active mesh and scene state, each access under
// its state lock.
class LookDevBatchEngine : public LookDevOffscreenRenderer {
public:
    virtual pk::gpu::Device& device() = 0;
    virtual StudioMeshHandle currentMesh() const = 0;
    virtual void setActiveMesh(StudioMeshHandle mesh) = 0;
    // Runs the edit on the live scene state under the state lock.
    virtual void updateSceneState(const std::function<void(LookDevSceneState&)>& edit) = 0;
};

}  // namespace lookdev
