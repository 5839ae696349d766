#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"

namespace core {

// The start-up both front ends share: the temporary folders of this user's
// ended runs cleared away when a day old, the temporary files that killed
// writers left in the program folder removed, data.mdb created when it is missing,
// config.ini loaded (what it holds that cannot be used said through `ui`),
// and the database library checked, its message shown
// through `ui` when it cannot run every statement the program uses. Throws
// when the database cannot be created.
void StartUp(Workspace& ws, Ui& ui);

} // namespace core
