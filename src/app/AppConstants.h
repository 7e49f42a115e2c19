#pragma once

#include <QString>

// Build-time constants of the client. The Cloud API origin can be redirected at run time with
// ONDIVO_CLOUD_API_URL (tests and the demo point it at the local simulator).
namespace app {

inline constexpr char kDefaultCloudApiBaseUrl[] = "https://api.ondivo.net";
inline constexpr char kCloudApiUrlVariable[] = "ONDIVO_CLOUD_API_URL";
inline constexpr char kClientVersion[] = "0.5.51";
inline constexpr char kExpectedAgentVersion[] = "0.5.41";
inline constexpr char kClientManifestPath[] = "/api/releases/client/manifest";
inline constexpr char kAgentManifestPath[] = "/api/releases/agent/manifest";
inline constexpr char kAgentChangelogPath[] = "/api/releases/agent/changelog";
inline constexpr char kAgentInstallScriptUrl[] = "https://get.ondivo.net/agent/install.sh";
inline constexpr char kOrganizationName[] = "Ondivo";
inline constexpr char kApplicationName[] = "Ondivo";

// The Cloud API origin without trailing slash: the environment override when set, else the built-in one.
QString cloudApiBaseUrl();

} // namespace app
