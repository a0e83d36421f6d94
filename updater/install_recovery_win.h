// What a control does first: finishes or undoes an installation that a crash interrupted.
#pragma once

namespace tavrin {

// Leaves the install folder alone while an updater or another control works in it.
void FinishInterruptedInstall();

}  // namespace tavrin
