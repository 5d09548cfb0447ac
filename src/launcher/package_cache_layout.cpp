#include "launcher/package_cache_layout.h"

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "products/kit_product_code.h"

namespace packageCacheLayout {

namespace {

// The cabinets' names are fixed by the kit database: a prefix, the four version parts and a literal "0".
std::string cabinetName(const char* prefix) {
    using namespace buildconstants;
    return std::string(prefix) + versionMajor + versionMinor + versionMicro + versionUpdate + "0.cab";
}

}  // namespace

std::vector<PayloadFile> payloadFiles() {
    return {
        {TBX_RES_TYPE_INSTALLER, TBX_RES_KIT_MSI, kitDatabaseName()},
        {"ZOLT_CAB9", TBX_RES_CAB_SS, cabinetName("ss")},
        {"ZOLT_CAB10", TBX_RES_CAB_ST, cabinetName("st")},
        {"ZOLT_CAB7", TBX_RES_CAB_SJ, cabinetName("sj")},
        {"ZOLT_CAB11", TBX_RES_CAB_SZ, cabinetName("sz")},
        {TBX_RES_TYPE_INSTALLER, TBX_RES_AU_MSI, autoUpdateDatabaseName()},
    };
}

std::string kitDatabaseName() {
    return std::string(buildconstants::kitProductWord) + buildconstants::productVersion + ".msi";
}

std::string autoUpdateDatabaseName() { return "au.msi"; }

std::string productFolderName(bool is64) { return kitProductCode(buildconstants::productVersion, !is64); }

std::string buildFolderName() { return std::to_string(buildconstants::buildNumber); }

std::vector<std::string> folderNames(bool is64, const std::string& runName) {
    return {kMakerFolder, kCacheFolder, productFolderName(is64), buildFolderName(), runName};
}

std::string productFolderPath(const std::string& programData, bool is64) {
    return programData + "\\" + kMakerFolder + "\\" + kCacheFolder + "\\" + productFolderName(is64);
}

std::string runFolderPath(const std::string& programData, bool is64, const std::string& runName) {
    return productFolderPath(programData, is64) + "\\" + buildFolderName() + "\\" + runName;
}

}  // namespace packageCacheLayout
