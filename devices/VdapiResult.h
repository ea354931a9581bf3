// Result codes of the device access layer and their names.
//
// Every operation of the layer returns a VdResult: below 4096 is success, 4096 and above an
// error. The codes are declared once, in VDAPI_RESULT_LIST below; the constants, their numeric
// values and the name table are all generated from that list so they cannot drift apart.
// Error codes are numbered consecutively from 4096; R(name, value) restarts the run at value,
// leaving the skipped values without a name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vdapi {

using VdResult = uint32_t;

// OK(name, value): success code; R(name, value): error code that (re)starts a run at value;
// E(name): the next error code of the current run.
#define VDAPI_RESULT_LIST(OK, R, E) \
    OK(VDAPI_OK, 0) \
    OK(VDAPI_OK_FAILSAFE, 1) \
    OK(VDAPI_OK_PENDING, 2) \
    OK(VDAPI_OK_PARTIAL_DEV, 3) \
    OK(VDAPI_OK_TAINTED_FW, 4) \
    OK(VDAPI_OK_OBSOLETE_FW, 5) \
    R(VDAPI_E_ATTACHED, 4096) \
    E(VDAPI_E_BUF_TOO_SMALL) \
    E(VDAPI_E_DEV_DRIVER) \
    E(VDAPI_E_EEPROM_FULL) \
    E(VDAPI_E_EEPROM_READ) \
    E(VDAPI_E_EEPROM_WRITE) \
    E(VDAPI_E_EEPROM_FORMAT) \
    E(VDAPI_E_FIFO_FULL) \
    E(VDAPI_E_IN_USE) \
    E(VDAPI_E_INVALID_BUF) \
    R(VDAPI_E_INVALID_FLAGS, 4107) \
    E(VDAPI_E_INVALID_MODE) \
    E(VDAPI_E_INVALID_RATE) \
    E(VDAPI_E_INVALID_SIZE) \
    E(VDAPI_E_KEYWORD) \
    E(VDAPI_E_NO_DEVICE) \
    E(VDAPI_E_NO_LOOPBACK) \
    E(VDAPI_E_NO_SUCH_DEVICE) \
    E(VDAPI_E_NO_SUCH_OUTPUT) \
    E(VDAPI_E_NO_VD_OUTPUT) \
    E(VDAPI_E_NOT_ATTACHED) \
    E(VDAPI_E_NOT_FOUND) \
    E(VDAPI_E_NOT_SUPPORTED) \
    E(VDAPI_E_DEVICE) \
    E(VDAPI_E_TOO_LONG) \
    E(VDAPI_E_UNDERFLOW) \
    E(VDAPI_E_NO_SUCH_INPUT) \
    E(VDAPI_E_NO_VD_INPUT) \
    E(VDAPI_E_DRIVER_INCOMP) \
    E(VDAPI_E_INTERNAL) \
    E(VDAPI_E_OUT_OF_MEM) \
    E(VDAPI_E_INVALID_J83ANNEX) \
    E(VDAPI_E_IDLE) \
    E(VDAPI_E_INSUF_LOAD) \
    E(VDAPI_E_INVALID_BANDWIDTH) \
    E(VDAPI_E_INVALID_CONSTEL) \
    E(VDAPI_E_INVALID_GUARD) \
    E(VDAPI_E_INVALID_INTERLVNG) \
    E(VDAPI_E_INVALID_TRANSMODE) \
    E(VDAPI_E_INVALID_TSTYPE) \
    E(VDAPI_E_NO_IPPARS) \
    E(VDAPI_E_NO_TSRATE) \
    E(VDAPI_E_NOT_IDLE) \
    E(VDAPI_E_INVALID_ARG) \
    E(VDAPI_E_NW_DRIVER) \
    E(VDAPI_E_DST_MAC_ADDR) \
    E(VDAPI_E_NO_SUCH_PORT) \
    E(VDAPI_E_WINSOCK) \
    E(VDAPI_E_MULTICASTJOIN) \
    E(VDAPI_E_EMBEDDED) \
    E(VDAPI_E_LOCKED) \
    E(VDAPI_E_NO_VALID_CALDATA) \
    E(VDAPI_E_NO_LINK) \
    E(VDAPI_E_INVALID_HEADER) \
    E(VDAPI_E_INVALID_PARS) \
    E(VDAPI_E_NOT_SDI_MODE) \
    E(VDAPI_E_INCOMP_FRAME) \
    E(VDAPI_E_UNSUP_CONV) \
    E(VDAPI_E_OUTBUF_TOO_SMALL) \
    E(VDAPI_E_CONFIG) \
    E(VDAPI_E_TIMEOUT) \
    E(VDAPI_E_INVALID_TIMEOUT) \
    E(VDAPI_E_INVALID_FHMODE) \
    E(VDAPI_E_INVALID_PILOTS) \
    E(VDAPI_E_INVALID_USEFRAMENO) \
    E(VDAPI_E_SYMRATE_REQD) \
    E(VDAPI_E_NO_SYMRATE) \
    E(VDAPI_E_INVALID_NUMSEGM) \
    E(VDAPI_E_INVALID_NUMTAPS) \
    E(VDAPI_E_COMMUNICATION) \
    E(VDAPI_E_BIND) \
    E(VDAPI_E_FRAME_INTERVAL) \
    E(VDAPI_E_INVALID_BWT_EXT) \
    E(VDAPI_E_INVALID_FFTMODE) \
    E(VDAPI_E_INVALID_NUMDTSYM) \
    E(VDAPI_E_INVALID_NUMT2FRM) \
    E(VDAPI_E_INVALID_SUBCH) \
    E(VDAPI_E_INVALID_TIME_IL) \
    E(VDAPI_E_NUM_PLP) \
    E(VDAPI_E_PLP_NUMBLOCKS) \
    E(VDAPI_E_NUMPLPS_MUSTBE_1) \
    E(VDAPI_E_INBAND) \
    E(VDAPI_E_ISSY) \
    E(VDAPI_E_OTHER_PLP_IN_BAND) \
    E(VDAPI_E_CM_NUMPATHS) \
    E(VDAPI_E_PILOT_PATTERN) \
    E(VDAPI_E_SUBSLICES) \
    E(VDAPI_E_NO_GENREF) \
    E(VDAPI_E_TI_MEM_OVF) \
    E(VDAPI_E_FEF) \
    E(VDAPI_E_UNSUP_FORMAT) \
    E(VDAPI_E_OUT_OF_SYNC) \
    E(VDAPI_E_NO_FRAME) \
    E(VDAPI_E_NO_SUCH_DATA) \
    E(VDAPI_E_INVALID_TYPE) \
    E(VDAPI_E_INVALID_MODPARS) \
    E(VDAPI_E_BIAS_BAL_CELLS) \
    E(VDAPI_E_COMMON_PLP_COUNT) \
    E(VDAPI_E_PLP_ID) \
    E(VDAPI_E_BUFS) \
    E(VDAPI_E_FIXED_CELL_PARS) \
    E(VDAPI_E_CM_CHANNEL) \
    E(VDAPI_E_INVALID_FIFO_IDX) \
    E(VDAPI_E_INVALID_INP_TYPE) \
    E(VDAPI_E_INVALID_OUTP_TYPE) \
    E(VDAPI_E_INVALID_START_FREQ) \
    E(VDAPI_E_DSLICE_TUNE_POS) \
    E(VDAPI_E_DSLICE_OFFSETS) \
    E(VDAPI_E_DSLICE_OVERLAP) \
    E(VDAPI_E_NOTCH_OFFSETS) \
    E(VDAPI_E_PLP_BUNDLED) \
    E(VDAPI_E_BROADBAND_NOTCH) \
    E(VDAPI_E_L1_PART2_TOO_LONG) \
    E(VDAPI_E_DSLICE_T1_NDP) \
    E(VDAPI_E_DSLICE_T1_TSRATE) \
    E(VDAPI_E_CONNECT_TO_SERVICE) \
    E(VDAPI_E_INVALID_SYMRATE) \
    E(VDAPI_E_MODPARS_NOT_SET) \
    E(VDAPI_E_SERVICE_INCOMP) \
    E(VDAPI_E_INVALID_LEVEL) \
    E(VDAPI_E_MODTYPE_UNSUP) \
    E(VDAPI_E_I2C_LOCK_TIMEOUT) \
    E(VDAPI_E_INVALID_FREQ) \
    E(VDAPI_E_INVALID_TSRATESEL) \
    E(VDAPI_E_INVALID_SPICLKSEL) \
    E(VDAPI_E_INVALID_SPIMODE) \
    E(VDAPI_E_NOT_INITIALIZED) \
    E(VDAPI_E_NOT_LOCKED) \
    E(VDAPI_E_NO_PERMISSION) \
    E(VDAPI_E_CANCELLED) \
    E(VDAPI_E_OUT_OF_RESOURCES) \
    E(VDAPI_E_LISTEN) \
    E(VDAPI_E_INVALID_STREAMFMT) \
    E(VDAPI_E_EVENT_POWER) \
    E(VDAPI_E_EVENT_REMOVAL) \
    E(VDAPI_E_UNSUP_ROLLOFF) \
    E(VDAPI_E_T2_LITE) \
    E(VDAPI_E_COMP_OVERLAP) \
    E(VDAPI_E_MULTI_COMPS) \
    E(VDAPI_E_INVALID_ISI) \
    E(VDAPI_E_FIRMW_INCOMP) \
    E(VDAPI_E_INVALID_MODTYPE) \
    E(VDAPI_E_NO_VIDSTD) \
    E(VDAPI_E_INVALID_VIDSTD) \
    E(VDAPI_E_INVALID_AUDSTD) \
    E(VDAPI_E_INVALID_SCALING) \
    E(VDAPI_E_INVALID_ROW) \
    E(VDAPI_E_NOT_STARTED) \
    E(VDAPI_E_STARTED) \
    E(VDAPI_E_INVALID_LINE) \
    E(VDAPI_E_INVALID_STREAM) \
    E(VDAPI_E_INVALID_ANC) \
    E(VDAPI_E_INVALID_FRAME) \
    E(VDAPI_E_NOT_IMPLEMENTED) \
    E(VDAPI_E_INVALID_CHANNEL) \
    E(VDAPI_E_INVALID_GROUP) \
    E(VDAPI_E_INVALID_FORMAT) \
    E(VDAPI_E_INVALID_FIELD) \
    E(VDAPI_E_BUF_TOO_LARGE) \
    E(VDAPI_E_INVALID_DELAY) \
    E(VDAPI_E_EXCL_MANDATORY) \
    E(VDAPI_E_INVALID_ROLLOFF) \
    E(VDAPI_E_CM_UNSUP) \
    E(VDAPI_E_I2C) \
    E(VDAPI_E_STATE) \
    E(VDAPI_E_NO_LOCK) \
    E(VDAPI_E_RANGE) \
    E(VDAPI_E_INVALID_T2PROFILE) \
    E(VDAPI_E_DSLICE_ID) \
    E(VDAPI_E_EXCL_ACCESS_REQD) \
    E(VDAPI_E_CHAN_ALREADY_ADDED) \
    E(VDAPI_E_LAYER_ID) \
    E(VDAPI_E_INVALID_FECMODE) \
    E(VDAPI_E_INVALID_PORT) \
    E(VDAPI_E_INVALID_PROTOCOL) \
    E(VDAPI_E_INVALID_FEC_MATRIX) \
    E(VDAPI_E_INVALID_IP_ADDR) \
    E(VDAPI_E_INVALID_SRCIP_ADDR) \
    E(VDAPI_E_IPV6_NOT_SUPPORTED) \
    E(VDAPI_E_INVALID_DIFFSERV) \
    E(VDAPI_E_INVALID_FOR_ACM) \
    E(VDAPI_E_NWAP_DRIVER) \
    E(VDAPI_E_INIT_ERROR) \
    E(VDAPI_E_NOT_USB3) \
    E(VDAPI_E_INSUF_BW) \
    E(VDAPI_E_NO_ANC_DATA) \
    E(VDAPI_E_MATRIX_HALTED) \
    E(VDAPI_E_VLAN_NOT_FOUND) \
    E(VDAPI_E_NO_ADAPTER_IP_ADDR) \
    E(VDAPI_E_INVALID_BTYPE) \
    E(VDAPI_E_INVALID_PARTIAL) \
    E(VDAPI_E_INVALID_NUMTS) \
    E(VDAPI_E_INVALID) \
    E(VDAPI_E_NO_RS422) \
    E(VDAPI_E_FECFRAMESIZE) \
    E(VDAPI_E_SFN_NOT_SUPPORTED) \
    E(VDAPI_E_SFN_INVALID_MODE) \
    E(VDAPI_E_SFN_INVALID_OFFSET) \
    E(VDAPI_E_SFN_DISABLED) \
    E(VDAPI_E_SFN_INVALID_TIMEDIFF) \
    E(VDAPI_E_NO_GPSCLKREF) \
    E(VDAPI_E_NO_GPSSYNC) \
    E(VDAPI_E_INVALID_PROFILE) \
    E(VDAPI_E_INVALID_LINKSTD) \
    E(VDAPI_E_FRAMERATE_MISMATCH) \
    E(VDAPI_E_CID_INVALID_ID) \
    E(VDAPI_E_CID_INVALID_INFO) \
    E(VDAPI_E_CID_INVALID_FORMAT) \
    E(VDAPI_E_CID_NOT_SUPPORTED) \
    E(VDAPI_E_INVALID_SAMPRATE) \
    E(VDAPI_E_MULTIMOD_UNSUP) \
    E(VDAPI_E_NUM_CHAN) \
    E(VDAPI_E_INVALID_TIME) \
    E(VDAPI_E_INVALID_LINK) \
    E(VDAPI_E_TUNING) \
    E(VDAPI_E_BUSY) \
    E(VDAPI_E_ENC_TYPE_NOTSET) \
    E(VDAPI_E_INITIALIZING) \
    E(VDAPI_E_INVALID_ENC_TYPE) \
    R(VDAPI_E_NO_ENCODER, 4317) \
    E(VDAPI_E_NO_POWER) \
    E(VDAPI_E_PASSTHROUGH_INV) \
    E(VDAPI_E_PASSTHROUGH_ONLY) \
    E(VDAPI_E_RX_RATE_OVF) \
    E(VDAPI_E_IN_ERROR_STATE) \
    E(VDAPI_E_XML_SYNTAX) \
    E(VDAPI_E_XML_ELEM) \
    E(VDAPI_E_FAN_FAIL) \
    E(VDAPI_E_RESTART_REQD) \
    E(VDAPI_E_TOO_MANY_SEGM) \
    E(VDAPI_E_FILE_OPEN) \
    E(VDAPI_E_INVALID_EAS) \
    E(VDAPI_E_INVALID_CRED) \
    E(VDAPI_E_INVALID_PARITY) \
    E(VDAPI_E_INVALID_PAPR) \
    E(VDAPI_E_INVALID_FRAMEMODE) \
    E(VDAPI_E_INVALID_FRAMELENGTH) \
    E(VDAPI_E_NUM_SUBFRAMES) \
    E(VDAPI_E_PILOT_BOOST) \
    E(VDAPI_E_NUM_SYMBOLS) \
    E(VDAPI_E_INVALID_LAYER) \
    E(VDAPI_E_INVALID_CODERATE) \
    E(VDAPI_E_INVALID_FECTYPE) \
    R(VDAPI_E_INVALID_VERSION, 4342) \
    E(VDAPI_E_INVALID_LDM_LEVEL) \
    E(VDAPI_E_INVALID_MISO) \
    E(VDAPI_E_INVALID_PLP_TYPE) \
    E(VDAPI_E_NUM_SUBSLICES) \
    E(VDAPI_E_SUBSLICE_INTERVAL) \
    E(VDAPI_E_INVALID_HTI_PARS) \
    E(VDAPI_E_PREAMBLE_PAR_COMBI) \
    E(VDAPI_E_INVALID_PLP_SIZE) \
    E(VDAPI_E_INVALID_PLP_START) \
    E(VDAPI_E_INVALID_PLP_REF) \
    E(VDAPI_E_INVALID_TXID_INJ) \
    E(VDAPI_E_INVALID_TXID) \
    E(VDAPI_E_INVALID_BSID) \
    E(VDAPI_E_INVALID_BONDING) \
    E(VDAPI_E_UNSUP_CPP_VERS) \
    E(VDAPI_E_STAT_NOTAVAIL) \
    E(VDAPI_E_TAINTED_FW) \
    E(VDAPI_E_OBSOLETE_FW) \
    E(VDAPI_E_PLP_COLLISION) \
    E(VDAPI_E_PLP_NOT_FOUND) \
    E(VDAPI_E_CONFIG_AUDIO) \
    E(VDAPI_E_CONFIG_AUX) \
    E(VDAPI_E_CONFIG_AUX_ANC) \
    E(VDAPI_E_CONFIG_AUX_LINE21) \
    E(VDAPI_E_CONFIG_AUX_RAWVBI) \
    E(VDAPI_E_CONFIG_AUX_TELETEXT) \
    E(VDAPI_E_CONFIG_AUX_VIDINDEX) \
    E(VDAPI_E_CONFIG_AUX_VITC) \
    E(VDAPI_E_CONFIG_AUX_VPID) \
    E(VDAPI_E_CONFIG_AUX_WSS) \
    E(VDAPI_E_CONFIG_RAW) \
    E(VDAPI_E_CONFIG_RAW_SDI) \
    E(VDAPI_E_CONFIG_VIDEO) \
    E(VDAPI_E_CONFIG_VIDEO_WEAVE) \
    E(VDAPI_E_CONFIG_VIDEO_ZEROCOPY) \
    E(VDAPI_E_ALREADY_EXCL_ACCESS) \
    R(VDAPI_E_CPU_NO_AVX2, 4380) \
    E(VDAPI_E_INVALID_MIMO)

namespace ResultDetail {
// The enumerator gives each E(name) the value after its predecessor.
#define VDAPI_RESULT_ENUM_VALUE(name, value) name = value,
#define VDAPI_RESULT_ENUM_NEXT(name) name,
enum Numbering : uint32_t {
    VDAPI_RESULT_LIST(VDAPI_RESULT_ENUM_VALUE, VDAPI_RESULT_ENUM_VALUE, VDAPI_RESULT_ENUM_NEXT)
};
#undef VDAPI_RESULT_ENUM_VALUE
#undef VDAPI_RESULT_ENUM_NEXT

struct NamedResult {
    VdResult code;
    const char* name;
};

#define VDAPI_RESULT_TABLE_VALUE(name, value) {name, #name},
#define VDAPI_RESULT_TABLE_NEXT(name) {name, #name},
inline constexpr NamedResult kNames[] = {
    VDAPI_RESULT_LIST(VDAPI_RESULT_TABLE_VALUE, VDAPI_RESULT_TABLE_VALUE, VDAPI_RESULT_TABLE_NEXT)
};
#undef VDAPI_RESULT_TABLE_VALUE
#undef VDAPI_RESULT_TABLE_NEXT

constexpr bool strictlyAscending()
{
    for (size_t i = 1; i < sizeof(kNames) / sizeof(kNames[0]); ++i)
        if (kNames[i - 1].code >= kNames[i].code)
            return false;
    return true;
}
static_assert(strictlyAscending(), "result codes must ascend: ResultName searches the table by halving");
} // namespace ResultDetail

// The public constants are plain VdResult values, so they compare and pass like any code.
#define VDAPI_RESULT_CONSTANT_VALUE(name, value) inline constexpr VdResult name = ResultDetail::name;
#define VDAPI_RESULT_CONSTANT_NEXT(name) inline constexpr VdResult name = ResultDetail::name;
VDAPI_RESULT_LIST(VDAPI_RESULT_CONSTANT_VALUE, VDAPI_RESULT_CONSTANT_VALUE, VDAPI_RESULT_CONSTANT_NEXT)
#undef VDAPI_RESULT_CONSTANT_VALUE
#undef VDAPI_RESULT_CONSTANT_NEXT

/// Lowest error code; every code below it is a success.
inline constexpr VdResult kFirstErrorCode = 4096;

/// True for success codes (below 4096), including the VDAPI_OK_* variants.
constexpr bool isSuccess(VdResult code) { return code < kFirstErrorCode; }

namespace ResultDetail {
/// Entry of the name table for code, or null.
constexpr const char* findName(VdResult code)
{
    constexpr size_t count = sizeof(kNames) / sizeof(kNames[0]);
    size_t lo = 0, hi = count;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (kNames[mid].code < code)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < count && kNames[lo].code == code ? kNames[lo].name : nullptr;
}
} // namespace ResultDetail

/// True when code has a name (is one of the codes declared above).
constexpr bool IsNamedResult(VdResult code) { return ResultDetail::findName(code) != nullptr; }

/// Name of a result code ("VDAPI_E_IN_USE"); "??? UNKNOWN VDAPI_RESULT ???" for a code without
/// a name. The returned text is a constant with static lifetime.
constexpr const char* ResultName(VdResult code)
{
    const char* name = ResultDetail::findName(code);
    return name != nullptr ? name : "??? UNKNOWN VDAPI_RESULT ???";
}

} // namespace Vdapi
