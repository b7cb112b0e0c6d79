#pragma once
// The wire protocol above the frames: request types and statuses, and the
// one codec of every request and every answer.

#include "kestra2g/wire/answers.h"
#include "kestra2g/wire/protocol_types.h"
#include "kestra2g/wire/requests.h"
