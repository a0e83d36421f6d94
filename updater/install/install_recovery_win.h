// What a control does first: finishes or undoes an installation that a crash interrupted.
#pragma once

#include "updater/install/install_recovery.h"

namespace tavrin {

// The recovery's ties to Windows: the signed configuration verified again with the update key,
// and UpdateSerial, which only ever rises.
RecoveryHooks WinRecoveryHooks();

// Brings the install folder to one whole set when a journal is there. kBusy while an updater
// or another control works in the folder: it is left alone then.
Recovery FinishInterruptedInstall();

}  // namespace tavrin
