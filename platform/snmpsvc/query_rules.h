// The rules by which the service turns an extension agent's answers into SNMP
// answers: which get-next answers continue a walk, which exception a missing
// object gets in SNMPv2c, and how the agent's SNMPv1 error status of a set is
// expressed in SNMPv2c. Pure functions; any thread.
#pragma once

#include "mib_types.h"

namespace snmpsvc {

// True when a get-next answer continues the walk inside the view: the answer
// lies inside `view` and after `requested`. Anything else (a name past the
// view, the agent's "left my view" marker, a name that does not advance)
// means the view holds nothing more after `requested`.
bool AnswerContinuesWalk(const Oid& requested, const Oid& answer, const Oid& view);

// The SNMPv2c exception for a get of `name` that the agent answered with
// noSuchName. `probe` is the agent's get-next answer for the name's parent
// (the name without its last arc), or null when the probe failed. When the
// parent has instances the object exists and only this instance is missing
// (noSuchInstance); otherwise the object itself is unknown (noSuchObject).
uint8_t MissingObjectException(const Oid& name, const Oid* probe);

// The SNMPv2c error status of a set that the agent failed with the SNMPv1
// status `v1Status`. `instanceExists` tells, for noSuchName, whether a get of
// the name succeeds: an object that can be read but not written is noAccess,
// one that does not exist cannot be created (noCreation).
int SetErrorForV2c(int v1Status, bool instanceExists);

// The error status of an SNMPv1 request when the agent answered with a v2
// status (agents written for later services): mapped the way a v1 manager
// understands it.
int ErrorForV1(int status);

}  // namespace snmpsvc
