// Whether the calling process may administer the machine's services.
#pragma once

// True when the process runs with effective user id 0. Never throws: a check
// that cannot be made counts as "not an administrator".
bool is_user_admin() noexcept;
