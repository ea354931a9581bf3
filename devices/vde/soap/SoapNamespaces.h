// Namespace tables of the SOAP contexts that talk to Ethernet-attached devices, and the
// addresses and texts the WS-Discovery probe uses.
#pragma once

struct Namespace;

namespace Vdapi::VdeSoap {

inline constexpr const char* kVdapiNamespace = "http://vdapi.example/ws/v1/vdapi";
inline constexpr const char* kVdDevNamespace = "http://vdapi.example/ws/v1/vdapi/VdDevice";
inline constexpr const char* kDiscoveryEndpoint = "soap.udp://239.255.255.250:3702";
inline constexpr const char* kDiscoveryGroup = "239.255.255.250";
inline constexpr int kDiscoveryPort = 3702;
inline constexpr const char* kDiscoveryUrn = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
inline constexpr const char* kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
inline constexpr const char* kProbeMatchesAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
inline constexpr const char* kAnonymousAddress = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
/// The device type a probe asks for.
inline constexpr const char* kProbeTypes = "Vdapi:VDE";
/// Port of a device's remote-call service and of its debug service.
inline constexpr int kDeviceCallPort = 8000;
inline constexpr int kDebugPort = 8001;

/// SOAP 1.2 envelope and encoding, XML Schema (instance), WS-Addressing 2004/08 (wsa),
/// WS-Discovery 2005/04 (wsd) and the device namespace (Vdapi).
extern const Namespace* const kDiscoveryNamespaces;
/// As the discovery table, with the device-call namespace (VdDev) instead of wsa and wsd.
extern const Namespace kDeviceCallNamespaces[];

} // namespace Vdapi::VdeSoap
