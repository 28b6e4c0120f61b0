#include "PlatformKit/ModelImport/ModelImport.h"
#include "PlatformKit/ModelImport/UsdStage.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <unordered_map>
#include <map>
#include <set>

namespace pk::modelimport {

namespace {

// Importers that keep faces naming vertices they do not have would make the
// post-processing steps read outside the vertex arrays.
void dropFacesOutOfRange(aiScene* scene) {
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        aiMesh* mesh = scene->mMeshes[m];
        if (!mesh || !mesh->mFaces) continue;
        unsigned kept = 0;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            aiFace& face = mesh->mFaces[f];
            bool ok = face.mNumIndices > 0 && face.mIndices;
            for (unsigned i = 0; ok && i < face.mNumIndices; ++i) ok = face.mIndices[i] < mesh->mNumVertices;
            if (!ok) continue;
            if (kept != f) std::swap(mesh->mFaces[kept], mesh->mFaces[f]);
            ++kept;
        }
        // The dropped faces stay allocated behind the kept ones and are freed with the
        // scene; only the count shrinks.
        mesh->mNumFaces = kept;
    }
}

struct PositionKey {
    float x, y, z;
    bool operator==(const PositionKey&) const = default;
};
struct PositionHash {
    size_t operator()(const PositionKey& k) const {
        uint32_t b[3];
        std::memcpy(b, &k, sizeof b);
        uint64_t h = b[0];
        h = h * 0x9E3779B97F4A7C15ull ^ b[1];
        h = h * 0x9E3779B97F4A7C15ull ^ b[2];
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

// Smooth normals with creases for a triangulated mesh that has none and whose face
// corners each have their own vertex (vertices are joined afterwards): a corner takes the mean
// of the unit normals of the faces meeting at its position whose normal is within the
// crease of its own face's. Linear in the corners for ordinary meshes; a position
// shared by very many faces is smoothed without the crease test to stay linear.
// Meshes whose faces still share vertices are left to the importer's own step.
void generateNormals(aiMesh* mesh, float creaseCosine) {
    const unsigned n = mesh->mNumVertices;
    std::vector<aiVector3D> faceNormal(mesh->mNumFaces, aiVector3D(0, 0, 0));
    std::vector<int64_t> faceOfVertex(n, -1);
    bool anyTriangle = false;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices != 3) continue;
        anyTriangle = true;
        for (unsigned i = 0; i < 3; ++i)
            if (faceOfVertex[face.mIndices[i]] >= 0) return;  // shared vertex
        const aiVector3D& a = mesh->mVertices[face.mIndices[0]];
        faceNormal[f] = ((mesh->mVertices[face.mIndices[1]] - a) ^ (mesh->mVertices[face.mIndices[2]] - a));
        faceNormal[f].NormalizeSafe();
        for (unsigned i = 0; i < 3; ++i) faceOfVertex[face.mIndices[i]] = f;
    }
    if (!anyTriangle) return;
    std::unordered_map<PositionKey, std::vector<unsigned>, PositionHash> atPosition;
    atPosition.reserve(n);
    for (unsigned v = 0; v < n; ++v) {
        if (faceOfVertex[v] < 0) continue;
        const aiVector3D& p = mesh->mVertices[v];
        atPosition[{p.x, p.y, p.z}].push_back(v);
    }
    auto* normals = new aiVector3D[n];
    for (unsigned v = 0; v < n; ++v) normals[v] = aiVector3D(0, 0, 0);
    constexpr size_t kCreaseTestLimit = 64;
    for (const auto& [key, corners] : atPosition) {
        if (corners.size() > kCreaseTestLimit) {
            aiVector3D sum(0, 0, 0);
            for (unsigned c : corners) sum += faceNormal[faceOfVertex[c]];
            sum.NormalizeSafe();
            for (unsigned c : corners) normals[c] = sum;
            continue;
        }
        for (unsigned c : corners) {
            const aiVector3D& own = faceNormal[faceOfVertex[c]];
            aiVector3D sum(0, 0, 0);
            for (unsigned o : corners) {
                const aiVector3D& other = faceNormal[faceOfVertex[o]];
                if (own * other >= creaseCosine) sum += other;
            }
            normals[c] = sum.NormalizeSafe();
        }
    }
    mesh->mNormals = normals;
}

// Gives every corner of every face a vertex of its own, so normals can differ per face
// at a crease (joining identical vertices merges them again afterwards). Meshes with
// bones or morph targets keep their vertices (those refer to them by number).
bool unshareVertices(aiMesh* mesh) {
    if (mesh->mNumBones > 0 || mesh->mNumAnimMeshes > 0) return false;
    uint64_t corners = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) corners += mesh->mFaces[f].mNumIndices;
    if (corners > UINT32_MAX) return false;
    const auto count = static_cast<unsigned>(corners);
    auto remap = [&](auto*& array) {
        using T = std::remove_pointer_t<std::remove_reference_t<decltype(array)>>;
        if (!array) return;
        T* out = new T[count];
        unsigned k = 0;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            for (unsigned i = 0; i < face.mNumIndices; ++i) out[k++] = array[face.mIndices[i]];
        }
        delete[] array;
        array = out;
    };
    remap(mesh->mVertices);
    remap(mesh->mTangents);
    remap(mesh->mBitangents);
    for (auto*& c : mesh->mColors) remap(c);
    for (auto*& t : mesh->mTextureCoords) remap(t);
    unsigned k = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        aiFace& face = mesh->mFaces[f];
        for (unsigned i = 0; i < face.mNumIndices; ++i) face.mIndices[i] = k++;
    }
    mesh->mNumVertices = count;
    return true;
}

std::optional<TextureReference> textureOf(const aiScene* scene, const aiMaterial* material,
                                          const std::filesystem::path& modelFolder) {
    for (aiTextureType type : {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE}) {
        if (material->GetTextureCount(type) == 0) continue;
        aiString path;
        if (material->GetTexture(type, 0, &path) != AI_SUCCESS || path.length == 0) continue;
        TextureReference ref;
        if (const aiTexture* tex = scene->GetEmbeddedTexture(path.C_Str())) {
            if (tex->mHeight == 0) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(tex->pcData);
                ref.encoded.assign(bytes, bytes + tex->mWidth);
                ref.formatHint = tex->achFormatHint;
            } else {
                ref.width = static_cast<int>(tex->mWidth);
                ref.height = static_cast<int>(tex->mHeight);
                const uint64_t count = uint64_t(tex->mWidth) * tex->mHeight;
                ref.rgba.resize(count * 4);
                for (uint64_t i = 0; i < count; ++i) {
                    const aiTexel& t = tex->pcData[i];
                    ref.rgba[4 * i + 0] = t.r;
                    ref.rgba[4 * i + 1] = t.g;
                    ref.rgba[4 * i + 2] = t.b;
                    ref.rgba[4 * i + 3] = t.a;
                }
            }
            return ref;
        }
        std::string text = path.C_Str();
        std::replace(text.begin(), text.end(), '\\', '/');
        std::filesystem::path file(text);
        ref.file = file.is_absolute() ? file : modelFolder / file;
        return ref;
    }
    return std::nullopt;
}

GeometryType geometryOf(unsigned indexCount) {
    if (indexCount == 1) return GeometryType::points;
    if (indexCount == 2) return GeometryType::lines;
    return GeometryType::triangles;
}

void appendNode(const aiScene* scene, const aiNode* node, std::vector<Mesh>& out, std::set<const aiNode*>& seen,
                int depth) {
    if (!node || depth > 256 || !seen.insert(node).second) return;
    if (node->mNumMeshes > 0) {
        Mesh mesh;
        mesh.name = node->mName.C_Str();
        bool anyNormals = false, anyUVs = false;
        for (unsigned k = 0; k < node->mNumMeshes; ++k) {
            if (node->mMeshes[k] >= scene->mNumMeshes) continue;
            const aiMesh* m = scene->mMeshes[node->mMeshes[k]];
            anyNormals |= m->mNormals != nullptr;
            anyUVs |= m->mTextureCoords[0] != nullptr;
        }
        for (unsigned k = 0; k < node->mNumMeshes; ++k) {
            if (node->mMeshes[k] >= scene->mNumMeshes) continue;
            const aiMesh* m = scene->mMeshes[node->mMeshes[k]];
            const auto base = static_cast<uint32_t>(mesh.positions.size());
            for (unsigned v = 0; v < m->mNumVertices; ++v) {
                const aiVector3D& p = m->mVertices[v];
                mesh.positions.emplace_back(p.x, p.y, p.z);
                if (anyNormals) {
                    mesh.normals.push_back(m->mNormals ? pk::float3(m->mNormals[v].x, m->mNormals[v].y,
                                                                    m->mNormals[v].z)
                                                       : pk::float3(0.0f));
                }
                if (anyUVs) {
                    mesh.textureCoordinates.push_back(m->mTextureCoords[0]
                                                          ? pk::float2(m->mTextureCoords[0][v].x,
                                                                       m->mTextureCoords[0][v].y)
                                                          : pk::float2(0.0f));
                }
            }
            // One submesh per geometry type, in the order the types first appear.
            std::map<GeometryType, size_t> slot;
            for (unsigned f = 0; f < m->mNumFaces; ++f) {
                const aiFace& face = m->mFaces[f];
                const GeometryType type = geometryOf(face.mNumIndices);
                auto it = slot.find(type);
                if (it == slot.end()) {
                    it = slot.emplace(type, mesh.submeshes.size()).first;
                    mesh.submeshes.push_back(Submesh{type, m->mMaterialIndex, {}});
                }
                auto& indices = mesh.submeshes[it->second].indices;
                for (unsigned i = 0; i < face.mNumIndices; ++i) indices.push_back(base + face.mIndices[i]);
            }
        }
        out.push_back(std::move(mesh));
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c) appendNode(scene, node->mChildren[c], out, seen, depth + 1);
}

}  // namespace

std::optional<Model> importModel(const std::filesystem::path& path, const ImportOptions& options) {
    if (isUsdFile(path)) return importUsd(path, options);
    Assimp::Importer importer;
    const float crease = std::clamp(options.normalCreaseThreshold, -1.0f, 1.0f);
    const aiScene* read = importer.ReadFile(path.string(), 0);
    if (!read) return std::nullopt;
    // The importer owns the scene; mending it before post-processing is what it is for.
    dropFacesOutOfRange(const_cast<aiScene*>(read));
    const aiScene* triangulated = importer.ApplyPostProcessing(aiProcess_Triangulate);
    if (!triangulated) return std::nullopt;
    // Our own normals where we can: the importer's creased smoothing is several times
    // slower on large meshes. It still handles meshes with shared vertices.
    for (unsigned m = 0; m < triangulated->mNumMeshes; ++m) {
        aiMesh* mesh = triangulated->mMeshes[m];
        if (mesh && !mesh->mNormals && mesh->mNumFaces > 0) {
            unshareVertices(mesh);
            generateNormals(mesh, crease);
        }
    }
    importer.SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, std::acos(crease) * 180.0f / 3.14159265f);
    const aiScene* scene = importer.ApplyPostProcessing(aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices);
    if (!scene || !scene->mRootNode) return std::nullopt;

    Model model;
    const auto folder = path.parent_path();
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* mat = scene->mMaterials[i];
        Material material;
        aiString name;
        if (mat->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) material.name = name.C_Str();
        material.baseColorTexture = textureOf(scene, mat, folder);
        model.materials.push_back(std::move(material));
    }
    std::set<const aiNode*> seen;
    appendNode(scene, scene->mRootNode, model.meshes, seen, 0);
    return model;
}

}  // namespace pk::modelimport
