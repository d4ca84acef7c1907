#pragma once
// A small access library for tests of the device layer's own logic: it
// answers every execute request with a reply the test scripts (status,
// sense, data, how many bytes, pending) and keeps the last request so the
// test can read the CDB the catalog built.
#include <cstdint>

#include "kestrel/aspi_srb.h"

extern "C" {

struct ScriptedReply {
    uint8_t Status;         // SS_COMP, SS_ERR, ... ; SS_PENDING leaves it pending
    uint8_t HaStat;
    uint8_t TargStat;
    uint8_t Sense[SRB_SENSE_AREA];
    uint8_t Data[1024];
    uint32_t DataLength;    // bytes returned (at most the request's length)
    uint32_t CompleteAfterMs;  // with Status SS_PENDING: complete as SS_COMP this late (0: never)
};

typedef void (*PFN_ScriptReply)(const ScriptedReply* Reply);
typedef void (*PFN_ScriptLastRequest)(SRB_ExecSCSICmd* Copy);
typedef int (*PFN_ScriptCount)(void);
typedef uint32_t (*PFN_ScriptLastOutData)(uint8_t* Copy, uint32_t Size);
}
