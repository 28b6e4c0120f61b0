#include "MarblewickAssetIO/VelSteamSlangCrossPlatformExporterV1010.h"

#include <vector>

#include "MarblewickSimCore/SimCargoBody.h"
#include "MarblewickSimCore/SimCircuitCascadeKernel.h"
#include "MarblewickSimCore/SimGolfFlightKernel.h"
#include "MarblewickSimCore/SimWorldSnapshot.h"
#include "PlatformKit/Foundation/Files.h"

namespace assetio {

namespace {

// 57 lines, no line feed after the last.
constexpr std::string_view kShaderText =
    "// MarblewickVel v1010.0 \u2014 Unified Slang PBR RHI Shader\n"
    "// Compiles cleanly to:\n"
    "//   - Vulkan 1.3 SPIR-V (Steam Deck / Linux / Windows): slangc -target spirv -profile glsl_460\n"
    "//   - DirectX 12 DXIL   (Windows PC):                   slangc -target dxil  -profile sm_6_6\n"
    "//   - Apple Metal 4 MSL (macOS / iOS / iPadOS):         slangc -target metal\n"
    "struct FrameUniforms {\n"
    "    float4x4 viewProj;\n"
    "    float3   sunDir;\n"
    "    float    timeSec;\n"
    "    float3   cameraPos;\n"
    "    float    gravityG;\n"
    "};\n"
    "ConstantBuffer<FrameUniforms> uFrame : register(b0);\n"
    "\n"
    "struct VSIn {\n"
    "    float3 pos     : POSITION;\n"
    "    float3 normal  : NORMAL;\n"
    "    float4 color   : COLOR0;\n"
    "    float2 roughMet: TEXCOORD0;\n"
    "};\n"
    "\n"
    "struct PSIn {\n"
    "    float4 clipPos : SV_Position;\n"
    "    float3 worldPos: TEXCOORD0;\n"
    "    float3 normal  : TEXCOORD1;\n"
    "    float4 color   : COLOR0;\n"
    "    float2 roughMet: TEXCOORD2;\n"
    "};\n"
    "\n"
    "[shader(\"vertex\")]\n"
    "PSIn vsMain(VSIn v) {\n"
    "    PSIn o;\n"
    "    o.clipPos  = mul(uFrame.viewProj, float4(v.pos, 1.0));\n"
    "    o.worldPos = v.pos;\n"
    "    o.normal   = normalize(v.normal);\n"
    "    o.color    = v.color;\n"
    "    o.roughMet = v.roughMet;\n"
    "    return o;\n"
    "}\n"
    "\n"
    "[shader(\"fragment\")]\n"
    "float4 psMain(PSIn i) : SV_Target {\n"
    "    float3 N = normalize(i.normal);\n"
    "    float3 L = normalize(uFrame.sunDir);\n"
    "    float3 V = normalize(uFrame.cameraPos - i.worldPos);\n"
    "    float3 H = normalize(L + V);\n"
    "    float NdotL = saturate(dot(N, L));\n"
    "    float NdotH = saturate(dot(N, H));\n"
    "    float rough = clamp(i.roughMet.x, 0.06, 0.98);\n"
    "    float metal = saturate(i.roughMet.y);\n"
    "    float specPow = lerp(128.0, 6.0, rough);\n"
    "    float spec = pow(NdotH, specPow) * lerp(0.18, 0.95, metal);\n"
    "    float3 skyAmb = lerp(float3(0.08, 0.10, 0.14), float3(0.28, 0.36, 0.48), N.y * 0.5 + 0.5);\n"
    "    float3 col = i.color.rgb * (skyAmb + NdotL * float3(1.05, 0.98, 0.90)) + spec * float3(1.0, 0.96, 0.90);\n"
    "    col = col / (col + 0.85);\n"
    "    return float4(pow(saturate(col), 1.0 / 2.2), 1.0);\n"
    "}";

std::string withoutSpaces(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ') out.push_back(c);
    return out;
}

// Five lines, no final line feed.
std::string buildFileText(const std::string& title) {
    return "cmake_minimum_required(VERSION 3.24)\n"
           "project(" + withoutSpaces(title) + "_SteamRHI LANGUAGES CXX)\n"
           "set(CMAKE_CXX_STANDARD 20)\n"
           "# Links platform-agnostic Swift 6 `MarblewickSimCore` static lib alongside SDL3 + Vulkan/DX12 + Steamworks SDK\n"
           "message(STATUS \"MarblewickVel v1010 Portable Target: " + title +
           " (Vulkan SPIR-V + DX12 DXIL + MarblewickSimCore)\")";
}

std::vector<simcore::SimPlacedChip> referenceBoard() {
    using K = simcore::SimChipModuleKind;
    return {
        {"s1", K::l2CacheTile, 1, 1, 1},  {"s2", K::amxTensorCore, 1, 2, 1},   {"s3", K::cryoHeatPipe, 2, 2, 1},
        {"s4", K::overclockBus, 2, 1, 1}, {"s5", K::quantumJunction, 0, 2, 1},
    };
}

}  // namespace

pk::json::Json VelSteamExportBundleV1010::toJson() const {
    pk::json::Json j = pk::json::Json::object();
    j["title"] = title;
    j["steamAppIDPlaceholder"] = steamAppIDPlaceholder;
    j["outputDirectory"] = outputDirectory;
    j["slangShaderPath"] = slangShaderPath;
    j["cmakeProjectPath"] = cmakeProjectPath;
    j["manifestPath"] = manifestPath;
    j["portableSimCoreVerified"] = portableSimCoreVerified;
    j["lunarCarryYards"] = lunarCarryYards;
    j["quartzfallGFLOPS"] = quartzfallGFLOPS;
    j["snapshotBytes"] = snapshotBytes;
    j["snapshotExactRoundTrip"] = snapshotExactRoundTrip;
    return j;
}

VelSteamExportBundleV1010 VelSteamExportBundleV1010::fromJson(const pk::json::Json& j) {
    using namespace pk::json;
    requireObject(j, "VelSteamExportBundleV1010");
    VelSteamExportBundleV1010 b;
    b.title = readString(j, "title");
    b.steamAppIDPlaceholder = readInteger<int64_t>(j, "steamAppIDPlaceholder");
    b.outputDirectory = readString(j, "outputDirectory");
    b.slangShaderPath = readString(j, "slangShaderPath");
    b.cmakeProjectPath = readString(j, "cmakeProjectPath");
    b.manifestPath = readString(j, "manifestPath");
    b.portableSimCoreVerified = readBool(j, "portableSimCoreVerified");
    b.lunarCarryYards = readDouble(j, "lunarCarryYards");
    b.quartzfallGFLOPS = readDouble(j, "quartzfallGFLOPS");
    b.snapshotBytes = readInteger<int64_t>(j, "snapshotBytes");
    b.snapshotExactRoundTrip = readBool(j, "snapshotExactRoundTrip");
    return b;
}

VelSteamExportBundleV1010 VelSteamSlangCrossPlatformExporterV1010::exportSteamPortableBundle(
    const std::string& title, int64_t steamAppID, const std::filesystem::path& to) {
    const std::filesystem::path folder = pk::absolutePath(to);
    pk::createDirectories(folder);

    const std::filesystem::path shaderPath = folder / kShaderFileName;
    const std::filesystem::path buildPath = folder / kBuildFileName;
    const std::filesystem::path appIDPath = folder / kAppIDFileName;
    const std::filesystem::path manifestPath = folder / kManifestFileName;

    const std::string buildText = buildFileText(title);
    pk::atomicWrite(shaderPath, kShaderText);
    pk::atomicWrite(buildPath, buildText);
    pk::atomicWrite(appIDPath, std::to_string(steamAppID) + "\n");

    // Self-check of the simulation core on fixed inputs.
    simcore::SimCargoBody piano("Grand Piano", simcore::SimVec3{0.0, 2.5, 0.0}, 320.0, 145000.0, 2.4);
    for (int i = 0; i < 80; ++i) piano.step(1.0 / 60.0, 9.81, {}, 0.0);
    const simcore::SimGolfShotResult drive =
        simcore::SimGolfFlightKernel::simulateDrive(76.0, 13.5, 2400.0, 1.62, 0.02, simcore::SimVec3::zero);
    const std::vector<simcore::SimPlacedChip> board = referenceBoard();
    const simcore::SimCascadeEvaluation evaluation = simcore::SimCircuitCascadeKernel::evaluateBoard(board, 32.0, 1.0);

    simcore::SimWorldSnapshot snapshot;
    snapshot.schemaVersion = 1010;
    snapshot.gameID = title;
    snapshot.tick = 1010;
    snapshot.cargo = {piano};
    snapshot.chips = board;
    const std::string snapshotJSON = snapshot.encodeDeterministicJSON();
    const simcore::SimWorldSnapshot decoded = simcore::SimWorldSnapshot::decodeDeterministicJSON(snapshotJSON);

    VelSteamExportBundleV1010 receipt;
    receipt.title = title;
    receipt.steamAppIDPlaceholder = steamAppID;
    receipt.outputDirectory = folder.string();
    receipt.slangShaderPath = shaderPath.string();
    receipt.cmakeProjectPath = buildPath.string();
    receipt.manifestPath = manifestPath.string();
    receipt.portableSimCoreVerified = drive.carryYards > 1200.0 && evaluation.totalGFLOPS > 50000.0 &&
                                      piano.crackCount > 0 && !evaluation.thermalThrottled;
    receipt.lunarCarryYards = drive.carryYards;
    receipt.quartzfallGFLOPS = evaluation.totalGFLOPS;
    receipt.snapshotBytes = static_cast<int64_t>(snapshotJSON.size());
    receipt.snapshotExactRoundTrip = decoded == snapshot;

    pk::atomicWrite(manifestPath, pk::json::dump(receipt.toJson(), pk::json::Style::pretty));
    return receipt;
}

}  // namespace assetio
