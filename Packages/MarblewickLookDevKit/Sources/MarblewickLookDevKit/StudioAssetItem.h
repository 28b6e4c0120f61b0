#pragma once
// One entry of the asset browser, and what is known about a loaded mesh.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <variant>

#include "PlatformKit/Math/Math.h"

namespace lookdev {

struct StudioAssetItem {
    // Where the mesh comes from. File cases compare and hash by their URL.
    struct SourceKind {
        struct MwmeshFile {
            std::filesystem::path url;
            bool operator==(const MwmeshFile&) const = default;
        };
        struct ExternalModel {
            std::filesystem::path url;
            bool operator==(const ExternalModel&) const = default;
        };
        struct BuiltinShaderBall {
            bool operator==(const BuiltinShaderBall&) const = default;
        };
        struct BuiltinRoundedCube {
            bool operator==(const BuiltinRoundedCube&) const = default;
        };
        struct BuiltinTorusKnot {
            bool operator==(const BuiltinTorusKnot&) const = default;
        };
        using Value = std::variant<MwmeshFile, ExternalModel, BuiltinShaderBall, BuiltinRoundedCube, BuiltinTorusKnot>;

        Value value;

        static SourceKind mwmeshFile(std::filesystem::path url) { return {MwmeshFile{std::move(url)}}; }
        static SourceKind externalModel(std::filesystem::path url) { return {ExternalModel{std::move(url)}}; }
        static SourceKind builtinShaderBall() { return {BuiltinShaderBall{}}; }
        static SourceKind builtinRoundedCube() { return {BuiltinRoundedCube{}}; }
        static SourceKind builtinTorusKnot() { return {BuiltinTorusKnot{}}; }

        template <class T>
        bool is() const { return std::holds_alternative<T>(value); }
        // The file URL of the two file cases, else nullptr.
        const std::filesystem::path* fileURL() const {
            if (auto* m = std::get_if<MwmeshFile>(&value)) return &m->url;
            if (auto* e = std::get_if<ExternalModel>(&value)) return &e->url;
            return nullptr;
        }
        bool operator==(const SourceKind&) const = default;
        size_t hash() const;
    };

    std::string id;
    std::string displayName;
    std::string subtitle;
    std::string category;
    SourceKind kind;

    bool operator==(const StudioAssetItem&) const = default;
    size_t hash() const;
};

struct AssetAuditSummary {
    std::string name;
    std::string formatLabel;
    int64_t vertexCount = 0;
    int64_t triangleCount = 0;
    int64_t meshletCount = 0;
    pk::float3 boundsSize{0.0f};
    float minY = 0;
    bool groundedOK = false;
    int64_t fileSizeBytes = 0;
    bool hasEmbeddedTexture = false;
};

}  // namespace lookdev

template <>
struct std::hash<lookdev::StudioAssetItem> {
    size_t operator()(const lookdev::StudioAssetItem& i) const { return i.hash(); }
};
