// The carrier dialog on the controlling terminal (POSIX).
#pragma once
#include "platform/carrier_ui.h"

namespace nc::platform {

// Shows the dialog on /dev/tty: the caption, the heading, the numbered
// steps and the status lines as they change; once OK is enabled the
// password is read without echo (or taken from the preset password when
// one is given). A refused password rings the bell and is asked again,
// after a line saying why when it held a character the key cannot be made
// from; a refused preset line cancels. Ctrl-C or the end of input cancels. While it runs the
// terminal is in non-canonical mode without echo and without signals; its
// settings come back on every way out. Without a terminal: the preset
// password's dialog when one is given, else -1 (cannot be shown).
int RunTerminalCarrierDialog(CarrierDialogHandler& handler);

}  // namespace nc::platform
