// libgcrypt must be initialised once before its first use; every primitive
// that calls it goes through EnsureGcrypt first.
#pragma once

namespace nc::zq {

void EnsureGcrypt();

}  // namespace nc::zq
