#include "MarblewickAssetIO/VelMWPakManifestV1085.h"

namespace assetio {

using namespace pk::json;

OrderedJson VelMWPakEntryV1085::toJson() const {
    OrderedJson j = OrderedJson::object();
    j["name"] = name;
    j["uncompressedBytes"] = uncompressedBytes;
    j["compressedBytes"] = compressedBytes;
    j["payloadOffset"] = payloadOffset;
    j["sha256Hex"] = sha256Hex;
    return j;
}

VelMWPakEntryV1085 VelMWPakEntryV1085::fromJson(const OrderedJson& j) {
    VelMWPakEntryV1085 e;
    e.name = readString(j, "name");
    e.uncompressedBytes = readInteger<int64_t>(j, "uncompressedBytes");
    e.compressedBytes = readInteger<int64_t>(j, "compressedBytes");
    e.payloadOffset = readInteger<int64_t>(j, "payloadOffset");
    e.sha256Hex = readString(j, "sha256Hex");
    return e;
}

OrderedJson VelMWPakManifestV1085::toJson() const {
    OrderedJson j = OrderedJson::object();
    j["magic"] = magic;
    j["version"] = version;
    j["compressionAlgorithm"] = compressionAlgorithm;
    OrderedJson list = OrderedJson::array();
    for (const auto& e : entries) list.push_back(e.toJson());
    j["entries"] = std::move(list);
    return j;
}

VelMWPakManifestV1085 VelMWPakManifestV1085::fromJson(const OrderedJson& j) {
    VelMWPakManifestV1085 m;
    m.magic = readString(j, "magic");
    m.version = readInteger<int64_t>(j, "version");
    m.compressionAlgorithm = readString(j, "compressionAlgorithm");
    m.entries = readRecordList<VelMWPakEntryV1085>(j, "entries");
    return m;
}

OrderedJson VelMWPakStreamReceiptV1085::toJson() const {
    OrderedJson j = OrderedJson::object();
    j["archivePath"] = archivePath;
    j["entryCount"] = entryCount;
    j["totalRawBytes"] = totalRawBytes;
    j["totalCompressedBytes"] = totalCompressedBytes;
    j["compressionSavingsPct"] = doubleNumber(compressionSavingsPct);
    j["allSHA256Verified"] = allSHA256Verified;
    j["mtlIOStreamBytes"] = mtlIOStreamBytes;
    j["mtlIOLatencyMs"] = doubleNumber(mtlIOLatencyMs);
    j["mtlIOBandwidthMBps"] = doubleNumber(mtlIOBandwidthMBps);
    return j;
}

VelMWPakStreamReceiptV1085 VelMWPakStreamReceiptV1085::fromJson(const OrderedJson& j) {
    VelMWPakStreamReceiptV1085 r;
    r.archivePath = readString(j, "archivePath");
    r.entryCount = readInteger<int64_t>(j, "entryCount");
    r.totalRawBytes = readInteger<int64_t>(j, "totalRawBytes");
    r.totalCompressedBytes = readInteger<int64_t>(j, "totalCompressedBytes");
    r.compressionSavingsPct = readDouble(j, "compressionSavingsPct");
    r.allSHA256Verified = readBool(j, "allSHA256Verified");
    r.mtlIOStreamBytes = readInteger<int64_t>(j, "mtlIOStreamBytes");
    r.mtlIOLatencyMs = readDouble(j, "mtlIOLatencyMs");
    r.mtlIOBandwidthMBps = readDouble(j, "mtlIOBandwidthMBps");
    return r;
}

}  // namespace assetio
