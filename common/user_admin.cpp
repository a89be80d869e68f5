// The administrator check: effective user id 0.
#include "common/user_admin.h"

#include <unistd.h>

bool is_user_admin() noexcept { return geteuid() == 0; }
