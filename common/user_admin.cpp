// The administrator check: effective user id 0.
#include "common/user_admin.h"

#include "platform/user_accounts.h"

bool is_user_admin() noexcept { return own_effective_user_id() == 0; }
