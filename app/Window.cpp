#include "app/Entry.h"

void RunInstallerWindow(HINSTANCE /*instance*/, bool /*silent*/) {
  // The installer windows are not part of this build yet: the run ends here.
}
