// The command channel between satclock and clockkeeper: its name and the
// layout of a command, the sender's side and the service's side.
#pragma once

#include "common/smem_block.h"
#include "common/smem_sender.h"
#include "common/smem_service.h"
