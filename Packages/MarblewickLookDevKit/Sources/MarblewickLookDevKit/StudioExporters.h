#pragma once
// What the studio shows, written to files: a still PNG render and a mesh as OBJ text.
// The turntable video is in StudioTurntableExporter.h.
#include <cstdint>
#include <filesystem>
#include <optional>

#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"
#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/LookDevOffscreenRenderer.h"
#include "MarblewickLookDevKit/StudioTurntableExporter.h"

namespace lookdev::StudioExporters {

// Renders width × height offscreen and writes it as PNG (folder created first).
// Returns the written file's size (0 when it cannot be read back). Throws 101
// "Failed to render snapshot." when the render gives nothing or the size is not
// positive, 102 "Failed to finalize PNG." when the PNG cannot be written, and the
// file system's error when the folder cannot be made.
int64_t exportStillPNG(LookDevOffscreenRenderer& engine, int64_t width, int64_t height,
                       const std::filesystem::path& to, std::optional<float> overrideYaw = std::nullopt,
                       const std::optional<LookDevSceneState>& overrideState = std::nullopt);

// Wavefront OBJ text (positions, uvs, normals, one face per whole index triple; numbers
// in the C locale), written atomically. Returns the number of bytes written.
int64_t exportOBJ(const LoadedStudioMesh& mesh, const std::filesystem::path& to);

// The pack archive of the files, through the archive writer (its receipt or its error).
assetio::VelMWPakStreamReceiptV1085 buildMWPakArchive(const std::vector<std::filesystem::path>& fileURLs,
                                                      const std::filesystem::path& archiveURL, pk::gpu::Device* device);

}  // namespace lookdev::StudioExporters
