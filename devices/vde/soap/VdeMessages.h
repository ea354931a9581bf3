// Message set of the Ethernet-attached devices, input of soapcpp2 (not a C++ header): the
// WS-Discovery probe and its matches carrying the device's short identity, and the four
// remote calls of the device-call service. SOAP 1.2 envelopes, WS-Addressing 2004/08 headers.

#import "soap12.h"
#import "wsa.h"

//gsoap wsd schema namespace: http://schemas.xmlsoap.org/ws/2005/04/discovery
//gsoap wsd schema elementForm: qualified
//gsoap wsd schema attributeForm: unqualified

//gsoap Vdapi schema namespace: http://vdapi.example/ws/v1/vdapi
//gsoap Vdapi schema elementForm: unqualified
//gsoap Vdapi schema attributeForm: unqualified

//gsoap VdDev service name: VdDevice
//gsoap VdDev service style: document
//gsoap VdDev service encoding: literal
//gsoap VdDev service namespace: http://vdapi.example/ws/v1/vdapi/VdDevice
//gsoap VdDev schema namespace: http://vdapi.example/ws/v1/vdapi/VdDevice
//gsoap VdDev schema elementForm: unqualified

typedef LONG64 xsd__long;
typedef ULONG64 xsd__unsignedLong;
typedef int xsd__int;
typedef unsigned int xsd__unsignedInt;
typedef unsigned char xsd__unsignedByte;

// ---- WS-Discovery 2005/04 probe and matches ----

struct wsd__ScopesType {
    char* __item;
    @char* MatchBy 0;
};

struct wsd__ProbeType {
    char* Types 0;
    struct wsd__ScopesType* Scopes 0;
};

/// The device's identity as announced in a probe match.
struct Vdapi__VdeDeviceInfoShort {
    xsd__long Serial 1;
    xsd__int TypeNumber 1;
    xsd__int FirmwareVersion 1;
    xsd__int FirmwareVariant 1;
    xsd__int Ip 1;
    xsd__long Mac 1;
    xsd__int OpMode 1;
    xsd__int Port 1;
};

struct wsd__ProbeMatchType {
    struct wsa__EndpointReferenceType wsa__EndpointReference 1;
    char* Types 0;
    struct wsd__ScopesType* Scopes 0;
    char* XAddrs 0;
    unsigned int MetadataVersion 1;
    struct Vdapi__VdeDeviceInfoShort* Vdapi__DeviceInfoShort 0;
};

struct wsd__ProbeMatchesType {
    $int __sizeProbeMatch 0;
    struct wsd__ProbeMatchType* ProbeMatch 0;
};

//gsoap wsd service name: Discovery
//gsoap wsd service method-action: Probe http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe
int __wsd__Probe(struct wsd__ProbeType* wsd__Probe, void);
//gsoap wsd service method-action: ProbeMatches http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches
int __wsd__ProbeMatches(struct wsd__ProbeMatchesType* wsd__ProbeMatches, void);

// ---- Device-call service ----

/// The device's full identity; maps one to one onto the 40-byte device-list entry.
struct Vdapi__VdeDeviceInfo {
    xsd__long m_Serial 1;
    xsd__int m_TypeNumber 1;
    xsd__int m_FirmwareVersion 1;
    xsd__int m_FirmwareVariant 1;
    $int __sizeIp 0;
    xsd__unsignedByte* m_Ip 0;
    $int __sizeMac 0;
    xsd__unsignedByte* m_Mac 0;
    xsd__int m_OpMode 1;
    xsd__int m_Port 1;
};

struct VdDev__AttachResponse {
    xsd__unsignedLong VdapiResult 1;
    xsd__unsignedInt DeviceId 1;
};
int VdDev__Attach(struct VdDev__AttachResponse* response);

struct VdDev__GetDescriptorResponse {
    xsd__unsignedLong VdapiResult 1;
    struct Vdapi__VdeDeviceInfo VdeDeviceInfo 1;
};
int VdDev__GetDescriptor(struct VdDev__GetDescriptorResponse* response);

struct VdDev__DetachResponse {
    xsd__unsignedLong VdapiResult 1;
};
int VdDev__Detach(xsd__unsignedInt DeviceId, struct VdDev__DetachResponse* response);

struct VdDev__GetIoConfigResponse {
    xsd__unsignedLong VdapiResult 1;
    xsd__int IoConfig 1;
    xsd__int ParXtra 1;
};
int VdDev__GetIoConfig(xsd__unsignedInt DeviceId, xsd__int Port, struct VdDev__GetIoConfigResponse* response);
